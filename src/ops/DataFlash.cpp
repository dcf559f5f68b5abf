#include "ops/DataFlash.h"

#include <algorithm>

#include "ops/Codec.h"
#include "ops/DeviceSteps.h"
#include "ops/Progress.h"
#include "ops/Runs.h"

namespace lumacrest {

namespace {

// A failed download is over: the controls return; the port stays as it is.
void Finish(Ops& ops, const Conclusion& conclusion) {
    End(ops, conclusion, {.port = PortAfter::KeepOpen});
}

bool PageFits(uint32_t offset, uint32_t pageSize, std::size_t capacity) {
    return pageSize != 0 && uint64_t{offset} + pageSize <= capacity;
}

// Builds and sends one DataFlash block: number, page, CRC of both, and for flash pages the
// blank flag.
void SendDataFlashBlock(Ops& ops, Area area) {
    const bool flash = area == Area::Flash;
    const uint32_t pageSize = flash ? ops.target.dev.FlashPageSize : ops.target.dev.BootPageSize;
    const uint8_t* image = flash ? ops.target.buf().flash.data() : ops.target.buf().boot.data();
    const std::size_t capacity = flash ? kFlashBufferSize : kBootBufferSize;
    const uint8_t code = flash ? CMD_DATAFLASH_FLASH_BLOCK : CMD_DATAFLASH_BOOT_BLOCK;
    const uint32_t offset = ops.run.BlockOffset();
    if (PayloadLength(code, pageSize) > kPayloadCapacity) {
        // The link refuses the frame; the run ends with its message.
        SendStep(ops, OutgoingFor(code, pageSize));
        return;
    }
    if (!PageFits(offset, pageSize, capacity)) {
        // A page outside the buffer is never read.
        ops.view.AppendLogRaw("Failed");
        End(ops, Conclusion::Fail(Verdict::Failed, "the DataFlash page at offset " +
                                                       std::to_string(offset) +
                                                       " lies outside the buffer"));
        return;
    }
    const Outgoing out =
        EncodeDataFlashBlock(ops.link.Frame(), code,
                             static_cast<uint16_t>(ops.run.DataFlashBlock(area)), image + offset,
                             pageSize);
    ops.run.AdvanceOffset(pageSize);
    ops.run.NextDataFlashBlock(area);
    SendStep(ops, out);
}

bool EchoesLastCommand(const Ops& ops, const ReplyFrame& reply) {
    return RepeatsLastCommand(reply, ops.link.Frame(), true);
}

void DataFlashFailed(Ops& ops, const std::string& words) {
    ops.view.AppendLogRaw("Failed");
    ops.view.SetProgress(0);
    Finish(ops, Conclusion::Fail(Verdict::Failed, words));
}

// The download ends with a reset of the programmer; its reply brings the controls back.
void EndDataFlashDownload(Ops& ops) {
    ops.run.ResetBlockOffset();
    ResetProgrammer(ops);
}

void StartBootDownload(Ops& ops) {
    ops.run.EnterStage(Stage::DataFlashBoot);
    ops.view.AppendLog("Download Boot File to DataFlash......");
    ops.run.ResetBlockOffset();
    ops.view.SetProgress(Percent(ops.run.BlockIndex(Area::Boot), ops.target.BootPagesToWrite));
    ops.run.CountBlock(Area::Boot);
    SendDataFlashBlock(ops, Area::Boot);
}
}  // namespace

void OnDataFlashBegin(Ops& ops, const ReplyFrame& reply) {
    // In place of the identify reply the connect under way becomes the download.
    if (ops.run.Active())
        ops.run.Become(RunKind::DataFlashDownload, Stage::DataFlashFlash);
    else
        BeginRun(ops, RunKind::DataFlashDownload, Stage::DataFlashFlash);
    if (!RepeatsLastCommand(reply, ops.link.Frame(), false)) {
        DataFlashFailed(ops, "the begin frame of the DataFlash download is not the one the host sent");
        return;
    }
    ops.view.AppendLogRaw("OK");
    // The download holds the line until the reset's reply.
    ops.view.SetControls(ControlState::Busy);
    // Every download numbers its blocks from 0.
    ops.run.StartDataFlash();
    if (ops.run.Options().programFlash) {
        ops.view.AppendLog("Download FLASH File to DataFlash......");
        ops.view.SetProgress(Percent(ops.run.BlockIndex(Area::Flash), ops.target.FlashPagesToWrite));
        ops.run.CountBlock(Area::Flash);
        SendDataFlashBlock(ops, Area::Flash);
    } else if (ops.run.Options().programBoot) {
        StartBootDownload(ops);
    } else {
        EndDataFlashDownload(ops);
    }
}

void OnDataFlashFlashBlock(Ops& ops, const ReplyFrame& reply) {
    const Area area = Area::Flash;
    if (!EchoesLastCommand(ops, reply)) {
        DataFlashFailed(ops, "the box echoed DataFlash block " +
                                 std::to_string(ops.run.DataFlashBlock(area) - 1) + " differently");
        return;
    }
    if (ops.run.BlockIndex(Area::Flash) < ops.target.FlashPagesToWrite) {
        ops.view.SetProgress(Percent(ops.run.BlockIndex(Area::Flash), ops.target.FlashPagesToWrite));
        ops.run.CountBlock(Area::Flash);
        SendDataFlashBlock(ops, Area::Flash);
        return;
    }
    ops.view.AppendLogRaw("OK");
    ops.view.SetProgress(100);
    if (ops.run.Options().programBoot)
        StartBootDownload(ops);
    else
        EndDataFlashDownload(ops);
}

void OnDataFlashBootBlock(Ops& ops, const ReplyFrame& reply) {
    const Area area = Area::Boot;
    if (!EchoesLastCommand(ops, reply)) {
        DataFlashFailed(ops, "the box echoed DataFlash block " +
                                 std::to_string(ops.run.DataFlashBlock(area) - 1) + " differently");
        return;
    }
    if (ops.run.BlockIndex(Area::Boot) < ops.target.BootPagesToWrite) {
        ops.view.SetProgress(Percent(ops.run.BlockIndex(Area::Boot), ops.target.BootPagesToWrite));
        ops.run.CountBlock(Area::Boot);
        SendDataFlashBlock(ops, Area::Boot);
        return;
    }
    ops.view.AppendLogRaw("OK");
    ops.view.SetProgress(100);
    EndDataFlashDownload(ops);
}

}  // namespace lumacrest
