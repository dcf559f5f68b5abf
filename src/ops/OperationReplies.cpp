#include "ops/OperationReplies.h"

#include <algorithm>

#include "image/Checksums.h"
#include "ops/Runs.h"
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
struct AreaView {
    Area area;
    uint8_t* image;
    uint8_t* readBack;
    std::size_t capacity;
    uint32_t pageSize;
    uint32_t pagesToWrite;
    uint32_t pageCount;
    uint32_t size;
    uint8_t writeBlock, writeEnd, readBlock, verifyBlock;
};

AreaView Flash(Host& h) {
    return {Area::Flash,          h.target.buf().flash.data(),
            h.target.buf().flashReadBack.data(), kFlashBufferSize,
            h.target.dev.FlashPageSize,  h.target.FlashPagesToWrite,
            h.target.dev.FlashPageCount, h.target.dev.FlashSize,
            CMD_WRITE_FLASH_BLOCK, CMD_WRITE_FLASH_END,
            CMD_READ_FLASH_BLOCK, CMD_VERIFY_FLASH_BLOCK};
}

AreaView Boot(Host& h) {
    return {Area::Boot,          h.target.buf().boot.data(),
            h.target.buf().bootReadBack.data(), kBootBufferSize,
            h.target.dev.BootPageSize,  h.target.BootPagesToWrite,
            h.target.dev.BootPageCount, h.target.dev.BootSize,
            CMD_WRITE_BOOT_BLOCK, CMD_WRITE_BOOT_END,
            CMD_READ_BOOT_BLOCK, CMD_VERIFY_BOOT_BLOCK};
}

bool PageInside(const AreaView& a, uint32_t offset) {
    return a.pageSize <= kMaxPageSize && uint64_t{offset} + a.pageSize <= a.capacity;
}

uint32_t Index(const Host& h, const AreaView& a) {
    return h.run.BlockIndex(a.area);
}

// A page that lies outside its buffer is never sent or filled: the run ends there.
void PageOutside(Host& h) {
    FailWord(h, "Failed");
    ExitWith(h, 0);
}

// Sends the page at the block offset as the block with the area's counter as its number, and
// advances both.
void SendWriteBlock(Host& h, const AreaView& a, uint32_t timeoutMs) {
    const uint32_t offset = h.run.BlockOffset();
    if (!PageInside(a, offset)) {
        PageOutside(h);
        return;
    }
    CommandFrame& f = h.link.Frame();
    f.payload[0] = static_cast<uint8_t>(Index(h, a) >> 8);
    f.payload[1] = static_cast<uint8_t>(Index(h, a));
    std::copy_n(a.image + offset, a.pageSize, f.payload.begin() + 2);
    h.run.AdvanceBlock(a.area, a.pageSize);
    SendStep(h, a.writeBlock, a.pageSize + 2, timeoutMs, kWriteReplyLength);
}

void SendBlockRequest(Host& h, const AreaView& a, uint8_t code, uint32_t number) {
    CommandFrame& f = h.link.Frame();
    f.payload[0] = static_cast<uint8_t>(number >> 8);
    f.payload[1] = static_cast<uint8_t>(number);
    SendStep(h, code, 2, kBlockRequestTimeoutMs, a.pageSize + 8);
}

void BeginWrite(Host& h, const AreaView& a, const char* line) {
    h.run.StartTransfer(a.area);
    h.view().AppendLog(line);
    SendWriteBlock(h, a, kFirstBlockTimeoutMs);  // the first block is always sent
}

bool Blank(const uint8_t* page, uint32_t size) {
    return std::all_of(page, page + size, [](uint8_t b) { return b == 0xFF; });
}

// The next block that is not blank goes out; blank ones are passed over, the progress
// following every index. When the blocks run out the end frame goes out.
void ContinueWrite(Host& h, const AreaView& a) {
    while (Index(h, a) < a.pagesToWrite) {
        const uint32_t offset = h.run.BlockOffset();
        if (!PageInside(a, offset)) break;
        if (!Blank(a.image + offset, a.pageSize)) {
            SetBlockProgress(h, Index(h, a) + 1, a.pagesToWrite);
            SendWriteBlock(h, a, kNextBlockTimeoutMs);
            return;
        }
        h.run.AdvanceBlock(a.area, a.pageSize);
        SetBlockProgress(h, Index(h, a), a.pagesToWrite);
    }
    SendStep(h, a.writeEnd, 0, kEndTimeoutMs, kWriteReplyLength);
}

void BeginRead(Host& h, const AreaView& a, uint8_t code, const char* line) {
    h.run.StartTransfer(a.area);
    h.view().AppendLog(line);
    SendBlockRequest(h, a, code, 0);
    h.view().SetProgress(0);
}

void BlockRead(Host& h, const AreaView& a, const ReplyFrame& reply) {
    h.run.CountBlock(a.area);
    const uint32_t offset = h.run.BlockOffset();
    if (!PageInside(a, offset)) {
        PageOutside(h);
        return;
    }
    // An answer carries the block number and one page: the link takes no shorter one.
    std::copy_n(reply.payload.begin() + 2, a.pageSize, a.readBack + offset);
    h.run.AdvanceOffset(a.pageSize);
    if (Index(h, a) < a.pageCount) {
        SendBlockRequest(h, a, a.readBlock, Index(h, a));
        SetBlockProgress(h, Index(h, a), a.pageCount);
        return;
    }
    h.view().AppendLogRaw("OK");
    h.view().SetProgress(100);
    std::copy_n(a.readBack, std::min<std::size_t>(a.size, a.capacity), a.image);
    ShowChecksums(h.view(), h.target);
    ExitWith(h, 1);
}

// Compares one verify block with the image at the running offset. False (the run goes to its
// exit) on a difference.
bool BlockMatches(Host& h, const AreaView& a, const ReplyFrame& reply) {
    h.run.CountBlock(a.area);
    const uint32_t offset = h.run.BlockOffset();
    bool equal = PageInside(a, offset);
    if (equal) {
        for (uint32_t i = 0; i < a.pageSize; ++i) {
            const uint8_t got = reply.payload[2 + i];
            a.readBack[offset + i] = got;
            if (got != a.image[offset + i]) {
                equal = false;
                break;
            }
        }
    }
    if (!equal) {
        FailWord(h, "Failed");
        GiveSerialNumberBack(h);
        ExitWith(h, 0);
        return false;
    }
    h.run.AdvanceOffset(a.pageSize);
    return true;
}

// After the last verify block: true when the verify is complete, false when the next block
// request went out.
bool VerifyComplete(Host& h, const AreaView& a) {
    if (Index(h, a) < a.pagesToWrite) {
        SendBlockRequest(h, a, a.verifyBlock, Index(h, a));
        SetBlockProgress(h, Index(h, a), a.pagesToWrite);
        return false;
    }
    h.view().SetProgress(100);
    h.view().AppendLogRaw("OK");
    return true;
}

void AfterWriteEnded(Host& h, void (*startVerify)(Host&)) {
    h.view().SetProgress(100);
    h.view().AppendLogRaw("OK");
    if (h.run.AutoSequence() || h.run.VerifyAfterWrite()) {
        startVerify(h);
        h.run.RequestVerifyAfterWrite(false);
    } else {
        ExitWith(h, 1);
    }
}

// Under Enable Protect the programmer stays in program mode: the host sends nothing more and
// the run ends with what it has come to.
void StopUnderProtect(Host& h) {
    End(h);
}

}  // namespace

void ExitWith(Host& h, uint8_t result) {
    // A fail result always has its reason: the line the run stopped at.
    if (result == 0) h.run.Fail(Verdict::Failed, h.view().CurrentLine());
    h.run.SetResultPass(result);
    ExitProgramMode(h);
}

void SetBlockProgress(Host& h, uint32_t i, uint32_t n) {
    h.view().SetProgress(n == 0 ? 100 : static_cast<int>(uint64_t{i} * 100 / n));
}

void AfterErase(Host& h) {
    if (h.run.Options().programBoot)
        StartWriteBoot(h);
    else
        AfterBoot(h);
}

void AfterBoot(Host& h) {
    if (h.run.Options().programFlash)
        StartWriteFlash(h);
    else
        AfterFlash(h);
}

void AfterFlash(Host& h) {
    if (h.run.Options().programKeyCode)
        KeyCodeRule(h);
    else
        FinishRule(h);
}

void KeyCodeRule(Host& h) {
    if (!h.run.KeyCodeEnabled()) {
        StartWriteKeyCode(h);
        return;
    }
    h.run.EnterStage(Stage::WriteKeyCode);
    FailLine(h, kKeyCodeLockedLine);
    if (h.run.Options().enableProtect)
        StopUnderProtect(h);
    else
        ExitWith(h, 0);
}

void FinishRule(Host& h) {
    if (h.run.Options().enableProtect)
        StopUnderProtect(h);
    else
        ExitWith(h, 1);
}

void OnProgramModeReply(Host& h, const ReplyFrame& reply) {
    h.view().AppendLogRaw("OK");
    const uint8_t b0 = reply.payload[0], b1 = reply.payload[1], adapter = reply.payload[2];
    if (b0 == 0x00 && b1 == 0xFF) {
        FailLine(h, kKeyCodeVerifyFailedLine);
        GiveSerialNumberBack(h);
        ExitWith(h, 0);
        return;
    }
    if ((b0 == 0xA5 && b1 == 0x5A) || adapter != h.target.dev.DeviceByte3) {
        FailLine(h, kAdapterErrorLine);
        GiveSerialNumberBack(h);
        ExitWith(h, 0);
        return;
    }
    if (b0 == 0x55 && b1 == 0x55) {
        h.view().AppendLog(kKeyCodePassLine);
        h.run.SetKeyCodeEnabled(true);
    } else if (b0 == 0xAA && b1 == 0xAA) {
        h.view().AppendLog(kKeyCodeNotEnabledLine);
        h.run.SetKeyCodeEnabled(false);
    }
    if (!h.run.AutoSequence()) {
        ResumePendingOperation(h);
    } else if (h.run.Options().eraseChip) {
        StartChipErase(h);
    } else if (h.run.Options().programBoot) {
        StartWriteBoot(h);
    } else if (h.run.Options().programFlash) {
        StartWriteFlash(h);
    } else if (h.run.Options().programKeyCode) {
        KeyCodeRule(h);
    } else {
        ExitWith(h, 1);
    }
}

void OnChipEraseReply(Host& h, const ReplyFrame& reply) {
    if (reply.payload[0] != 1) {
        FailWord(h, "Failed");
        ExitWith(h, 0);
        return;
    }
    h.view().AppendLogRaw("OK");
    if (h.run.AutoSequence())
        AfterErase(h);
    else
        ExitWith(h, 1);
}

void OnKeyCodeWritten(Host& h, const ReplyFrame&) {
    h.view().AppendLogRaw("OK");
    StartCheckKeyCode(h);
}

void OnKeyCodeChecked(Host& h, const ReplyFrame& reply) {
    const uint8_t b0 = reply.payload[0], b1 = reply.payload[1];
    if (b0 == 0x55 && b1 == 0x55) {
        h.view().AppendLogRaw("Pass");
        h.run.SetResultPass(1);
    } else if (b0 == 0xAA && b1 == 0xAA) {
        FailWord(h, "Failed.");
        h.run.SetResultPass(0);
    } else {
        // Unequal bytes, or equal ones that mean neither pass nor fail: a fault of the check.
        FailWord(h, "Failed");
        GiveSerialNumberBack(h);
        ExitWith(h, 0);
        return;
    }
    if (h.run.AutoSequence() && h.run.Options().enableProtect)
        StopUnderProtect(h);
    else
        ExitWith(h, h.run.ResultPass());
}

void OnExitReply(Host& h, const ReplyFrame&) {
    h.view().AppendLogRaw("OK");
    End(h);
}

void OnResetReply(Host& h, const ReplyFrame&) {
    h.view().AppendLogRaw("OK");
    // The reset ends a DataFlash download: the controls come back with its reply.
    End(h);
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
    if (h.run.AutoSequence())
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
    if (h.run.AutoSequence()) {
        // The sequence goes on from a timer: nothing else of it runs during the pause.
        h.run.EnterStage(Stage::BootSettle);
        h.timers().Start(kBootSettleTimerId, kBootSettleMs);
    } else {
        ExitWith(h, 1);
    }
}

}  // namespace lumacrest
