// One run of the programmer: what kind of conversation it is, how far it has got (its stage,
// the operation waiting for program mode, the block cursor) and how it ends. The host holds
// one; only this class writes what a run is made of.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ops/OperatorView.h"

namespace lumacrest {

enum class RunKind : uint8_t {
    None,
    Identify,           // a chosen port: connect and identify
    Scan,               // COM1 to COM16 scanned for a programmer
    Update,             // the Update button's sequence of stages
    Single,             // one menu or toolbar operation
    FirmwareRewrite,    // the programmer's own firmware from update.dat
    LoaderTransfer,     // Update on a programmer whose loader runs
    DataFlashDownload,  // the box asked for the images
    SettingsReport,     // the box reported its stored settings
    SectorSums,         // the box asked for sector sums
};

enum class Stage : uint8_t {
    None,
    Connect,
    Identify,
    ProgramMode,
    Erase,
    WriteBoot,
    VerifyBoot,
    ReadBoot,
    WriteFlash,
    VerifyFlash,
    ReadFlash,
    WriteKeyCode,
    CheckKeyCode,
    Exit,
    EraseProgrammer,
    FirmwareBlocks,
    LoaderErase,
    LoaderBlocks,
    LoaderDone,
    SectorSums,
    BootSettle,
    DataFlashFlash,
    DataFlashBoot,
    Reset,
    Settings,
};

// A fresh id for a run: 32 lowercase hex digits.
std::string NewRunId();

// A few words for a stage, as a report names it ("flash verify").
const char* StageName(Stage stage);
const char* RunKindName(RunKind kind);

enum class Verdict : uint8_t {
    Passed,
    Failed,     // a reply said so, or a check of the host failed
    TimedOut,   // an awaited reply did not come
    Refused,      // refused before anything was sent
    PortLost,     // the port went away under the run
    Interrupted,  // the operator stopped it
    Abandoned,    // the program is closing
};

// How a run ended. A pass is a run that ended with the pass result and no failure on the way.
struct Outcome {
    RunKind kind = RunKind::None;
    Verdict verdict = Verdict::Passed;
    Stage stage = Stage::None;
    // The log line that said so, or the message that refused the run.
    std::string text;
    // The options the run had, the serial number it wrote (if any), and when it ran.
    ProgramOptions options;
    std::optional<uint32_t> serialNumber;
    uint64_t startedMs = 0;
    uint64_t endedMs = 0;

    bool Passed() const { return verdict == Verdict::Passed; }
};

// The two image areas the block transfers walk.
enum class Area : uint8_t { Flash, Boot };

class Run {
public:
    // This run's id, set when it begins; the ledger and the run record name the run by it.
    std::string runId;

    // ---- what runs ----
    RunKind Kind() const { return kind_; }
    Stage CurrentStage() const { return stage_; }
    bool Active() const { return kind_ != RunKind::None; }
    // Starts a run with the program options as they are now; everything of the run before is
    // forgotten. The options stay as they were at the start for the whole run.
    void Begin(RunKind kind, Stage stage, const ProgramOptions& options = {},
               uint64_t startedMs = 0);
    const ProgramOptions& Options() const { return options_; }
    // The run goes on as another kind (an identify that rewrites the firmware).
    void Become(RunKind kind, Stage stage);
    void EnterStage(Stage stage) { stage_ = stage; }
    // A frame of this run has gone out: a failure from now on ends a run under way.
    void FrameSent() { framesSent_ = true; }
    bool UnderWay() const { return framesSent_; }

    // The Update button's sequence runs: its stages follow one another, its frames say so, and
    // its failures give the serial number back. Leaving program mode ends the sequence.
    bool AutoSequence() const { return kind_ == RunKind::Update && stage_ != Stage::Exit; }

    // ---- how it goes ----
    // The first failure of the run is the one it ends with.
    void Fail(Verdict verdict, std::string text);
    const std::optional<Outcome>& Failure() const { return failure_; }
    // The outcome if the run ended now: its failure, or a pass.
    Outcome Result() const;

    // The serial number this run wrote into the image; it may be given back once.
    void WroteSerialNumber(uint32_t value) { serialNumber_ = value; }
    const std::optional<uint32_t>& SerialNumberWritten() const { return serialNumber_; }
    bool TakeSerialNumberBack();
    bool SerialNumberTakenBack() const { return serialNumberBack_; }
    // The ledger has been told how the run ended for its number (once).
    bool SettleSerialNumber();

    // ---- program mode ----
    bool ProgramModeEntered() const { return programModeEntered_; }
    uint8_t PendingOperation() const { return pendingOperation_; }
    uint8_t FreshEntryFlag() const { return freshEntryFlag_; }
    // CMD_ENTER_PROGRAM_MODE goes out for `beginCode`; fresh when the operation's own command
    // enters program mode.
    void EnterProgramMode(uint8_t beginCode, bool fresh);
    // Program mode is on: the begin frame goes out at once and is no fresh entry.
    void ContinueInProgramMode() { freshEntryFlag_ = 0; }
    // The exit frame goes out with `result`; the sequence is over.
    void LeaveProgramMode(uint8_t result);
    uint8_t ResultPass() const { return resultPass_; }
    void SetResultPass(uint8_t result) { resultPass_ = result; }

    bool VerifyAfterWrite() const { return verifyAfterWrite_; }
    void RequestVerifyAfterWrite(bool verify) { verifyAfterWrite_ = verify; }

    // What the last program-mode reply said of the chip's KeyCode; it outlives the run.
    bool KeyCodeEnabled() const { return keyCodeEnabled_; }
    void SetKeyCodeEnabled(bool enabled) { keyCodeEnabled_ = enabled; }

    // ---- block cursor: a counter per area and one byte offset they share ----
    uint32_t BlockIndex(Area area) const { return area == Area::Flash ? flashIndex_ : bootIndex_; }
    uint32_t BlockOffset() const { return blockOffset_; }
    void StartTransfer(Area area);          // counter and offset 0
    void ResetBlockIndex(Area area);        // counter 0
    void ResetBlockOffset() { blockOffset_ = 0; }
    void AdvanceBlock(Area area, uint32_t bytes);  // one more block, `bytes` further
    void CountBlock(Area area);             // one more block, the offset stays
    void AdvanceOffset(uint32_t bytes) { blockOffset_ += bytes; }

    // ---- programmer maintenance ----
    uint32_t UpdateBlockNumber() const { return updateBlockNumber_; }
    uint32_t UpdateBlockCount() const { return updateBlockCount_; }
    void StartFirmwareBlocks(uint32_t count);
    void FirmwareBlockEchoed() { ++updateBlockNumber_; }
    uint8_t SectorIndex() const { return sectorIndex_; }
    void ResetSectorIndex() { sectorIndex_ = 0; }
    void NextSector() { ++sectorIndex_; }
    uint32_t DataFlashBlock(Area area) const {
        return area == Area::Flash ? flashDataFlashBlock_ : bootDataFlashBlock_;
    }
    void StartDataFlash();
    void NextDataFlashBlock(Area area);

    // ---- the operator's stop ----
    bool StopRequested() const { return stopRequested_; }
    void RequestStop() { stopRequested_ = true; }

    // ---- the port scan ----
    bool ScanWaiting() const { return scanWaiting_; }
    void ScanWait(bool waiting) { scanWaiting_ = waiting; }

    // ---- the end ----
    // The outcome the run has come to, as it ends at `endedMs`; the run is forgotten.
    Outcome Finish(uint64_t endedMs);
    // How many runs have ended since the host started, and how the last one ended.
    uint64_t Ended() const { return ended_; }
    const Outcome& LastOutcome() const { return lastOutcome_; }
    void Record(const Outcome& outcome);

private:
    RunKind kind_ = RunKind::None;
    Stage stage_ = Stage::None;
    ProgramOptions options_;
    bool framesSent_ = false;
    std::optional<Outcome> failure_;
    std::optional<uint32_t> serialNumber_;
    bool serialNumberBack_ = false;
    bool serialNumberSettled_ = false;
    uint64_t startedMs_ = 0;

    bool programModeEntered_ = false;
    uint8_t pendingOperation_ = 0;
    uint8_t freshEntryFlag_ = 0;
    uint8_t resultPass_ = 0;
    bool verifyAfterWrite_ = false;
    bool keyCodeEnabled_ = false;

    uint32_t flashIndex_ = 0;
    uint32_t bootIndex_ = 0;
    uint32_t blockOffset_ = 0;

    uint32_t updateBlockNumber_ = 0;
    uint32_t updateBlockCount_ = 0;
    uint8_t sectorIndex_ = 0;
    uint32_t flashDataFlashBlock_ = 0;
    uint32_t bootDataFlashBlock_ = 0;

    bool scanWaiting_ = false;
    bool stopRequested_ = false;

    uint64_t ended_ = 0;
    Outcome lastOutcome_;
};

}  // namespace lumacrest
