// One run of the programmer: what kind of conversation it is, how far it has got (its stage,
// the operation waiting for program mode, the block cursor) and how it ends. The host holds
// one; only this class writes what a run is made of, and a run ends only through Finish,
// which must be given its conclusion.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/Frames.h"
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
    Failed,       // a check of the run failed (a verify difference, the adapter, the KeyCode)
    Declined,     // the box answered that it could not (a failed erase, a locked KeyCode)
    TimedOut,     // an awaited reply did not come
    Refused,      // refused before anything was sent, or a frame that could not go out
    PortLost,     // the port went away under the run
    Interrupted,  // the operator stopped it
    Abandoned,    // the program is closing
};

const char* VerdictName(Verdict verdict);

// How a run ends: a pass, or a failure in its own words (the reply that said so, the command
// that got no answer, the port that was lost). There is no default: every ending says which.
class Conclusion {
public:
    static Conclusion Pass() { return Conclusion(Verdict::Passed, {}, std::nullopt); }
    // A failure (`verdict` anything but Passed) at the stage the run is at when it ends.
    static Conclusion Fail(Verdict verdict, std::string words) {
        return Conclusion(verdict == Verdict::Passed ? Verdict::Failed : verdict, std::move(words),
                          std::nullopt);
    }
    // The same failure, fixed to `stage` (a failure carried on to the exit frame).
    Conclusion At(Stage stage) const { return Conclusion(verdict_, words_, stage); }

    Verdict GetVerdict() const { return verdict_; }
    bool Passed() const { return verdict_ == Verdict::Passed; }
    const std::string& Words() const { return words_; }
    const std::optional<Stage>& FixedStage() const { return stage_; }

private:
    Conclusion(Verdict verdict, std::string words, std::optional<Stage> stage)
        : verdict_(verdict), words_(std::move(words)), stage_(stage) {}
    Verdict verdict_;
    std::string words_;
    std::optional<Stage> stage_;
};

// How a run ended, as the run itself knows it.
struct Outcome {
    std::string runId;
    RunKind kind = RunKind::None;
    // What ran: "update", "erase", "verify-flash", "identify", "programmer-update", ...
    std::string operation;
    // A single operation's write was followed by its verify.
    bool verifyAfterWrite = false;
    Verdict verdict = Verdict::Passed;
    Stage stage = Stage::None;
    // What ended it, in its own words; empty on a pass.
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

    // The serial number this run wrote into the image; it is given back or confirmed once.
    void WroteSerialNumber(uint32_t value) { serialNumber_ = value; }
    const std::optional<uint32_t>& SerialNumberWritten() const { return serialNumber_; }
    // True the first time only: the number is settled (given back or confirmed) now.
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
    // The exit frame goes out with the result of `conclusion`, which the run ends with when
    // the exit is answered; the sequence is over.
    void LeaveProgramMode(const Conclusion& conclusion);
    uint8_t ResultPass() const { return exitConclusion_ && exitConclusion_->Passed() ? 1 : 0; }
    // The exit frame is out, but the run is found failed before its answer: the run ends so.
    void FailTheExit(const Conclusion& conclusion) { exitConclusion_ = conclusion.At(Stage::Exit); }
    const std::optional<Conclusion>& ExitConclusion() const { return exitConclusion_; }

    bool VerifyAfterWrite() const { return verifyAfterWrite_; }
    void RequestVerifyAfterWrite(bool verify) {
        verifyAfterWrite_ = verify;
        verifyRequested_ = verifyRequested_ || verify;
    }
    // The name of what runs, where the kind does not say it (a single operation).
    void NameOperation(const char* name) { operation_ = name; }

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
    // Why it was stopped.
    const std::string& StopWords() const { return stopWords_; }
    void RequestStop(std::string why) {
        stopRequested_ = true;
        stopWords_ = std::move(why);
    }

    // ---- the port scan: the port it tries (0 before the first), the problems it met ----
    unsigned ScanPort() const { return scanPort_; }
    void NextScanPort() { ++scanPort_; }
    const std::vector<std::string>& ScanProblems() const { return scanProblems_; }
    void NoteScanProblem(std::string problem) { scanProblems_.push_back(std::move(problem)); }

    // ---- the end ----
    // The run ends at `endedMs` as `conclusion` says; the run is forgotten. The only way a
    // run ends.
    Outcome Finish(const Conclusion& conclusion, uint64_t endedMs);
    // The run came to its end at `ms`, though it ends only later (after a message the operator
    // must close): its time stops here.
    void MarkEnd(uint64_t ms) {
        if (Active() && !endMark_) endMark_ = ms;
    }
    // This run's id, given by BeginRun; the ledger and the run record name the run by it.
    std::string runId;

private:
    RunKind kind_ = RunKind::None;
    Stage stage_ = Stage::None;
    ProgramOptions options_;
    bool framesSent_ = false;
    std::optional<uint32_t> serialNumber_;
    bool serialNumberSettled_ = false;
    uint64_t startedMs_ = 0;

    bool programModeEntered_ = false;
    uint8_t pendingOperation_ = 0;
    uint8_t freshEntryFlag_ = 0;
    std::optional<Conclusion> exitConclusion_;
    bool verifyAfterWrite_ = false;
    bool verifyRequested_ = false;
    const char* operation_ = nullptr;
    std::optional<uint64_t> endMark_;

    uint32_t flashIndex_ = 0;
    uint32_t bootIndex_ = 0;
    uint32_t blockOffset_ = 0;

    uint32_t updateBlockNumber_ = 0;
    uint32_t updateBlockCount_ = 0;
    uint8_t sectorIndex_ = 0;
    uint32_t flashDataFlashBlock_ = 0;
    uint32_t bootDataFlashBlock_ = 0;

    unsigned scanPort_ = 0;
    std::vector<std::string> scanProblems_;
    bool stopRequested_ = false;
    std::string stopWords_;
};

// What outlives the runs: how many have ended since the host started, and how the last one
// ended.
struct RunHistory {
    uint64_t ended = 0;
    Outcome last;
    // What the box sent on its own while a run awaited a reply, dealt with when the run has
    // ended: the latest settings report, and the codes of the conversations it asked for.
    std::optional<ReplyFrame> heldSettingsReport;
    std::vector<uint8_t> requestsDuringRun;
};

}  // namespace lumacrest
