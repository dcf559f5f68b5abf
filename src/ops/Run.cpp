#include "ops/Run.h"

#include <random>

namespace lumacrest {

const char* StageName(Stage stage) {
    switch (stage) {
        case Stage::None: return "none";
        case Stage::Connect: return "connect";
        case Stage::Identify: return "identify";
        case Stage::ProgramMode: return "program mode";
        case Stage::Erase: return "erase";
        case Stage::WriteBoot: return "boot write";
        case Stage::VerifyBoot: return "boot verify";
        case Stage::ReadBoot: return "boot read";
        case Stage::WriteFlash: return "flash write";
        case Stage::VerifyFlash: return "flash verify";
        case Stage::ReadFlash: return "flash read";
        case Stage::WriteKeyCode: return "KeyCode write";
        case Stage::CheckKeyCode: return "KeyCode check";
        case Stage::Exit: return "exit";
        case Stage::EraseProgrammer: return "programmer erase";
        case Stage::FirmwareBlocks: return "firmware blocks";
        case Stage::LoaderErase: return "loader erase";
        case Stage::LoaderBlocks: return "loader blocks";
        case Stage::LoaderDone: return "loader done";
        case Stage::SectorSums: return "sector sums";
        case Stage::BootSettle: return "pause after the boot verify";
        case Stage::DataFlashFlash: return "DataFlash flash";
        case Stage::DataFlashBoot: return "DataFlash boot";
        case Stage::Reset: return "reset";
        case Stage::Settings: return "stored settings";
    }
    return "?";
}

const char* RunKindName(RunKind kind) {
    switch (kind) {
        case RunKind::None: return "none";
        case RunKind::Identify: return "identify";
        case RunKind::Scan: return "scan";
        case RunKind::Update: return "update";
        case RunKind::Single: return "operation";
        case RunKind::FirmwareRewrite: return "firmware rewrite";
        case RunKind::LoaderTransfer: return "loader transfer";
        case RunKind::DataFlashDownload: return "DataFlash download";
        case RunKind::SettingsReport: return "settings report";
        case RunKind::SectorSums: return "sector sums";
    }
    return "?";
}

const char* VerdictName(Verdict verdict) {
    switch (verdict) {
        case Verdict::Passed: return "passed";
        case Verdict::Failed: return "failed";
        case Verdict::Declined: return "declined";
        case Verdict::TimedOut: return "timed out";
        case Verdict::Refused: return "refused";
        case Verdict::PortLost: return "port lost";
        case Verdict::Interrupted: return "interrupted";
        case Verdict::Abandoned: return "abandoned";
    }
    return "?";
}

std::string NewRunId() {
    std::random_device random;
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string id;
    while (id.size() < 32) {
        const uint32_t bits = random();
        for (int k = 0; k < 8 && id.size() < 32; ++k) id += kDigits[(bits >> (4 * k)) & 0xF];
    }
    return id;
}

namespace {

// What a run of `kind` is called in the records.
const char* OperationName(RunKind kind) {
    switch (kind) {
        case RunKind::None: return "none";
        case RunKind::Identify: return "identify";
        case RunKind::Scan: return "scan";
        case RunKind::Update: return "update";
        case RunKind::Single: return "operation";
        case RunKind::FirmwareRewrite: return "programmer-update";
        case RunKind::LoaderTransfer: return "loader-transfer";
        case RunKind::DataFlashDownload: return "dataflash-download";
        case RunKind::SettingsReport: return "settings-report";
        case RunKind::SectorSums: return "sector-sums";
    }
    return "?";
}

}  // namespace

void Run::Begin(RunKind kind, Stage stage, const ProgramOptions& options, uint64_t startedMs) {
    *this = Run{};
    kind_ = kind;
    stage_ = stage;
    options_ = options;
    startedMs_ = startedMs;
}

void Run::Become(RunKind kind, Stage stage) {
    kind_ = kind;
    stage_ = stage;
}

bool Run::SettleSerialNumber() {
    if (serialNumberSettled_) return false;
    serialNumberSettled_ = true;
    return true;
}

void Run::EnterProgramMode(uint8_t beginCode, bool fresh) {
    programModeEntered_ = true;
    freshEntryFlag_ = fresh ? 1 : 0;
    pendingOperation_ = beginCode;
}

void Run::LeaveProgramMode(const Conclusion& conclusion) {
    exitConclusion_ = conclusion.FixedStage() ? conclusion : conclusion.At(stage_);
    freshEntryFlag_ = 0;
    programModeEntered_ = false;
    verifyAfterWrite_ = false;
    stage_ = Stage::Exit;
}

void Run::StartTransfer(Area area) {
    ResetBlockIndex(area);
    blockOffset_ = 0;
}

void Run::ResetBlockIndex(Area area) {
    (area == Area::Flash ? flashIndex_ : bootIndex_) = 0;
}

void Run::AdvanceBlock(Area area, uint32_t bytes) {
    CountBlock(area);
    blockOffset_ += bytes;
}

void Run::CountBlock(Area area) {
    ++(area == Area::Flash ? flashIndex_ : bootIndex_);
}

void Run::StartFirmwareBlocks(uint32_t count) {
    updateBlockCount_ = count;
    updateBlockNumber_ = 0;
    blockOffset_ = 0;
}

void Run::StartDataFlash() {
    flashIndex_ = bootIndex_ = 0;
    flashDataFlashBlock_ = bootDataFlashBlock_ = 0;
    blockOffset_ = 0;
}

void Run::NextDataFlashBlock(Area area) {
    ++(area == Area::Flash ? flashDataFlashBlock_ : bootDataFlashBlock_);
}

Outcome Run::Finish(const Conclusion& conclusion, uint64_t endedMs) {
    Outcome outcome;
    outcome.runId = runId;
    outcome.kind = kind_;
    outcome.operation = operation_ ? operation_ : OperationName(kind_);
    outcome.verifyAfterWrite = verifyRequested_;
    outcome.verdict = conclusion.GetVerdict();
    outcome.stage = conclusion.FixedStage().value_or(stage_);
    outcome.text = conclusion.Words();
    outcome.options = options_;
    outcome.serialNumber = serialNumber_;
    outcome.startedMs = startedMs_;
    outcome.endedMs = endMark_.value_or(endedMs);
    Begin(RunKind::None, Stage::None);
    return outcome;
}

}  // namespace lumacrest
