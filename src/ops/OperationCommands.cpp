#include "ops/OperationCommands.h"

#include <algorithm>

#include "link/Link.h"
#include "ops/DeviceSteps.h"
#include "ops/Discovery.h"
#include "ops/Runs.h"
#include "ops/Programmers.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest {

namespace {

// Serial numbers of another width than the usual four bytes are written as their low
// SnWidth bytes, most significant first.
uint32_t SnBytes(const Host& h) {
    return h.sn.SnWidth >= 1 && h.sn.SnWidth <= 4 ? h.sn.SnWidth : 4;
}

bool FlashPagesFit(Host& h) {
    return CheckPageFits(h, h.target.dev.FlashPageSize, "flash");
}
bool BootPagesFit(Host& h) {
    return CheckPageFits(h, h.target.dev.BootPageSize, "boot");
}

// Ends an Update that stopped before its first frame: the port closes, the controls return.
void AbandonUpdate(Host& h, const std::string& message) {
    FailMessage(h, message, Verdict::Refused);
    End(h);
}

}  // namespace

std::optional<std::string> SerialNumberProblem(const Host& h) {
    const uint64_t end = uint64_t{h.sn.SnAddress} + SnBytes(h);
    const uint32_t size = h.sn.SnInBoot ? h.target.dev.BootSize : h.target.dev.FlashSize;
    if (end > size)
        return "SN Address " + std::to_string(h.sn.SnAddress) + " + " + std::to_string(SnBytes(h)) +
               " bytes lies beyond the " + (h.sn.SnInBoot ? "boot" : "flash") + " size " +
               std::to_string(size);
    return std::nullopt;
}

void WriteSerialNumber(Host& h) {
    const uint32_t width = SnBytes(h);
    uint8_t* image = h.sn.SnInBoot ? h.target.buf().boot.data() : h.target.buf().flash.data();
    for (uint32_t k = 0; k < width; ++k)
        image[h.sn.SnAddress + k] = static_cast<uint8_t>(h.sn.SnValue >> (8 * (width - 1 - k)));
    // The pages written and verified must reach the serial number.
    const uint32_t pageSize = h.sn.SnInBoot ? h.target.dev.BootPageSize : h.target.dev.FlashPageSize;
    const uint32_t pageCount = h.sn.SnInBoot ? h.target.dev.BootPageCount : h.target.dev.FlashPageCount;
    uint32_t& pages = h.sn.SnInBoot ? h.target.BootPagesToWrite : h.target.FlashPagesToWrite;
    if (pageSize == 0) return;
    const uint64_t needed = (uint64_t{h.sn.SnAddress} + width + pageSize - 1) / pageSize;
    pages = std::max(pages, static_cast<uint32_t>(std::min<uint64_t>(needed, pageCount)));
}

void RunProgramOptions(Host& h) {
    BeginRun(h, RunKind::Update, Stage::Connect);
    h.view().WriteSeparator();
    if (h.run.Options().programFlash && !FlashPagesFit(h)) return;
    if (h.run.Options().programBoot && !BootPagesFit(h)) return;
    if (!ConnectPort(h, h.port.number)) return;
    h.view().SetControls(ControlState::Busy);
    PeerFor(h.programmer.kind).update(h);
}

void StartProgramSequence(Host& h) {
    if (!h.run.Options().AnyStage()) {
        AbandonUpdate(h, kSelectProgramOption);
        return;
    }
    h.sn.SnAdvance = 1;
    if (h.run.Options().programSn) {
        if (auto why = SerialNumberProblem(h)) {
            AbandonUpdate(h, "******" + *why + ", nothing programmed******   ");
            return;
        }
        WriteSerialNumber(h);
        h.sn.SnValue += 1;
    }
    h.run.EnterProgramMode(0, true);
    EnterProgramMode(h);
}

const ProgrammerPeer kDevicePeer = {&DeviceProgrammerIdentified, &StartProgramSequence};

void RunSingleOperation(Host& h, SingleOperation operation,
                        std::optional<bool> verifyAfterWrite) {
    struct Step {
        bool (*fits)(Host&);
        void (*start)(Host&);
    };
    static constexpr Step kSteps[] = {
        {nullptr, &StartChipErase},       {&FlashPagesFit, &StartWriteFlash},
        {&FlashPagesFit, &StartReadFlash}, {&FlashPagesFit, &StartVerifyFlash},
        {&BootPagesFit, &StartWriteBoot},  {&BootPagesFit, &StartReadBoot},
        {&BootPagesFit, &StartVerifyBoot}, {nullptr, &StartWriteKeyCode},
        {nullptr, &StartCheckKeyCode}};
    const Step& step = kSteps[static_cast<int>(operation)];
    BeginRun(h, RunKind::Single, Stage::Connect);
    if (step.fits && !step.fits(h)) return;
    if (verifyAfterWrite) h.run.RequestVerifyAfterWrite(*verifyAfterWrite);
    step.start(h);
}

}  // namespace lumacrest
