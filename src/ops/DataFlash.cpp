#include "ops/DataFlash.h"

#include <algorithm>

#include "link/Crc16.h"
#include "ops/DeviceSteps.h"
#include "ops/Progress.h"
#include "ops/Runs.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest {

namespace {

constexpr uint32_t kDataFlashTimeoutMs = 5000;
constexpr uint8_t kBlankPageFlag = 0xA8;

// A failed download is over: the controls return; the port stays as it is.
void Finish(Host& h) {
    End(h, {.port = PortAfter::KeepOpen});
}

bool PageFits(uint32_t offset, uint32_t pageSize, std::size_t capacity) {
    return pageSize != 0 && uint64_t{offset} + pageSize <= capacity;
}

// Builds and sends one DataFlash block: number, page, CRC of both, and for flash pages the
// blank flag.
void SendDataFlashBlock(Host& h, Area area) {
    const bool flash = area == Area::Flash;
    const uint32_t pageSize = flash ? h.target.dev.FlashPageSize : h.target.dev.BootPageSize;
    const uint8_t* image = flash ? h.target.buf().flash.data() : h.target.buf().boot.data();
    const std::size_t capacity = flash ? kFlashBufferSize : kBootBufferSize;
    const uint32_t length = pageSize + (flash ? 5 : 4);
    const uint8_t code = flash ? CMD_DATAFLASH_FLASH_BLOCK : CMD_DATAFLASH_BOOT_BLOCK;
    const uint32_t offset = h.run.BlockOffset();
    if (length > kPayloadCapacity) {
        // The link refuses the frame; the run ends with its message.
        SendStep(h, code, length, kDataFlashTimeoutMs, length + 6);
        return;
    }
    if (!PageFits(offset, pageSize, capacity)) {
        // A page outside the buffer is never read.
        FailWord(h, "Failed");
        End(h);
        return;
    }
    const uint32_t number = h.run.DataFlashBlock(area);
    CommandFrame& f = h.link.Frame();
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
    h.run.AdvanceOffset(pageSize);
    h.run.NextDataFlashBlock(area);
    SendStep(h, code, length, kDataFlashTimeoutMs, length + 6);
}

bool EchoesLastCommand(const Host& h, const ReplyFrame& reply) {
    const CommandFrame& f = h.link.Frame();
    return reply.length == f.length && f.length <= kPayloadCapacity &&
           std::equal(f.payload.begin(), f.payload.begin() + f.length, reply.payload.begin());
}

void DataFlashFailed(Host& h) {
    FailWord(h, "Failed");
    h.view().SetProgress(0);
    Finish(h);
}

// The download ends with a reset of the programmer; its reply brings the controls back.
void EndDataFlashDownload(Host& h) {
    h.run.ResetBlockOffset();
    ResetProgrammer(h);
}

void StartBootDownload(Host& h) {
    h.run.EnterStage(Stage::DataFlashBoot);
    h.view().AppendLog("Download Boot File to DataFlash......");
    h.run.ResetBlockOffset();
    h.view().SetProgress(Percent(h.run.BlockIndex(Area::Boot), h.target.BootPagesToWrite));
    h.run.CountBlock(Area::Boot);
    SendDataFlashBlock(h, Area::Boot);
}
}  // namespace

void OnDataFlashBegin(Host& h, const ReplyFrame& reply) {
    BeginRun(h, RunKind::DataFlashDownload, Stage::DataFlashFlash);
    const CommandFrame& f = h.link.Frame();
    const bool accepted =
        reply.length >= f.length && f.length <= kPayloadCapacity &&
        std::equal(f.payload.begin(), f.payload.begin() + f.length, reply.payload.begin());
    if (!accepted) {
        DataFlashFailed(h);
        return;
    }
    h.view().AppendLogRaw("OK");
    // The download holds the line until the reset's reply.
    h.view().SetControls(ControlState::Busy);
    // Every download numbers its blocks from 0.
    h.run.StartDataFlash();
    if (h.run.Options().programFlash) {
        h.view().AppendLog("Download FLASH File to DataFlash......");
        h.view().SetProgress(Percent(h.run.BlockIndex(Area::Flash), h.target.FlashPagesToWrite));
        h.run.CountBlock(Area::Flash);
        SendDataFlashBlock(h, Area::Flash);
    } else if (h.run.Options().programBoot) {
        StartBootDownload(h);
    } else {
        EndDataFlashDownload(h);
    }
}

void OnDataFlashFlashBlock(Host& h, const ReplyFrame& reply) {
    if (!EchoesLastCommand(h, reply)) {
        DataFlashFailed(h);
        return;
    }
    if (h.run.BlockIndex(Area::Flash) < h.target.FlashPagesToWrite) {
        h.view().SetProgress(Percent(h.run.BlockIndex(Area::Flash), h.target.FlashPagesToWrite));
        h.run.CountBlock(Area::Flash);
        SendDataFlashBlock(h, Area::Flash);
        return;
    }
    h.view().AppendLogRaw("OK");
    h.view().SetProgress(100);
    if (h.run.Options().programBoot)
        StartBootDownload(h);
    else
        EndDataFlashDownload(h);
}

void OnDataFlashBootBlock(Host& h, const ReplyFrame& reply) {
    if (!EchoesLastCommand(h, reply)) {
        DataFlashFailed(h);
        return;
    }
    if (h.run.BlockIndex(Area::Boot) < h.target.BootPagesToWrite) {
        h.view().SetProgress(Percent(h.run.BlockIndex(Area::Boot), h.target.BootPagesToWrite));
        h.run.CountBlock(Area::Boot);
        SendDataFlashBlock(h, Area::Boot);
        return;
    }
    h.view().AppendLogRaw("OK");
    h.view().SetProgress(100);
    EndDataFlashDownload(h);
}

}  // namespace lumacrest
