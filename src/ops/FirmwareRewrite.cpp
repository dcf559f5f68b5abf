#include "ops/FirmwareRewrite.h"

#include <algorithm>
#include <string>

#include "image/Cipher.h"
#include "ops/Codec.h"
#include "ops/DeviceSteps.h"
#include "ops/Discovery.h"
#include "ops/Progress.h"
#include "ops/Runs.h"
#include "platform/AtomicFile.h"

namespace lumacrest {

namespace {

// A rewrite ends with the port closed and only the COM list enabled: the programmer must be
// restarted before it takes operations.
void EndRewrite(Ops& ops, const Conclusion& conclusion) {
    End(ops, conclusion, {.controls = ControlState::OnlyComList});
}

void SendFirmwareBlock(Ops& ops, bool first) {
    const uint32_t offset = ops.run.BlockOffset();
    const Outgoing out = EncodeFirmwareBlock(ops.link.Frame(),
                                             ops.programmer.updateBuffer.data() + offset,
                                             static_cast<uint16_t>(ops.run.UpdateBlockNumber()), first);
    ops.run.AdvanceOffset(kFirmwareBlockSize);
    SendStep(ops, out);
}
}  // namespace

bool LoadUpdateFile(Ops& ops, std::string* why) {
    auto refuse = [why](std::string reason) {
        if (why) *why = "update.dat refused: " + std::move(reason);
        return false;
    };
    auto& buffer = ops.programmer.updateBuffer;
    std::fill(buffer.begin(), buffer.end(), 0xFF);
    ops.programmer.updateLength = 0;
    // A regular file only (never waited for), of whole blocks that fit the buffer.
    const std::string path = ops.programDir + kUpdateFileDatName;
    RegularFile file;
    if (!file.Open(path)) {
        const std::string reason = WhyNotRegularFile(path);
        return refuse(reason == kNoSuchFile ? reason + " in " + ops.programDir : reason);
    }
    if (file.size() == 0) return refuse("the file is empty");
    if (file.size() > buffer.size())
        return refuse(std::to_string(file.size()) + " bytes, more than the " +
                      std::to_string(buffer.size()) + "-byte update buffer");
    std::string bytes;
    if (!file.ReadAll(bytes, buffer.size())) return refuse("it cannot be read to its end");
    if (bytes.empty()) return refuse("the file is empty");
    if (bytes.size() % kFirmwareBlockSize != 0)
        return refuse(std::to_string(bytes.size()) + " bytes, not a whole number of " +
                      std::to_string(kFirmwareBlockSize) + "-byte blocks");
    std::copy(bytes.begin(), bytes.end(), buffer.begin());
    ops.programmer.updateLength = static_cast<uint32_t>(bytes.size());
    CipherDecryptBytes(buffer.data(), ops.programmer.updateLength, kUpdateFileKey);
    return true;
}

void StartProgrammerUpdate(Ops& ops) {
    // Started by the identification of a maintenance programmer, the run is under way and the
    // programmer can do nothing else; from the menu it is a run of its own.
    const bool fromIdentify = ops.run.Kind() == RunKind::FirmwareRewrite;
    if (!fromIdentify) BeginRun(ops, RunKind::FirmwareRewrite, Stage::EraseProgrammer);
    ops.view.SetControls(ControlState::Busy);
    std::string why;
    if (!LoadUpdateFile(ops, &why)) {
        ShowRunMessage(ops, kOpenUpdateFileFailed, MessageKind::Error);
        ops.view.AppendLog(why);
        End(ops, Conclusion::Fail(Verdict::Failed, why.empty() ? kOpenUpdateFileFailed : why), {.controls = fromIdentify ? ControlState::OnlyComList : ControlState::Idle});
        return;
    }
    if (!ops.link.IsOpen() && !ConnectPort(ops, ops.port.number)) return;
    ops.view.SetProgress(0);
    ops.run.StartFirmwareBlocks(ops.programmer.updateLength / kFirmwareBlockSize);
    ops.view.AppendLog("Erase Programmer......");
    SendStep(ops, EncodeEraseProgrammer(ops.link.Frame()));
}

std::string FirmwareRewriteQuestion(const Ops& ops) {
    // The port the rewrite goes to: the one chosen, or the one the scan found.
    std::string port = ops.port.number ? "COM" + std::to_string(ops.port.number) : ops.port.name;
    if (std::optional<std::string> device = ops.ports.Device(ops.port.number))
        port += " (" + *device + ")";
    return "Rewrite the firmware of the programmer on " + port +
           " from update.dat? It cannot take operations until it is restarted.";
}

void AskAndStartProgrammerUpdate(Ops& ops) {
    if (!ops.prompts().AskYesNo(FirmwareRewriteQuestion(ops))) return;
    StartProgrammerUpdate(ops);
}

void OnProgrammerErased(Ops& ops, const ReplyFrame&) {
    ops.run.EnterStage(Stage::FirmwareBlocks);
    ops.run.StartFirmwareBlocks(ops.run.UpdateBlockCount());
    ops.view.AppendLogRaw("OK");
    ops.view.AppendLog("Update Device Firmware......");
    SendFirmwareBlock(ops, true);
}

void OnFirmwareBlockEchoed(Ops& ops, const ReplyFrame& reply) {
    ops.run.FirmwareBlockEchoed();
    const uint32_t sent = ops.run.BlockOffset() - kFirmwareBlockSize;
    const uint8_t* echo = DecodeFirmwareEcho(reply);
    const bool same = echo && std::equal(echo, echo + kFirmwareBlockSize,
                                         ops.programmer.updateBuffer.begin() + sent);
    if (!same) {
        ops.link.Close();
        ops.view.AppendLogRaw("Failed");
        ShowRunMessage(ops, kUpdateFailed, MessageKind::Error);
        ops.view.SetProgress(0);
        EndRewrite(ops, Conclusion::Fail(Verdict::Failed,
                                         "the programmer echoed firmware block " +
                                             std::to_string(ops.run.UpdateBlockNumber() - 1) +
                                             " differently"));
        return;
    }
    if (ops.run.UpdateBlockNumber() < ops.run.UpdateBlockCount()) {
        ops.view.SetProgress(Percent(ops.run.UpdateBlockNumber(), ops.run.UpdateBlockCount()));
        SendFirmwareBlock(ops, false);
        return;
    }
    ops.view.AppendLogRaw("OK");
    ops.view.SetProgress(100);
    EndRewrite(ops, Conclusion::Pass());
}

}  // namespace lumacrest
