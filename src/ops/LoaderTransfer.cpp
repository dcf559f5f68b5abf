#include "ops/LoaderTransfer.h"

#include <algorithm>
#include <cstdio>

#include "ops/DeviceSteps.h"
#include "ops/Progress.h"
#include "ops/Runs.h"

namespace lumacrest {

namespace {

constexpr uint32_t kIapEraseLength = 30;
constexpr uint32_t kIapEraseTimeoutMs = 60000;
constexpr uint32_t kIapEraseReplyLength = 14;
constexpr uint32_t kIapBlockTimeoutMs = 10000;
constexpr uint32_t kIapBlockReplyLength = 8;
constexpr uint32_t kIapDoneLength = 2;
constexpr uint32_t kIapDoneTimeoutMs = 10000;
constexpr uint32_t kIapDoneReplyLength = 26;

// The loader transfer is over: the controls return; the port stays as it is.
void Finish(Host& h) {
    End(h, {.port = PortAfter::KeepOpen});
}

void SendIapPage(Host& h) {
    const uint32_t pageSize = h.target.dev.FlashPageSize;
    const uint32_t offset = h.run.BlockOffset();
    if (pageSize == 0 || uint64_t{offset} + pageSize > kFlashBufferSize) {
        FailWord(h, "Failed");
        Finish(h);
        return;
    }
    // A page larger than a frame is refused by the link with its message.
    CommandFrame& f = h.link.Frame();
    if (pageSize <= kPayloadCapacity)
        std::copy_n(h.target.buf().flash.begin() + offset, pageSize, f.payload.begin());
    h.run.AdvanceBlock(Area::Flash, pageSize);
    h.view().SetProgress(Percent(h.run.BlockIndex(Area::Flash), h.target.FlashPagesToWrite));
    SendStep(h, CMD_IAP_BLOCK, pageSize, kIapBlockTimeoutMs, kIapBlockReplyLength);
}

// The identify reply of a loader: its version; the port stays open for the transfer.
void LoaderIdentified(Host& h, const ReplyFrame& reply) {
    char version[8];
    std::snprintf(version, sizeof version, "%c.%c", '0' + reply.payload[0], '0' + reply.payload[1]);
    h.view().AppendLog("Find Progrmmer: ZK9_IAP");
    h.view().AppendLog("IAP Firmware version:  ");
    h.view().AppendLogRaw(version);
    End(h, {.port = PortAfter::KeepOpen});
}

}  // namespace

const ProgrammerPeer kLoaderPeer = {&LoaderIdentified, &StartIapErase};

void StartIapErase(Host& h) {
    h.run.Become(RunKind::LoaderTransfer, Stage::LoaderErase);
    h.view().AppendLog("Enter Program Mode......OK");
    h.view().AppendLog("Erase Device......");
    h.run.ResetSectorIndex();
    std::copy_n(h.target.buf().keyCode.begin(), kKeyCodeLength, h.link.Frame().payload.begin());
    if (SendStep(h, CMD_IAP_ERASE, kIapEraseLength, kIapEraseTimeoutMs, kIapEraseReplyLength))
        h.view().SetProgress(0);
}

void OnIapErased(Host& h, const ReplyFrame& reply) {
    const uint8_t p0 = reply.payload[0];
    const uint8_t p1 = reply.payload[1];
    if (p0 == 0xEE) {
        // The programmer stops the transfer: nothing was programmed, so the run failed.
        h.run.Fail(Verdict::Failed, "the programmer stopped the loader transfer (0xEE)");
        Finish(h);
        return;
    }
    if (p0 == 0xAA) h.run.SetKeyCodeEnabled(true);
    if (p0 == 0x55) h.run.SetKeyCodeEnabled(false);
    if (p1 != 0) {
        FailWord(h, "Failed");
        Finish(h);
        return;
    }
    h.view().AppendLogRaw("OK");
    StartIapTransfer(h);
}

void StartIapTransfer(Host& h) {
    h.run.EnterStage(Stage::LoaderBlocks);
    h.view().AppendLog("Start Update......");
    h.run.StartTransfer(Area::Flash);
    if (h.target.FlashPagesToWrite == 0) {
        // Nothing to send: say so instead of waiting for a reply that cannot come.
        FailWord(h, "Failed");
        Finish(h);
        return;
    }
    SendIapPage(h);
}

void OnIapBlockWritten(Host& h, const ReplyFrame& reply) {
    if (reply.payload[0] != 0) {
        FailWord(h, "Fail");
        Finish(h);
        return;
    }
    if (h.run.BlockIndex(Area::Flash) < h.target.FlashPagesToWrite) {
        SendIapPage(h);
        return;
    }
    h.view().AppendLogRaw("OK");
    SendIapDone(h);
}

void SendIapDone(Host& h) {
    if (!SendStep(h, CMD_IAP_DONE, kIapDoneLength, kIapDoneTimeoutMs, kIapDoneReplyLength)) return;
    // The done frame gets no reply: its time-out passes silently and ends the transfer. The
    // programmer leaves its loader, so the next Update must identify it anew.
    h.run.EnterStage(Stage::LoaderDone);
    h.programmer.kind = 0;
}

}  // namespace lumacrest
