#include "link/OperationReplies.h"

#include <algorithm>

#include "image/Checksums.h"
#include "link/Link.h"
#include "link/ReplyEngine.h"
#include "ops/DeviceSteps.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest {

namespace {

constexpr uint32_t kFirstBlockTimeoutMs = 5000;
constexpr uint32_t kNextBlockTimeoutMs = 20000;
constexpr uint32_t kEndTimeoutMs = 5000;
constexpr uint32_t kBlockRequestTimeoutMs = 5000;
constexpr uint32_t kWriteReplyLength = 6;

// One image area (flash or boot) as the block transfers see it.
struct Area {
    uint8_t* image;
    uint8_t* readBack;
    std::size_t capacity;
    uint32_t pageSize;
    uint32_t& index;
    uint32_t pagesToWrite;
    uint32_t pageCount;
    uint32_t size;
    uint8_t writeBlock, writeEnd, readBlock, verifyBlock;
};

Area Flash(Host& h) {
    return {h.buf().flash.data(),  h.buf().flashReadBack.data(),
            kFlashBufferSize,      h.dev.FlashPageSize,
            h.flashBlockIndex,     h.FlashPagesToWrite,
            h.dev.FlashPageCount,  h.dev.FlashSize,
            CMD_WRITE_FLASH_BLOCK, CMD_WRITE_FLASH_END,
            CMD_READ_FLASH_BLOCK,  CMD_VERIFY_FLASH_BLOCK};
}

Area Boot(Host& h) {
    return {h.buf().boot.data(),  h.buf().bootReadBack.data(),
            kBootBufferSize,      h.dev.BootPageSize,
            h.bootBlockIndex,     h.BootPagesToWrite,
            h.dev.BootPageCount,  h.dev.BootSize,
            CMD_WRITE_BOOT_BLOCK, CMD_WRITE_BOOT_END,
            CMD_READ_BOOT_BLOCK,  CMD_VERIFY_BOOT_BLOCK};
}

bool PageInside(const Area& a, uint32_t offset) {
    return a.pageSize <= kMaxPageSize && uint64_t{offset} + a.pageSize <= a.capacity;
}

// Sends block `number` (the page at blockOffset) and advances offset and index.
bool SendWriteBlock(Host& h, Area& a, uint32_t timeoutMs) {
    if (!PageInside(a, h.blockOffset)) {
        EndRunQuietly(h);
        return false;
    }
    CommandFrame& f = h.commandFrame;
    f.payload[0] = static_cast<uint8_t>(a.index >> 8);
    f.payload[1] = static_cast<uint8_t>(a.index);
    std::copy_n(a.image + h.blockOffset, a.pageSize, f.payload.begin() + 2);
    h.blockOffset += a.pageSize;
    ++a.index;
    return SendStep(h, a.writeBlock, a.pageSize + 2, timeoutMs, kWriteReplyLength);
}

void SendBlockRequest(Host& h, const Area& a, uint8_t code, uint32_t number) {
    CommandFrame& f = h.commandFrame;
    f.payload[0] = static_cast<uint8_t>(number >> 8);
    f.payload[1] = static_cast<uint8_t>(number);
    SendStep(h, code, 2, kBlockRequestTimeoutMs, a.pageSize + 8);
}

void BeginWrite(Host& h, Area a, const char* line) {
    h.blockOffset = 0;
    a.index = 0;
    h.ui.AppendLog(line);
    SendWriteBlock(h, a, kFirstBlockTimeoutMs);  // the first block is always sent
}

bool Blank(const uint8_t* page, uint32_t size) {
    return std::all_of(page, page + size, [](uint8_t b) { return b == 0xFF; });
}

// The next block that is not blank goes out; blank ones are passed over, the progress
// following every index. When the blocks run out the end frame goes out.
void ContinueWrite(Host& h, Area a) {
    while (a.index < a.pagesToWrite) {
        if (!PageInside(a, h.blockOffset)) break;
        if (!Blank(a.image + h.blockOffset, a.pageSize)) {
            SetBlockProgress(h, a.index + 1, a.pagesToWrite);
            SendWriteBlock(h, a, kNextBlockTimeoutMs);
            return;
        }
        h.blockOffset += a.pageSize;
        ++a.index;
        SetBlockProgress(h, a.index, a.pagesToWrite);
    }
    SendStep(h, a.writeEnd, 0, kEndTimeoutMs, kWriteReplyLength);
}

void BeginRead(Host& h, Area a, uint8_t code, const char* line) {
    h.blockOffset = 0;
    a.index = 0;
    h.ui.AppendLog(line);
    SendBlockRequest(h, a, code, 0);
    h.ui.SetProgress(0);
}

// A block reply carries the block number and one page; a shorter one cannot be taken.
bool CarriesPage(const Area& a, const ReplyFrame& reply) {
    return PageInside(a, 0) && reply.length >= a.pageSize + 2;
}

void BlockRead(Host& h, Area a, const ReplyFrame& reply) {
    ++a.index;
    if (!CarriesPage(a, reply) || !PageInside(a, h.blockOffset)) {
        h.ui.AppendLogRaw("Failed");
        ExitWith(h, 0);
        return;
    }
    std::copy_n(reply.payload.begin() + 2, a.pageSize, a.readBack + h.blockOffset);
    h.blockOffset += a.pageSize;
    if (a.index < a.pageCount) {
        SendBlockRequest(h, a, a.readBlock, a.index);
        SetBlockProgress(h, a.index, a.pageCount);
        return;
    }
    h.ui.AppendLogRaw("OK");
    h.ui.SetProgress(100);
    std::copy_n(a.readBack, std::min<std::size_t>(a.size, a.capacity), a.image);
    ShowChecksums(h);
    ExitWith(h, 1);
}

// Compares one verify block with the image at the running offset. False (the run has been
// ended) on a difference.
bool BlockMatches(Host& h, Area a, const ReplyFrame& reply) {
    ++a.index;
    bool equal = CarriesPage(a, reply) && PageInside(a, h.blockOffset);
    if (equal) {
        for (uint32_t i = 0; i < a.pageSize; ++i) {
            const uint8_t got = reply.payload[2 + i];
            a.readBack[h.blockOffset + i] = got;
            if (got != a.image[h.blockOffset + i]) {
                equal = false;
                break;
            }
        }
    }
    if (!equal) {
        h.ui.AppendLogRaw("Failed");
        Rollback(h);
        ExitWith(h, 0);
        return false;
    }
    h.blockOffset += a.pageSize;
    return true;
}

// After the last verify block: true when the verify is complete, false when the next block
// request went out.
bool VerifyComplete(Host& h, Area a) {
    if (a.index < a.pagesToWrite) {
        SendBlockRequest(h, a, a.verifyBlock, a.index);
        SetBlockProgress(h, a.index, a.pagesToWrite);
        return false;
    }
    h.ui.SetProgress(100);
    h.ui.AppendLogRaw("OK");
    return true;
}

void AfterWriteEnded(Host& h, void (*startVerify)(Host&)) {
    h.ui.SetProgress(100);
    h.ui.AppendLogRaw("OK");
    if (h.autoSequence || h.verifyAfterWrite) {
        startVerify(h);
        h.verifyAfterWrite = 0;
    } else {
        ExitWith(h, 1);
    }
}

bool Ticked(const Host& h, int id) {
    return h.ui.Checked(id);
}

}  // namespace

void ExitWith(Host& h, uint8_t result) {
    h.resultPass = result;
    ExitProgramMode(h);
}

void SetBlockProgress(Host& h, uint32_t i, uint32_t n) {
    h.ui.SetProgress(n == 0 ? 100 : static_cast<int>(uint64_t{i} * 100 / n));
}

void AfterErase(Host& h) {
    if (Ticked(h, id::ProgramBoot))
        StartWriteBoot(h);
    else
        AfterBoot(h);
}

void AfterBoot(Host& h) {
    if (Ticked(h, id::ProgramFlash))
        StartWriteFlash(h);
    else
        AfterFlash(h);
}

void AfterFlash(Host& h) {
    if (Ticked(h, id::ProgramKeyCode))
        KeyCodeRule(h);
    else
        FinishRule(h);
}

void KeyCodeRule(Host& h) {
    if (!h.keyCodeEnabled) {
        StartWriteKeyCode(h);
        return;
    }
    h.ui.AppendLog(kKeyCodeLockedLine);
    if (Ticked(h, id::EnableProtect))
        EndRunQuietly(h);
    else
        ExitWith(h, 0);
}

void FinishRule(Host& h) {
    // Under Enable Protect the programmer stays in program mode; the host is done.
    if (Ticked(h, id::EnableProtect))
        EndRunQuietly(h);
    else
        ExitWith(h, 1);
}

void OnProgramModeReply(Host& h, const ReplyFrame& reply) {
    h.ui.AppendLogRaw("OK");
    const uint8_t b0 = reply.payload[0], b1 = reply.payload[1], adapter = reply.payload[2];
    if (b0 == 0x00 && b1 == 0xFF) {
        h.ui.AppendLog(kKeyCodeVerifyFailedLine);
        Rollback(h);
        ExitWith(h, 0);
        return;
    }
    if ((b0 == 0xA5 && b1 == 0x5A) || adapter != h.dev.DeviceByte3) {
        h.ui.AppendLog(kAdapterErrorLine);
        Rollback(h);
        ExitWith(h, 0);
        return;
    }
    if (b0 == 0x55 && b1 == 0x55) {
        h.ui.AppendLog(kKeyCodePassLine);
        h.keyCodeEnabled = 1;
    } else if (b0 == 0xAA && b1 == 0xAA) {
        h.ui.AppendLog(kKeyCodeNotEnabledLine);
        h.keyCodeEnabled = 0;
    }
    if (!h.autoSequence) {
        ResumePendingOperation(h);
    } else if (Ticked(h, id::EraseChip)) {
        StartChipErase(h);
    } else if (Ticked(h, id::ProgramBoot)) {
        StartWriteBoot(h);
    } else if (Ticked(h, id::ProgramFlash)) {
        StartWriteFlash(h);
    } else if (Ticked(h, id::ProgramKeyCode)) {
        KeyCodeRule(h);
    } else {
        ExitWith(h, 1);
    }
}

void OnChipEraseReply(Host& h, const ReplyFrame& reply) {
    if (reply.payload[0] != 1) {
        h.ui.AppendLogRaw("Failed");
        ExitWith(h, 0);
        return;
    }
    h.ui.AppendLogRaw("OK");
    if (h.autoSequence)
        AfterErase(h);
    else
        ExitWith(h, 1);
}

void OnKeyCodeWritten(Host& h, const ReplyFrame&) {
    h.ui.AppendLogRaw("OK");
    StartCheckKeyCode(h);
}

void OnKeyCodeChecked(Host& h, const ReplyFrame& reply) {
    const uint8_t b0 = reply.payload[0], b1 = reply.payload[1];
    if (b0 == 0x55 && b1 == 0x55) {
        h.ui.AppendLogRaw("Pass");
        h.resultPass = 1;
    } else if (b0 == 0xAA && b1 == 0xAA) {
        h.ui.AppendLogRaw("Failed.");
        h.resultPass = 0;
    } else {
        // Unequal bytes, or equal ones that mean neither pass nor fail: a fault of the check.
        h.ui.AppendLogRaw("Failed");
        Rollback(h);
        ExitWith(h, 0);
        return;
    }
    if (h.autoSequence && Ticked(h, id::EnableProtect))
        EndRunQuietly(h);
    else
        ExitWith(h, h.resultPass);
}

void OnExitReply(Host& h, const ReplyFrame&) {
    h.ui.AppendLogRaw("OK");
    ClosePort(h);
    Idle(h);
}

void OnResetReply(Host& h, const ReplyFrame&) {
    h.ui.AppendLogRaw("OK");
    ClosePort(h);
    // The reset ends a DataFlash download: the controls come back with its reply.
    Idle(h);
}

void OnWriteFlashBegun(Host& h, const ReplyFrame&) {
    BeginWrite(h, Flash(h), kWriteFlashLine);
}
void OnFlashBlockWritten(Host& h, const ReplyFrame&) {
    ContinueWrite(h, Flash(h));
}
void OnFlashWriteEnded(Host& h, const ReplyFrame&) {
    AfterWriteEnded(h, &StartVerifyFlash);
}

void OnReadFlashBegun(Host& h, const ReplyFrame&) {
    BeginRead(h, Flash(h), CMD_READ_FLASH_BLOCK, kReadFlashLine);
}
void OnFlashBlockRead(Host& h, const ReplyFrame& reply) {
    BlockRead(h, Flash(h), reply);
}

void OnVerifyFlashBegun(Host& h, const ReplyFrame&) {
    BeginRead(h, Flash(h), CMD_VERIFY_FLASH_BLOCK, kVerifyFlashLine);
}

void OnFlashBlockVerify(Host& h, const ReplyFrame& reply) {
    if (!BlockMatches(h, Flash(h), reply) || !VerifyComplete(h, Flash(h))) return;
    if (h.autoSequence)
        AfterFlash(h);
    else
        ExitWith(h, 1);
}

void OnWriteBootBegun(Host& h, const ReplyFrame&) {
    BeginWrite(h, Boot(h), kWriteBootLine);
}
void OnBootBlockWritten(Host& h, const ReplyFrame&) {
    ContinueWrite(h, Boot(h));
}
void OnBootWriteEnded(Host& h, const ReplyFrame&) {
    AfterWriteEnded(h, &StartVerifyBoot);
}

void OnReadBootBegun(Host& h, const ReplyFrame&) {
    // The same line as for the flash.
    BeginRead(h, Boot(h), CMD_READ_BOOT_BLOCK, kReadFlashLine);
}
void OnBootBlockRead(Host& h, const ReplyFrame& reply) {
    BlockRead(h, Boot(h), reply);
}

void OnVerifyBootBegun(Host& h, const ReplyFrame&) {
    BeginRead(h, Boot(h), CMD_VERIFY_BOOT_BLOCK, kVerifyBootLine);
}

void OnBootBlockVerify(Host& h, const ReplyFrame& reply) {
    if (!BlockMatches(h, Boot(h), reply) || !VerifyComplete(h, Boot(h))) return;
    if (h.autoSequence) {
        h.timers().DelayMicroseconds(kBootSettleMicroseconds);
        AfterBoot(h);
    } else {
        ExitWith(h, 1);
    }
}

}  // namespace lumacrest
