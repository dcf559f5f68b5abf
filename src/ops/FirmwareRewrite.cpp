#include "ops/FirmwareRewrite.h"

#include <algorithm>
#include <fstream>

#include "image/Cipher.h"
#include "ops/DeviceSteps.h"
#include "ops/Discovery.h"
#include "ops/Progress.h"
#include "ops/Runs.h"

namespace lumacrest {

namespace {

constexpr uint32_t kEraseProgrammerTimeoutMs = 30000;
constexpr uint32_t kEraseProgrammerReplyLength = 6;
constexpr uint32_t kFirstFirmwareBlockTimeoutMs = 20000;
constexpr uint32_t kFirmwareBlockTimeoutMs = 10000;
constexpr uint32_t kFirmwareBlockLength = 260;
constexpr uint32_t kFirmwareBlockReplyLength = 266;

// A rewrite ends with the port closed and only the COM list enabled: the programmer must be
// restarted before it takes operations.
void EndRewrite(Host& h) {
    End(h, {.controls = ControlState::OnlyComList});
}

void SendFirmwareBlock(Host& h, uint32_t timeoutMs) {
    CommandFrame& f = h.link.Frame();
    const uint32_t offset = h.run.BlockOffset();
    std::copy_n(h.programmer.updateBuffer.begin() + offset, kFirmwareBlockSize, f.payload.begin());
    f.payload[256] = static_cast<uint8_t>(h.run.UpdateBlockNumber());
    f.payload[257] = static_cast<uint8_t>(h.run.UpdateBlockNumber() >> 8);
    h.run.AdvanceOffset(kFirmwareBlockSize);
    SendStep(h, CMD_PROGRAMMER_FW_BLOCK, kFirmwareBlockLength, timeoutMs, kFirmwareBlockReplyLength);
}
}  // namespace

bool LoadUpdateFile(Host& h) {
    std::ifstream in(h.programDir + kUpdateFileDatName, std::ios::binary);
    std::fill(h.programmer.updateBuffer.begin(), h.programmer.updateBuffer.end(), 0xFF);
    h.programmer.updateLength = 0;
    bool fits = static_cast<bool>(in);
    if (fits) {
        // One byte past the buffer tells a file that is too long.
        in.read(reinterpret_cast<char*>(h.programmer.updateBuffer.data()),
                static_cast<std::streamsize>(h.programmer.updateBuffer.size()));
        const std::size_t got = static_cast<std::size_t>(in.gcount());
        char extra = 0;
        const bool longer = got == h.programmer.updateBuffer.size() && in.get(extra);
        fits = !in.bad() && !longer && got != 0 && got % kFirmwareBlockSize == 0;
        h.programmer.updateLength = fits ? static_cast<uint32_t>(got) : 0;
    }
    if (!fits) {
        std::fill(h.programmer.updateBuffer.begin(), h.programmer.updateBuffer.end(), 0xFF);
        return false;
    }
    CipherDecryptBytes(h.programmer.updateBuffer.data(), h.programmer.updateLength, kUpdateFileKey);
    return true;
}

void StartProgrammerUpdate(Host& h) {
    // Started by the identification of a maintenance programmer, the run is under way and the
    // programmer can do nothing else; from the menu it is a run of its own.
    const bool fromIdentify = h.run.Kind() == RunKind::FirmwareRewrite;
    if (!fromIdentify) BeginRun(h, RunKind::FirmwareRewrite, Stage::EraseProgrammer);
    h.view().SetControls(ControlState::Busy);
    if (!LoadUpdateFile(h)) {
        FailMessage(h, kOpenUpdateFileFailed, Verdict::Failed);
        End(h, {.controls = fromIdentify ? ControlState::OnlyComList : ControlState::Idle});
        return;
    }
    if (!h.serial().IsOpen() && !ConnectPort(h, h.port.number)) return;
    h.view().SetProgress(0);
    h.run.StartFirmwareBlocks(h.programmer.updateLength / kFirmwareBlockSize);
    h.view().AppendLog("Erase Programmer......");
    SendStep(h, CMD_ERASE_PROGRAMMER, 0, kEraseProgrammerTimeoutMs, kEraseProgrammerReplyLength);
}

void OnProgrammerErased(Host& h, const ReplyFrame&) {
    h.run.EnterStage(Stage::FirmwareBlocks);
    h.run.StartFirmwareBlocks(h.run.UpdateBlockCount());
    h.view().AppendLogRaw("OK");
    h.view().AppendLog("Update Device Firmware......");
    SendFirmwareBlock(h, kFirstFirmwareBlockTimeoutMs);
}

void OnFirmwareBlockEchoed(Host& h, const ReplyFrame& reply) {
    h.run.FirmwareBlockEchoed();
    const uint32_t sent = h.run.BlockOffset() - kFirmwareBlockSize;
    const bool same = reply.length >= kFirmwareBlockSize &&
                      std::equal(reply.payload.begin(), reply.payload.begin() + kFirmwareBlockSize,
                                 h.programmer.updateBuffer.begin() + sent);
    if (!same) {
        h.link.Close();
        FailWord(h, "Failed");
        h.prompts().MessageBox(kUpdateFailed, MsgIcon::Error);
        h.view().SetProgress(0);
        EndRewrite(h);
        return;
    }
    if (h.run.UpdateBlockNumber() < h.run.UpdateBlockCount()) {
        h.view().SetProgress(Percent(h.run.UpdateBlockNumber(), h.run.UpdateBlockCount()));
        SendFirmwareBlock(h, kFirmwareBlockTimeoutMs);
        return;
    }
    h.view().AppendLogRaw("OK");
    h.view().SetProgress(100);
    EndRewrite(h);
}

}  // namespace lumacrest
