#include "ops/OperationCommands.h"

#include <algorithm>
#include <cctype>

#include "image/Checksums.h"
#include "link/Link.h"
#include "ops/DeviceSteps.h"
#include "ops/Discovery.h"
#include "ops/Runs.h"
#include "ops/Programmers.h"

namespace lumacrest {

namespace {

// Serial numbers of another width than the usual four bytes are written as their low
// SnWidth bytes, most significant first.
uint32_t SnBytes(const Ops& ops) {
    return ops.sn.SnWidth >= 1 && ops.sn.SnWidth <= 4 ? ops.sn.SnWidth : 4;
}

bool FlashPagesFit(Ops& ops) {
    return CheckPageFits(ops, ops.target.dev.FlashPageSize, "flash");
}
bool BootPagesFit(Ops& ops) {
    return CheckPageFits(ops, ops.target.dev.BootPageSize, "boot");
}

// Ends an Update that stopped before its first frame: the port closes, the controls return.
void AbandonUpdate(Ops& ops, const std::string& message) {
    End(ops, Refusal(ops, message));
}

// The number for this chip, reserved in the station's ledger before it goes into the image:
// the one the settings ask for, or the next never issued above it. False: the run is refused.
bool DrawSerialNumber(Ops& ops) {
    if (!ops.platform.serials) {
        AbandonUpdate(ops, "******Program SN needs the serial-number ledger, nothing programmed******   ");
        return false;
    }
    const SerialIssue issue{ops.port.name,
                            ops.ports.Device(ops.port.number).value_or(""),
                            ops.programmer.name,
                            ops.target.mcuName,
                            FormatChecksum(FlashChecksum(ops.target)),
                            FormatChecksum(BootChecksum(ops.target)),
                            ops.run.runId};
    const uint32_t asked = ops.sn.SnValue;
    const SerialDraw drawn = ops.platform.serials->Draw(asked, issue);
    if (!drawn.number) {
        ops.view.AppendLog("Program SN refused: " + drawn.refusal);
        std::string text = drawn.refusal;
        if (!text.empty()) text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
        AbandonUpdate(ops, "******" + text + ", nothing programmed******   ");
        return false;
    }
    if (*drawn.number != asked)
        ops.view.AppendLog("Serial number " + std::to_string(asked) + " was issued" +
                           (drawn.askedWasIssued ? " on " + drawn.askedWasIssued->issued + " UTC" : "") +
                           "; " + std::to_string(*drawn.number) + " is used");
    ops.sn.SnValue = *drawn.number;
    return true;
}

}  // namespace

std::optional<std::string> SerialNumberProblem(const Ops& ops) {
    const uint64_t end = uint64_t{ops.sn.SnAddress} + SnBytes(ops);
    const uint32_t size = ops.sn.SnInBoot ? ops.target.dev.BootSize : ops.target.dev.FlashSize;
    if (end > size)
        return "SN Address " + std::to_string(ops.sn.SnAddress) + " + " + std::to_string(SnBytes(ops)) +
               " bytes lies beyond the " + (ops.sn.SnInBoot ? "boot" : "flash") + " size " +
               std::to_string(size);
    return std::nullopt;
}

void WriteSerialNumber(Ops& ops) {
    const uint32_t width = SnBytes(ops);
    uint8_t* image = ops.sn.SnInBoot ? ops.target.buf().boot.data() : ops.target.buf().flash.data();
    for (uint32_t k = 0; k < width; ++k)
        image[ops.sn.SnAddress + k] = static_cast<uint8_t>(ops.sn.SnValue >> (8 * (width - 1 - k)));
    // The pages written and verified must reach the serial number.
    const uint32_t pageSize = ops.sn.SnInBoot ? ops.target.dev.BootPageSize : ops.target.dev.FlashPageSize;
    const uint32_t pageCount = ops.sn.SnInBoot ? ops.target.dev.BootPageCount : ops.target.dev.FlashPageCount;
    uint32_t& pages = ops.sn.SnInBoot ? ops.target.BootPagesToWrite : ops.target.FlashPagesToWrite;
    if (pageSize == 0) return;
    const uint64_t needed = (uint64_t{ops.sn.SnAddress} + width + pageSize - 1) / pageSize;
    pages = std::max(pages, static_cast<uint32_t>(std::min<uint64_t>(needed, pageCount)));
}

void RunProgramOptions(Ops& ops) {
    BeginRun(ops, RunKind::Update, Stage::Connect);
    ops.view.WriteSeparator();
    if (ops.run.Options().programFlash && !FlashPagesFit(ops)) return;
    if (ops.run.Options().programBoot && !BootPagesFit(ops)) return;
    // A loader takes the flash image whatever the options say.
    const bool loader = &PeerFor(ops.programmer.kind) == &kLoaderPeer;
    if (!CheckLoaded(ops, loader || ops.run.Options().programFlash,
                     !loader && ops.run.Options().programBoot))
        return;
    if (!ConnectPort(ops, ops.port.number)) return;
    ops.view.SetControls(ControlState::Busy);
    PeerFor(ops.programmer.kind).update(ops);
}

void StartProgramSequence(Ops& ops) {
    if (!ops.run.Options().AnyStage()) {
        AbandonUpdate(ops, kSelectProgramOption);
        return;
    }
    ops.sn.SnAdvance = 1;
    if (ops.run.Options().programSn) {
        if (auto why = SerialNumberProblem(ops)) {
            AbandonUpdate(ops, "******" + *why + ", nothing programmed******   ");
            return;
        }
        if (!DrawSerialNumber(ops)) return;
        ops.run.WroteSerialNumber(ops.sn.SnValue);
        WriteSerialNumber(ops);
        ops.sn.SnValue += 1;
    }
    ops.run.EnterProgramMode(0, true);
    EnterProgramMode(ops);
}

const ProgrammerPeer kDevicePeer = {&DeviceProgrammerIdentified, &StartProgramSequence};

void RunSingleOperation(Ops& ops, SingleOperation operation,
                        std::optional<bool> verifyAfterWrite) {
    struct Step {
        bool (*fits)(Ops&);
        void (*start)(Ops&);
        bool writesFlash, writesBoot;
        const char* name;
    };
    static constexpr Step kSteps[] = {
        {nullptr, &StartChipErase, false, false, "erase"},
        {&FlashPagesFit, &StartWriteFlash, true, false, "write-flash"},
        {&FlashPagesFit, &StartReadFlash, false, false, "read-flash"},
        {&FlashPagesFit, &StartVerifyFlash, false, false, "verify-flash"},
        {&BootPagesFit, &StartWriteBoot, false, true, "write-boot"},
        {&BootPagesFit, &StartReadBoot, false, false, "read-boot"},
        {&BootPagesFit, &StartVerifyBoot, false, false, "verify-boot"},
        {nullptr, &StartWriteKeyCode, false, false, "write-keycode"},
        {nullptr, &StartCheckKeyCode, false, false, "check-keycode"}};
    const Step& step = kSteps[static_cast<int>(operation)];
    BeginRun(ops, RunKind::Single, Stage::Connect);
    ops.run.NameOperation(step.name);
    if (step.fits && !step.fits(ops)) return;
    if (!CheckLoaded(ops, step.writesFlash, step.writesBoot)) return;
    if (verifyAfterWrite) ops.run.RequestVerifyAfterWrite(*verifyAfterWrite);
    step.start(ops);
}

}  // namespace lumacrest
