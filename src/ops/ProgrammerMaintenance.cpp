#include "ops/ProgrammerMaintenance.h"

#include <algorithm>
#include <fstream>

#include "image/Cipher.h"
#include "image/CipherFiles.h"
#include "image/DeviceCatalogue.h"
#include "link/Crc16.h"
#include "link/Link.h"
#include "ops/DeviceSteps.h"
#include "ops/Discovery.h"
#include "ops/Runs.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest {

namespace {

constexpr uint32_t kEraseProgrammerTimeoutMs = 30000;
constexpr uint32_t kEraseProgrammerReplyLength = 6;
constexpr uint32_t kFirstFirmwareBlockTimeoutMs = 20000;
constexpr uint32_t kFirmwareBlockTimeoutMs = 10000;
constexpr uint32_t kFirmwareBlockLength = 260;
constexpr uint32_t kFirmwareBlockReplyLength = 266;

constexpr uint32_t kIapEraseLength = 30;
constexpr uint32_t kIapEraseTimeoutMs = 60000;
constexpr uint32_t kIapEraseReplyLength = 14;
constexpr uint32_t kIapBlockTimeoutMs = 10000;
constexpr uint32_t kIapBlockReplyLength = 8;
constexpr uint32_t kIapDoneLength = 2;
constexpr uint32_t kIapDoneTimeoutMs = 10000;
constexpr uint32_t kIapDoneReplyLength = 26;

constexpr uint32_t kSectorSumLength = 5;
constexpr uint32_t kSectorSumTimeoutMs = 20000;
constexpr uint32_t kSectorSumReplyLength = 8;

constexpr uint32_t kDataFlashTimeoutMs = 5000;
constexpr uint8_t kBlankPageFlag = 0xA8;
constexpr std::size_t kSettingsCrcOffset = 63;
constexpr int32_t kLastDeviceType = kDeviceCount - 1;

// i x 100 / n as a whole percentage; 0 when there is nothing to count.
int Percent(uint64_t i, uint64_t n) {
    if (n == 0) return 0;
    return static_cast<int>(std::min<uint64_t>(i * 100 / n, 100));
}

bool Send(Host& h, uint8_t code, uint32_t length, uint32_t timeoutMs, uint32_t replyLength) {
    return SendStep(h, code, length, timeoutMs, replyLength);
}

// A conversation the programmer started, or the loader transfer, is over: the controls
// return; the port stays as it is.
void Finish(Host& h) {
    End(h, {.port = PortAfter::KeepOpen});
}

// ---- firmware rewrite ----

// A rewrite ends with the port closed and only the COM list enabled: the programmer must be
// restarted before it takes operations.
void EndRewrite(Host& h) {
    End(h, {.controls = ControlsAfter::OnlyComList});
}

void SendFirmwareBlock(Host& h, uint32_t timeoutMs) {
    CommandFrame& f = h.link.Frame();
    const uint32_t offset = h.run.BlockOffset();
    std::copy_n(h.updateBuffer.begin() + offset, kFirmwareBlockSize, f.payload.begin());
    f.payload[256] = static_cast<uint8_t>(h.run.UpdateBlockNumber());
    f.payload[257] = static_cast<uint8_t>(h.run.UpdateBlockNumber() >> 8);
    h.run.AdvanceOffset(kFirmwareBlockSize);
    Send(h, CMD_PROGRAMMER_FW_BLOCK, kFirmwareBlockLength, timeoutMs, kFirmwareBlockReplyLength);
}

// ---- IAP transfer ----

void SendIapPage(Host& h) {
    const uint32_t pageSize = h.dev.FlashPageSize;
    const uint32_t offset = h.run.BlockOffset();
    if (pageSize == 0 || uint64_t{offset} + pageSize > kFlashBufferSize) {
        FailWord(h, "Failed");
        Finish(h);
        return;
    }
    // A page larger than a frame is refused by the link with its message.
    CommandFrame& f = h.link.Frame();
    if (pageSize <= kPayloadCapacity)
        std::copy_n(h.buf().flash.begin() + offset, pageSize, f.payload.begin());
    h.run.AdvanceBlock(Area::Flash, pageSize);
    h.ui.SetProgress(Percent(h.run.BlockIndex(Area::Flash), h.FlashPagesToWrite));
    Send(h, CMD_IAP_BLOCK, pageSize, kIapBlockTimeoutMs, kIapBlockReplyLength);
}

// ---- DataFlash download ----

bool PageFits(uint32_t offset, uint32_t pageSize, std::size_t capacity) {
    return pageSize != 0 && uint64_t{offset} + pageSize <= capacity;
}

// Builds and sends one DataFlash block: number, page, CRC of both, and for flash pages the
// blank flag.
void SendDataFlashBlock(Host& h, Area area) {
    const bool flash = area == Area::Flash;
    const uint32_t pageSize = flash ? h.dev.FlashPageSize : h.dev.BootPageSize;
    const uint8_t* image = flash ? h.buf().flash.data() : h.buf().boot.data();
    const std::size_t capacity = flash ? kFlashBufferSize : kBootBufferSize;
    const uint32_t length = pageSize + (flash ? 5 : 4);
    const uint8_t code = flash ? CMD_DATAFLASH_FLASH_BLOCK : CMD_DATAFLASH_BOOT_BLOCK;
    const uint32_t offset = h.run.BlockOffset();
    if (length > kPayloadCapacity) {
        // The link refuses the frame; the run ends with its message.
        Send(h, code, length, kDataFlashTimeoutMs, length + 6);
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
    Send(h, code, length, kDataFlashTimeoutMs, length + 6);
}

bool EchoesLastCommand(const Host& h, const ReplyFrame& reply) {
    const CommandFrame& f = h.link.Frame();
    return reply.length == f.length && f.length <= kPayloadCapacity &&
           std::equal(f.payload.begin(), f.payload.begin() + f.length, reply.payload.begin());
}

void DataFlashFailed(Host& h) {
    FailWord(h, "Failed");
    h.ui.SetProgress(0);
    Finish(h);
}

// The download ends with a reset of the programmer; its reply brings the controls back.
void EndDataFlashDownload(Host& h) {
    h.run.ResetBlockOffset();
    ResetProgrammer(h);
}

void StartBootDownload(Host& h) {
    h.run.EnterStage(Stage::DataFlashBoot);
    h.ui.AppendLog("Download Boot File to DataFlash......");
    h.run.ResetBlockOffset();
    h.ui.SetProgress(Percent(h.run.BlockIndex(Area::Boot), h.BootPagesToWrite));
    h.run.CountBlock(Area::Boot);
    SendDataFlashBlock(h, Area::Boot);
}

uint16_t Be16(const ReplyFrame& r, std::size_t at) {
    return static_cast<uint16_t>(r.payload[at] << 8 | r.payload[at + 1]);
}

}  // namespace

bool LoadUpdateFile(Host& h) {
    std::ifstream in(h.programDir + kUpdateFileDatName, std::ios::binary);
    std::fill(h.updateBuffer.begin(), h.updateBuffer.end(), 0xFF);
    h.updateLength = 0;
    bool fits = static_cast<bool>(in);
    if (fits) {
        // One byte past the buffer tells a file that is too long.
        in.read(reinterpret_cast<char*>(h.updateBuffer.data()),
                static_cast<std::streamsize>(h.updateBuffer.size()));
        const std::size_t got = static_cast<std::size_t>(in.gcount());
        char extra = 0;
        const bool longer = got == h.updateBuffer.size() && in.get(extra);
        fits = !in.bad() && !longer && got != 0 && got % kFirmwareBlockSize == 0;
        h.updateLength = fits ? static_cast<uint32_t>(got) : 0;
    }
    if (!fits) {
        std::fill(h.updateBuffer.begin(), h.updateBuffer.end(), 0xFF);
        return false;
    }
    CipherDecryptBytes(h.updateBuffer.data(), h.updateLength, kUpdateFileKey);
    return true;
}

void StartProgrammerUpdate(Host& h) {
    // Started by the identification of a maintenance programmer, the run is under way and the
    // programmer can do nothing else; from the menu it is a run of its own.
    const bool fromIdentify = h.run.Kind() == RunKind::FirmwareRewrite;
    if (!fromIdentify) BeginRun(h, RunKind::FirmwareRewrite, Stage::EraseProgrammer);
    h.ui.DisableOperationControls();
    if (!LoadUpdateFile(h)) {
        FailMessage(h, kOpenUpdateFileFailed, Verdict::Failed);
        End(h, {.controls = fromIdentify ? ControlsAfter::OnlyComList : ControlsAfter::Idle});
        return;
    }
    if (!h.serial().IsOpen() && !ConnectPort(h, h.portNumber)) return;
    h.ui.SetProgress(0);
    h.run.StartFirmwareBlocks(h.updateLength / kFirmwareBlockSize);
    h.ui.AppendLog("Erase Programmer......");
    Send(h, CMD_ERASE_PROGRAMMER, 0, kEraseProgrammerTimeoutMs, kEraseProgrammerReplyLength);
}

void OnProgrammerErased(Host& h, const ReplyFrame&) {
    h.run.EnterStage(Stage::FirmwareBlocks);
    h.run.StartFirmwareBlocks(h.run.UpdateBlockCount());
    h.ui.AppendLogRaw("OK");
    h.ui.AppendLog("Update Device Firmware......");
    SendFirmwareBlock(h, kFirstFirmwareBlockTimeoutMs);
}

void OnFirmwareBlockEchoed(Host& h, const ReplyFrame& reply) {
    h.run.FirmwareBlockEchoed();
    const uint32_t sent = h.run.BlockOffset() - kFirmwareBlockSize;
    const bool same = reply.length >= kFirmwareBlockSize &&
                      std::equal(reply.payload.begin(), reply.payload.begin() + kFirmwareBlockSize,
                                 h.updateBuffer.begin() + sent);
    if (!same) {
        h.link.Close();
        FailWord(h, "Failed");
        h.prompts().MessageBox(kUpdateFailed, MsgIcon::Error);
        h.ui.SetProgress(0);
        EndRewrite(h);
        return;
    }
    if (h.run.UpdateBlockNumber() < h.run.UpdateBlockCount()) {
        h.ui.SetProgress(Percent(h.run.UpdateBlockNumber(), h.run.UpdateBlockCount()));
        SendFirmwareBlock(h, kFirmwareBlockTimeoutMs);
        return;
    }
    h.ui.AppendLogRaw("OK");
    h.ui.SetProgress(100);
    EndRewrite(h);
}

void StartIapErase(Host& h) {
    h.run.Become(RunKind::LoaderTransfer, Stage::LoaderErase);
    h.ui.AppendLog("Enter Program Mode......OK");
    h.ui.AppendLog("Erase Device......");
    h.run.ResetSectorIndex();
    std::copy_n(h.buf().keyCode.begin(), kKeyCodeLength, h.link.Frame().payload.begin());
    if (Send(h, CMD_IAP_ERASE, kIapEraseLength, kIapEraseTimeoutMs, kIapEraseReplyLength))
        h.ui.SetProgress(0);
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
    h.ui.AppendLogRaw("OK");
    StartIapTransfer(h);
}

void StartIapTransfer(Host& h) {
    h.run.EnterStage(Stage::LoaderBlocks);
    h.ui.AppendLog("Start Update......");
    h.run.StartTransfer(Area::Flash);
    if (h.FlashPagesToWrite == 0) {
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
    if (h.run.BlockIndex(Area::Flash) < h.FlashPagesToWrite) {
        SendIapPage(h);
        return;
    }
    h.ui.AppendLogRaw("OK");
    SendIapDone(h);
}

void SendIapDone(Host& h) {
    if (!Send(h, CMD_IAP_DONE, kIapDoneLength, kIapDoneTimeoutMs, kIapDoneReplyLength)) return;
    // The done frame gets no reply: its time-out passes silently and ends the transfer. The
    // programmer leaves its loader, so the next Update must identify it anew.
    h.run.EnterStage(Stage::LoaderDone);
    h.programmerKind = 0;
}

void OnSectorSumRequest(Host& h, const ReplyFrame& reply) {
    // A request after the loader's done frame belongs to the loader run; one on its own is a
    // run of its own.
    if (!h.run.Active()) BeginRun(h, RunKind::SectorSums, Stage::SectorSums);
    h.run.EnterStage(Stage::SectorSums);
    if (reply.length < 1 || reply.payload[0] != 0) {
        FailWord(h, "Error");
        Finish(h);
        return;
    }
    h.run.NextSector();
    const uint8_t index = h.run.SectorIndex();
    const std::vector<uint32_t>& sectors = h.dev.SectorSizes;
    if (sectors.empty() || index >= sectors.size() - 1) {
        h.ui.AppendLogRaw("OK");
        Finish(h);
        return;
    }
    const uint32_t size = sectors[index];
    const uint32_t offset = h.run.BlockOffset();
    if (uint64_t{offset} + size > h.dev.FlashSize || uint64_t{offset} + size > kFlashBufferSize) {
        FailWord(h, "Error");
        Finish(h);
        return;
    }
    uint32_t sum = 0;
    for (uint32_t i = 0; i < size; ++i) sum += h.buf().flash[offset + i];
    h.run.AdvanceOffset(size);
    CommandFrame& f = h.link.Frame();
    f.payload[0] = index;
    f.payload[1] = static_cast<uint8_t>(sum >> 24);
    f.payload[2] = static_cast<uint8_t>(sum >> 16);
    f.payload[3] = static_cast<uint8_t>(sum >> 8);
    f.payload[4] = static_cast<uint8_t>(sum);
    Send(h, CMD_SECTOR_SUM, kSectorSumLength, kSectorSumTimeoutMs, kSectorSumReplyLength);
}

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
    h.ui.AppendLogRaw("OK");
    // The download holds the line until the reset's reply.
    h.ui.DisableOperationControls();
    // Every download numbers its blocks from 0.
    h.run.StartDataFlash();
    if (h.ui.Checked(id::ProgramFlash)) {
        h.ui.AppendLog("Download FLASH File to DataFlash......");
        h.ui.SetProgress(Percent(h.run.BlockIndex(Area::Flash), h.FlashPagesToWrite));
        h.run.CountBlock(Area::Flash);
        SendDataFlashBlock(h, Area::Flash);
    } else if (h.ui.Checked(id::ProgramBoot)) {
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
    if (h.run.BlockIndex(Area::Flash) < h.FlashPagesToWrite) {
        h.ui.SetProgress(Percent(h.run.BlockIndex(Area::Flash), h.FlashPagesToWrite));
        h.run.CountBlock(Area::Flash);
        SendDataFlashBlock(h, Area::Flash);
        return;
    }
    h.ui.AppendLogRaw("OK");
    h.ui.SetProgress(100);
    if (h.ui.Checked(id::ProgramBoot))
        StartBootDownload(h);
    else
        EndDataFlashDownload(h);
}

void OnDataFlashBootBlock(Host& h, const ReplyFrame& reply) {
    if (!EchoesLastCommand(h, reply)) {
        DataFlashFailed(h);
        return;
    }
    if (h.run.BlockIndex(Area::Boot) < h.BootPagesToWrite) {
        h.ui.SetProgress(Percent(h.run.BlockIndex(Area::Boot), h.BootPagesToWrite));
        h.run.CountBlock(Area::Boot);
        SendDataFlashBlock(h, Area::Boot);
        return;
    }
    h.ui.AppendLogRaw("OK");
    h.ui.SetProgress(100);
    EndDataFlashDownload(h);
}

void OnStoredSettingsReport(Host& h, const ReplyFrame& reply) {
    BeginRun(h, RunKind::SettingsReport, Stage::Settings);
    const uint8_t* p = reply.payload.data();
    bool sound = reply.length >= kSettingsReportLength &&
                 Crc16(p, kSettingsCrcOffset) == Be16(reply, kSettingsCrcOffset);
    const int32_t type = Be16(reply, 4);
    const uint32_t pageSize = Be16(reply, 6);
    const uint32_t pageCount = Be16(reply, 8);
    sound = sound && type <= kLastDeviceType &&
            !CheckPageGeometry(pageSize, pageCount, h.dev.BootPageSize, h.dev.BootPageCount);
    if (!sound) {
        FailWord(h, "Failed");
        End(h, {.port = PortAfter::KeepOpen});
        return;
    }
    h.DeviceType = type;
    DeviceNameFromType(h, type);
    const std::vector<std::string>& items = h.ui.Combo(id::McuList).items;
    const auto it = std::find(items.begin(), items.end(), h.mcuName);
    if (it != items.end()) h.ui.Select(id::McuList, static_cast<int>(it - items.begin()));
    SetPageGeometry(h, pageSize, pageCount, h.dev.BootPageSize, h.dev.BootPageCount);
    h.ui.SetCheck(id::ProgramKeyCode, p[17] != 0);
    h.ui.SetCheck(id::EraseChip, p[18] != 0);
    h.ui.SetCheck(id::ProgramFlash, p[19] != 0);
    h.ui.SetCheck(id::EnableProtect, p[20] != 0);
    h.ui.SetCheck(id::ProgramSn, p[22] != 0);
    End(h, {.controls = ControlsAfter::Unchanged, .port = PortAfter::KeepOpen});
}

void RegisterMaintenanceCommands(Host& h, CommandRouter& router) {
    router.Add(id::ReserveP, [&h] {
            StartProgrammerUpdate(h);
    });
}

}  // namespace lumacrest
