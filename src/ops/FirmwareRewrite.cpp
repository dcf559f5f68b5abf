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
void EndRewrite(Ops& ops) {
    End(ops, {.controls = ControlState::OnlyComList});
}

void SendFirmwareBlock(Ops& ops, uint32_t timeoutMs) {
    CommandFrame& f = ops.link.Frame();
    const uint32_t offset = ops.run.BlockOffset();
    std::copy_n(ops.programmer.updateBuffer.begin() + offset, kFirmwareBlockSize, f.payload.begin());
    f.payload[256] = static_cast<uint8_t>(ops.run.UpdateBlockNumber());
    f.payload[257] = static_cast<uint8_t>(ops.run.UpdateBlockNumber() >> 8);
    ops.run.AdvanceOffset(kFirmwareBlockSize);
    SendStep(ops, CMD_PROGRAMMER_FW_BLOCK, kFirmwareBlockLength, timeoutMs, kFirmwareBlockReplyLength);
}
}  // namespace

bool LoadUpdateFile(Ops& ops) {
    std::ifstream in(ops.programDir + kUpdateFileDatName, std::ios::binary);
    std::fill(ops.programmer.updateBuffer.begin(), ops.programmer.updateBuffer.end(), 0xFF);
    ops.programmer.updateLength = 0;
    bool fits = static_cast<bool>(in);
    if (fits) {
        // One byte past the buffer tells a file that is too long.
        in.read(reinterpret_cast<char*>(ops.programmer.updateBuffer.data()),
                static_cast<std::streamsize>(ops.programmer.updateBuffer.size()));
        const std::size_t got = static_cast<std::size_t>(in.gcount());
        char extra = 0;
        const bool longer = got == ops.programmer.updateBuffer.size() && in.get(extra);
        fits = !in.bad() && !longer && got != 0 && got % kFirmwareBlockSize == 0;
        ops.programmer.updateLength = fits ? static_cast<uint32_t>(got) : 0;
    }
    if (!fits) {
        std::fill(ops.programmer.updateBuffer.begin(), ops.programmer.updateBuffer.end(), 0xFF);
        return false;
    }
    CipherDecryptBytes(ops.programmer.updateBuffer.data(), ops.programmer.updateLength, kUpdateFileKey);
    return true;
}

void StartProgrammerUpdate(Ops& ops) {
    // Started by the identification of a maintenance programmer, the run is under way and the
    // programmer can do nothing else; from the menu it is a run of its own.
    const bool fromIdentify = ops.run.Kind() == RunKind::FirmwareRewrite;
    if (!fromIdentify) BeginRun(ops, RunKind::FirmwareRewrite, Stage::EraseProgrammer);
    ops.view.SetControls(ControlState::Busy);
    if (!LoadUpdateFile(ops)) {
        FailMessage(ops, kOpenUpdateFileFailed, Verdict::Failed);
        End(ops, {.controls = fromIdentify ? ControlState::OnlyComList : ControlState::Idle});
        return;
    }
    if (!ops.link.IsOpen() && !ConnectPort(ops, ops.port.number)) return;
    ops.view.SetProgress(0);
    ops.run.StartFirmwareBlocks(ops.programmer.updateLength / kFirmwareBlockSize);
    ops.view.AppendLog("Erase Programmer......");
    SendStep(ops, CMD_ERASE_PROGRAMMER, 0, kEraseProgrammerTimeoutMs, kEraseProgrammerReplyLength);
}

void OnProgrammerErased(Ops& ops, const ReplyFrame&) {
    ops.run.EnterStage(Stage::FirmwareBlocks);
    ops.run.StartFirmwareBlocks(ops.run.UpdateBlockCount());
    ops.view.AppendLogRaw("OK");
    ops.view.AppendLog("Update Device Firmware......");
    SendFirmwareBlock(ops, kFirstFirmwareBlockTimeoutMs);
}

void OnFirmwareBlockEchoed(Ops& ops, const ReplyFrame& reply) {
    ops.run.FirmwareBlockEchoed();
    const uint32_t sent = ops.run.BlockOffset() - kFirmwareBlockSize;
    const bool same = reply.length >= kFirmwareBlockSize &&
                      std::equal(reply.payload.begin(), reply.payload.begin() + kFirmwareBlockSize,
                                 ops.programmer.updateBuffer.begin() + sent);
    if (!same) {
        ops.link.Close();
        FailWord(ops, "Failed");
        ops.prompts().MessageBox(kUpdateFailed, MsgIcon::Error);
        ops.view.SetProgress(0);
        EndRewrite(ops);
        return;
    }
    if (ops.run.UpdateBlockNumber() < ops.run.UpdateBlockCount()) {
        ops.view.SetProgress(Percent(ops.run.UpdateBlockNumber(), ops.run.UpdateBlockCount()));
        SendFirmwareBlock(ops, kFirmwareBlockTimeoutMs);
        return;
    }
    ops.view.AppendLogRaw("OK");
    ops.view.SetProgress(100);
    EndRewrite(ops);
}

}  // namespace lumacrest
