#include "ops/LoaderTransfer.h"

#include <algorithm>
#include <cstdio>

#include "ops/Codec.h"
#include "ops/DeviceSteps.h"
#include "ops/Progress.h"
#include "ops/Runs.h"

namespace lumacrest {

namespace {

// The loader transfer is over: the controls return; the port stays as it is.
void Finish(Ops& ops, const Conclusion& conclusion) {
    End(ops, conclusion, {.port = PortAfter::KeepOpen});
}

Conclusion Failed(const std::string& words) {
    return Conclusion::Fail(Verdict::Failed, words);
}

void SendIapPage(Ops& ops) {
    const uint32_t pageSize = ops.target.dev.FlashPageSize;
    const uint32_t offset = ops.run.BlockOffset();
    if (pageSize == 0 || uint64_t{offset} + pageSize > kFlashBufferSize) {
        ops.view.AppendLogRaw("Failed");
        Finish(ops, Failed("the flash page at offset " + std::to_string(offset) +
                           " lies outside the buffer"));
        return;
    }
    // A page larger than a frame is refused by the link with its message.
    const Outgoing out =
        EncodeIapBlock(ops.link.Frame(), ops.target.buf().flash.data() + offset, pageSize);
    ops.run.AdvanceBlock(Area::Flash, pageSize);
    ops.view.SetProgress(Percent(ops.run.BlockIndex(Area::Flash), ops.target.FlashPagesToWrite));
    SendStep(ops, out);
}

// The identify reply of a loader: its version; the port stays open for the transfer.
void LoaderIdentified(Ops& ops, const ReplyFrame& reply) {
    char version[8];
    const IdentifyReply r = DecodeIdentifyReply(reply);
    std::snprintf(version, sizeof version, "%c.%c", '0' + r.fwMajor, '0' + r.fwMinor);
    ops.view.AppendLog("Find Progrmmer: ZK9_IAP");
    ops.view.AppendLog("IAP Firmware version:  ");
    ops.view.AppendLogRaw(version);
    ops.programmer.name = "ZK9_IAP";
    ops.programmer.firmware = version;
    End(ops, Conclusion::Pass(), {.port = PortAfter::KeepOpen});
}

}  // namespace

const ProgrammerPeer kLoaderPeer = {&LoaderIdentified, &StartIapErase};

void StartIapErase(Ops& ops) {
    ops.run.Become(RunKind::LoaderTransfer, Stage::LoaderErase);
    ops.view.AppendLog("Enter Program Mode......OK");
    ops.view.AppendLog("Erase Device......");
    ops.run.ResetSectorIndex();
    if (SendStep(ops, EncodeIapErase(ops.link.Frame(), ops.target.buf().keyCode.data())))
        ops.view.SetProgress(0);
}

void OnIapErased(Ops& ops, const ReplyFrame& reply) {
    const IapEraseReply r = DecodeIapEraseReply(reply);
    const uint8_t p0 = r.state;
    const uint8_t p1 = r.result;
    if (p0 == 0xEE) {
        // The programmer stops the transfer: nothing was programmed, so the run failed.
        Finish(ops, Failed("the programmer stopped the loader transfer (0xEE)"));
        return;
    }
    if (p0 == 0xAA) ops.programmer.keyCodeEnabled = true;
    if (p0 == 0x55) ops.programmer.keyCodeEnabled = false;
    if (p1 != 0) {
        ops.view.AppendLogRaw("Failed");
        Finish(ops, Conclusion::Fail(Verdict::Declined,
                                     "the loader refused its erase (result " + std::to_string(p1) + ")"));
        return;
    }
    ops.view.AppendLogRaw("OK");
    StartIapTransfer(ops);
}

void StartIapTransfer(Ops& ops) {
    ops.run.EnterStage(Stage::LoaderBlocks);
    ops.view.AppendLog("Start Update......");
    ops.run.StartTransfer(Area::Flash);
    if (ops.target.FlashPagesToWrite == 0) {
        // Nothing to send: say so instead of waiting for a reply that cannot come.
        ops.view.AppendLogRaw("Failed");
        Finish(ops, Failed("no flash page to send"));
        return;
    }
    SendIapPage(ops);
}

void OnIapBlockWritten(Ops& ops, const ReplyFrame& reply) {
    const uint8_t result = DecodeResult(reply).value_or(0);
    if (result != 0) {
        ops.view.AppendLogRaw("Fail");
        Finish(ops, Conclusion::Fail(Verdict::Declined,
                                     "the loader refused block " +
                                         std::to_string(ops.run.BlockIndex(Area::Flash) - 1) +
                                         " (result " + std::to_string(result) + ")"));
        return;
    }
    if (ops.run.BlockIndex(Area::Flash) < ops.target.FlashPagesToWrite) {
        SendIapPage(ops);
        return;
    }
    ops.view.AppendLogRaw("OK");
    SendIapDone(ops);
}

void SendIapDone(Ops& ops) {
    if (!SendStep(ops, EncodeIapDone(ops.link.Frame()))) return;
    // The done frame gets no reply: its time-out passes silently and ends the transfer. The
    // programmer leaves its loader, so the next Update must identify it anew.
    ops.run.EnterStage(Stage::LoaderDone);
    ops.programmer.kind = 0;
}

}  // namespace lumacrest
