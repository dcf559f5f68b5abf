#include "ops/DataFlash.h"

#include <algorithm>

#include "image/Crc16.h"
#include "ops/DeviceSteps.h"
#include "ops/Progress.h"
#include "ops/Runs.h"

namespace lumacrest {

namespace {

constexpr uint32_t kDataFlashTimeoutMs = 5000;
constexpr uint8_t kBlankPageFlag = 0xA8;

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
    const uint32_t length = pageSize + (flash ? 5 : 4);
    const uint8_t code = flash ? CMD_DATAFLASH_FLASH_BLOCK : CMD_DATAFLASH_BOOT_BLOCK;
    const uint32_t offset = ops.run.BlockOffset();
    if (length > kPayloadCapacity) {
        // The link refuses the frame; the run ends with its message.
        SendStep(ops, code, length, kDataFlashTimeoutMs, length + 6);
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
    const uint32_t number = ops.run.DataFlashBlock(area);
    CommandFrame& f = ops.link.Frame();
    f.payload[0] = static_cast<uint8_t>(number >> 8);
    f.payload[1] = static_cast<uint8_t>(number);
    const uint8_t* page = image + offset;
    std::copy_n(page, pageSize, f.payload.begin() + 2);
    const uint16_t crc = Crc16(f.payload.data(), static_cast<int32_t>(pageSize + 2));
    f.payload[pageSize + 2] = static_cast<uint8_t>(crc >> 8);
    f.payload[pageSize + 3] = static_cast<uint8_t>(crc);
    if (flash) {
        const bool blank = std::all_of(page, page + pageSize, [](uint8_t b) { return b == 0xFF; });
        f.payload[pageSize + 4] = blank ? kBlankPageFlag : 0x00;
    }
    ops.run.AdvanceOffset(pageSize);
    ops.run.NextDataFlashBlock(area);
    SendStep(ops, code, length, kDataFlashTimeoutMs, length + 6);
}

bool EchoesLastCommand(const Ops& ops, const ReplyFrame& reply) {
    const CommandFrame& f = ops.link.Frame();
    return reply.length == f.length && f.length <= kPayloadCapacity &&
           std::equal(f.payload.begin(), f.payload.begin() + f.length, reply.payload.begin());
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
    const CommandFrame& f = ops.link.Frame();
    const bool accepted =
        reply.length >= f.length && f.length <= kPayloadCapacity &&
        std::equal(f.payload.begin(), f.payload.begin() + f.length, reply.payload.begin());
    if (!accepted) {
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
