#include "ops/OperationReplies.h"

#include <algorithm>
#include <cstdio>

#include "image/Checksums.h"
#include "ops/Codec.h"
#include "ops/Runs.h"
#include "ops/DeviceSteps.h"
#include "ops/Progress.h"

namespace lumacrest {

namespace {

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

AreaView Flash(Ops& ops) {
    return {Area::Flash,          ops.target.buf().flash.data(),
            ops.target.buf().flashReadBack.data(), kFlashBufferSize,
            ops.target.dev.FlashPageSize,  ops.target.FlashPagesToWrite,
            ops.target.dev.FlashPageCount, ops.target.dev.FlashSize,
            CMD_WRITE_FLASH_BLOCK, CMD_WRITE_FLASH_END,
            CMD_READ_FLASH_BLOCK, CMD_VERIFY_FLASH_BLOCK};
}

AreaView Boot(Ops& ops) {
    return {Area::Boot,          ops.target.buf().boot.data(),
            ops.target.buf().bootReadBack.data(), kBootBufferSize,
            ops.target.dev.BootPageSize,  ops.target.BootPagesToWrite,
            ops.target.dev.BootPageCount, ops.target.dev.BootSize,
            CMD_WRITE_BOOT_BLOCK, CMD_WRITE_BOOT_END,
            CMD_READ_BOOT_BLOCK, CMD_VERIFY_BOOT_BLOCK};
}

bool PageInside(const AreaView& a, uint32_t offset) {
    return a.pageSize <= MaxPageSize() && uint64_t{offset} + a.pageSize <= a.capacity;
}

uint32_t Index(const Ops& ops, const AreaView& a) {
    return ops.run.BlockIndex(a.area);
}

std::string Hex2(uint8_t a, uint8_t b) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X %02X", a, b);
    return text;
}

// A page that lies outside its buffer is never sent or filled: the run ends there.
void PageOutside(Ops& ops, const AreaView& a, uint32_t offset) {
    ops.view.AppendLogRaw("Failed");
    ExitWith(ops, Conclusion::Fail(Verdict::Failed,
                                   std::string(a.area == Area::Flash ? "flash" : "boot") + " block " +
                                       std::to_string(Index(ops, a)) + " at offset " +
                                       std::to_string(offset) + " lies outside the buffer"));
}

// Sends the page at the block offset as the block with the area's counter as its number, and
// advances both. The first block of a transfer has its own time-out.
void SendWriteBlock(Ops& ops, const AreaView& a, bool first) {
    const uint32_t offset = ops.run.BlockOffset();
    if (!PageInside(a, offset)) {
        PageOutside(ops, a, offset);
        return;
    }
    const Outgoing out = EncodeWriteBlock(ops.link.Frame(), a.writeBlock,
                                          static_cast<uint16_t>(Index(ops, a)), a.image + offset,
                                          a.pageSize, first);
    ops.run.AdvanceBlock(a.area, a.pageSize);
    SendStep(ops, out);
}

void SendBlockRequest(Ops& ops, const AreaView& a, uint8_t code, uint32_t number) {
    SendStep(ops, EncodeBlockRequest(ops.link.Frame(), code, static_cast<uint16_t>(number),
                                     a.pageSize));
}

void BeginWrite(Ops& ops, const AreaView& a, const char* line) {
    ops.run.StartTransfer(a.area);
    ops.view.AppendLog(line);
    SendWriteBlock(ops, a, true);  // the first block is always sent
}

bool Blank(const uint8_t* page, uint32_t size) {
    return std::all_of(page, page + size, [](uint8_t b) { return b == 0xFF; });
}

// The next block that is not blank goes out; blank ones are passed over, the progress
// following every index. When the blocks run out the end frame goes out.
void ContinueWrite(Ops& ops, const AreaView& a) {
    while (Index(ops, a) < a.pagesToWrite) {
        const uint32_t offset = ops.run.BlockOffset();
        if (!PageInside(a, offset)) break;
        if (!Blank(a.image + offset, a.pageSize)) {
            SetBlockProgress(ops, Index(ops, a) + 1, a.pagesToWrite);
            SendWriteBlock(ops, a, false);
            return;
        }
        ops.run.AdvanceBlock(a.area, a.pageSize);
        SetBlockProgress(ops, Index(ops, a), a.pagesToWrite);
    }
    SendStep(ops, EncodeTransferEnd(ops.link.Frame(), a.writeEnd));
}

void BeginRead(Ops& ops, const AreaView& a, uint8_t code, const char* line) {
    ops.run.StartTransfer(a.area);
    ops.view.AppendLog(line);
    SendBlockRequest(ops, a, code, 0);
    ops.view.SetProgress(0);
}

void BlockRead(Ops& ops, const AreaView& a, const ReplyFrame& reply) {
    ops.run.CountBlock(a.area);
    const uint32_t offset = ops.run.BlockOffset();
    if (!PageInside(a, offset)) {
        PageOutside(ops, a, offset);
        return;
    }
    // An answer carries the block number and one page: the link takes no shorter one.
    std::copy_n(DecodeBlockReply(reply).page, a.pageSize, a.readBack + offset);
    ops.run.AdvanceOffset(a.pageSize);
    if (Index(ops, a) < a.pageCount) {
        SendBlockRequest(ops, a, a.readBlock, Index(ops, a));
        SetBlockProgress(ops, Index(ops, a), a.pageCount);
        return;
    }
    ops.view.AppendLogRaw("OK");
    ops.view.SetProgress(100);
    std::copy_n(a.readBack, std::min<std::size_t>(a.size, a.capacity), a.image);
    // What was read back is the image now, as a loaded one.
    (a.area == Area::Flash ? ops.target.loaded.flash : ops.target.loaded.boot) = true;
    ShowChecksums(ops.view, ops.target);
    ExitWith(ops, Conclusion::Pass());
}

// Compares one verify block with the image at the running offset. False (the run goes to its
// exit) on a difference.
bool BlockMatches(Ops& ops, const AreaView& a, const ReplyFrame& reply) {
    ops.run.CountBlock(a.area);
    const uint32_t offset = ops.run.BlockOffset();
    if (!PageInside(a, offset)) {
        PageOutside(ops, a, offset);
        return false;
    }
    const uint8_t* page = DecodeBlockReply(reply).page;
    for (uint32_t i = 0; i < a.pageSize; ++i) {
        const uint8_t got = page[i];
        a.readBack[offset + i] = got;
        if (got == a.image[offset + i]) continue;
        ops.view.AppendLogRaw("Failed");
        char words[128];
        std::snprintf(words, sizeof words,
                      "the chip differs from the image in block %u: 0x%02X at offset 0x%X, the "
                      "image holds 0x%02X",
                      static_cast<unsigned>(Index(ops, a) - 1), got,
                      static_cast<unsigned>(offset + i), a.image[offset + i]);
        ExitWith(ops, Conclusion::Fail(Verdict::Failed, words));
        return false;
    }
    ops.run.AdvanceOffset(a.pageSize);
    return true;
}

// After the last verify block: true when the verify is complete, false when the next block
// request went out.
bool VerifyComplete(Ops& ops, const AreaView& a) {
    if (Index(ops, a) < a.pagesToWrite) {
        SendBlockRequest(ops, a, a.verifyBlock, Index(ops, a));
        SetBlockProgress(ops, Index(ops, a), a.pagesToWrite);
        return false;
    }
    ops.view.SetProgress(100);
    ops.view.AppendLogRaw("OK");
    return true;
}

void AfterWriteEnded(Ops& ops, void (*startVerify)(Ops&)) {
    ops.view.SetProgress(100);
    ops.view.AppendLogRaw("OK");
    if (ops.run.AutoSequence() || ops.run.VerifyAfterWrite()) {
        startVerify(ops);
        ops.run.RequestVerifyAfterWrite(false);
    } else {
        ExitWith(ops, Conclusion::Pass());
    }
}

// Under Enable Protect the programmer stays in program mode: the host sends nothing more and
// the run ends with what it has come to.
void StopUnderProtect(Ops& ops, const Conclusion& conclusion) {
    End(ops, conclusion);
}

}  // namespace

void ExitWith(Ops& ops, const Conclusion& conclusion) {
    ExitProgramMode(ops, conclusion);
}

void SetBlockProgress(Ops& ops, uint32_t i, uint32_t n) {
    ops.view.SetProgress(Percent(i, n));
}

void AfterErase(Ops& ops) {
    if (ops.run.Options().programBoot)
        StartWriteBoot(ops);
    else
        AfterBoot(ops);
}

void AfterBoot(Ops& ops) {
    if (ops.run.Options().programFlash)
        StartWriteFlash(ops);
    else
        AfterFlash(ops);
}

void AfterFlash(Ops& ops) {
    if (ops.run.Options().programKeyCode)
        KeyCodeRule(ops);
    else
        FinishRule(ops);
}

void KeyCodeRule(Ops& ops) {
    if (!ops.programmer.keyCodeEnabled) {
        StartWriteKeyCode(ops);
        return;
    }
    ops.run.EnterStage(Stage::WriteKeyCode);
    ops.view.AppendLog(kKeyCodeLockedLine);
    const Conclusion locked = Conclusion::Fail(
        Verdict::Declined, "the chip's KeyCode is enabled: it cannot be rewritten");
    if (ops.run.Options().enableProtect)
        StopUnderProtect(ops, locked);
    else
        ExitWith(ops, locked);
}

void FinishRule(Ops& ops) {
    if (ops.run.Options().enableProtect)
        StopUnderProtect(ops, Conclusion::Pass());
    else
        ExitWith(ops, Conclusion::Pass());
}

void OnProgramModeReply(Ops& ops, const ReplyFrame& reply) {
    ops.view.AppendLogRaw("OK");
    const ProgramModeReply r = DecodeProgramModeReply(reply);
    const uint8_t b0 = r.state.first, b1 = r.state.second, adapter = r.adapterId;
    if (b0 == 0x00 && b1 == 0xFF) {
        ops.view.AppendLog(kKeyCodeVerifyFailedLine);
        ExitWith(ops, Conclusion::Fail(Verdict::Failed,
                                       "the chip's KeyCode does not match (program-mode reply 00 FF)"));
        return;
    }
    if ((b0 == 0xA5 && b1 == 0x5A) || adapter != ops.target.dev.DeviceByte3) {
        ops.view.AppendLog(kAdapterErrorLine);
        char words[128];
        std::snprintf(words, sizeof words,
                      "adapter error: the program-mode reply says %s, adapter 0x%02X (the device "
                      "wants 0x%02X)",
                      Hex2(b0, b1).c_str(), adapter, ops.target.dev.DeviceByte3);
        ExitWith(ops, Conclusion::Fail(Verdict::Failed, words));
        return;
    }
    if (b0 == 0x55 && b1 == 0x55) {
        ops.view.AppendLog(kKeyCodePassLine);
        ops.programmer.keyCodeEnabled = true;
    } else if (b0 == 0xAA && b1 == 0xAA) {
        ops.view.AppendLog(kKeyCodeNotEnabledLine);
        ops.programmer.keyCodeEnabled = false;
    }
    if (!ops.run.AutoSequence()) {
        ResumePendingOperation(ops);
    } else if (ops.run.Options().eraseChip) {
        StartChipErase(ops);
    } else if (ops.run.Options().programBoot) {
        StartWriteBoot(ops);
    } else if (ops.run.Options().programFlash) {
        StartWriteFlash(ops);
    } else if (ops.run.Options().programKeyCode) {
        KeyCodeRule(ops);
    } else {
        ExitWith(ops, Conclusion::Pass());
    }
}

void OnChipEraseReply(Ops& ops, const ReplyFrame& reply) {
    const uint8_t result = DecodeResult(reply).value_or(0);
    if (result != 1) {
        ops.view.AppendLogRaw("Failed");
        char words[80];
        std::snprintf(words, sizeof words, "the box reports the chip erase failed (result 0x%02X)",
                      result);
        ExitWith(ops, Conclusion::Fail(Verdict::Declined, words));
        return;
    }
    ops.view.AppendLogRaw("OK");
    if (ops.run.AutoSequence())
        AfterErase(ops);
    else
        ExitWith(ops, Conclusion::Pass());
}

void OnKeyCodeWritten(Ops& ops, const ReplyFrame&) {
    ops.view.AppendLogRaw("OK");
    StartCheckKeyCode(ops);
}

void OnKeyCodeChecked(Ops& ops, const ReplyFrame& reply) {
    const KeyCodeState state = DecodeKeyCodeCheckReply(reply);
    const uint8_t b0 = state.first, b1 = state.second;
    std::optional<Conclusion> checked;
    if (b0 == 0x55 && b1 == 0x55) {
        ops.view.AppendLogRaw("Pass");
        checked = Conclusion::Pass();
    } else if (b0 == 0xAA && b1 == 0xAA) {
        ops.view.AppendLogRaw("Failed.");
        checked = Conclusion::Fail(Verdict::Declined, "the KeyCode check failed (AA AA)");
    } else {
        // Unequal bytes, or equal ones that mean neither pass nor fail: a fault of the check.
        ops.view.AppendLogRaw("Failed");
        ExitWith(ops, Conclusion::Fail(Verdict::Failed,
                                       "the KeyCode check answered " + Hex2(b0, b1)));
        return;
    }
    if (ops.run.AutoSequence() && ops.run.Options().enableProtect)
        StopUnderProtect(ops, *checked);
    else
        ExitWith(ops, *checked);
}

void OnExitReply(Ops& ops, const ReplyFrame&) {
    ops.view.AppendLogRaw("OK");
    Conclusion told = ops.run.ExitConclusion().value_or(
        Conclusion::Fail(Verdict::Failed, "an exit answer without an exit frame"));
    // A run stopped after its exit frame went out ends as stopped.
    if (ops.run.StopRequested() && told.Passed())
        told = Conclusion::Fail(Verdict::Interrupted, ops.run.StopWords());
    End(ops, told);
}

void OnResetReply(Ops& ops, const ReplyFrame&) {
    ops.view.AppendLogRaw("OK");
    // The reset ends a DataFlash download: the controls come back with its reply.
    End(ops, Conclusion::Pass());
}

void OnWriteFlashBegun(Ops& ops, const ReplyFrame&) {
    BeginWrite(ops, Flash(ops), kWriteFlashLine);
}
void OnFlashBlockWritten(Ops& ops, const ReplyFrame&) {
    ContinueWrite(ops, Flash(ops));
}
void OnFlashWriteEnded(Ops& ops, const ReplyFrame&) {
    AfterWriteEnded(ops, &StartVerifyFlash);
}

void OnReadFlashBegun(Ops& ops, const ReplyFrame&) {
    BeginRead(ops, Flash(ops), CMD_READ_FLASH_BLOCK, kReadFlashLine);
}
void OnFlashBlockRead(Ops& ops, const ReplyFrame& reply) {
    BlockRead(ops, Flash(ops), reply);
}

void OnVerifyFlashBegun(Ops& ops, const ReplyFrame&) {
    BeginRead(ops, Flash(ops), CMD_VERIFY_FLASH_BLOCK, kVerifyFlashLine);
}

void OnFlashBlockVerify(Ops& ops, const ReplyFrame& reply) {
    if (!BlockMatches(ops, Flash(ops), reply) || !VerifyComplete(ops, Flash(ops))) return;
    if (ops.run.AutoSequence())
        AfterFlash(ops);
    else
        ExitWith(ops, Conclusion::Pass());
}

void OnWriteBootBegun(Ops& ops, const ReplyFrame&) {
    BeginWrite(ops, Boot(ops), kWriteBootLine);
}
void OnBootBlockWritten(Ops& ops, const ReplyFrame&) {
    ContinueWrite(ops, Boot(ops));
}
void OnBootWriteEnded(Ops& ops, const ReplyFrame&) {
    AfterWriteEnded(ops, &StartVerifyBoot);
}

void OnReadBootBegun(Ops& ops, const ReplyFrame&) {
    // The same line as for the flash.
    BeginRead(ops, Boot(ops), CMD_READ_BOOT_BLOCK, kReadFlashLine);
}
void OnBootBlockRead(Ops& ops, const ReplyFrame& reply) {
    BlockRead(ops, Boot(ops), reply);
}

void OnVerifyBootBegun(Ops& ops, const ReplyFrame&) {
    BeginRead(ops, Boot(ops), CMD_VERIFY_BOOT_BLOCK, kVerifyBootLine);
}

void OnBootBlockVerify(Ops& ops, const ReplyFrame& reply) {
    if (!BlockMatches(ops, Boot(ops), reply) || !VerifyComplete(ops, Boot(ops))) return;
    if (ops.run.AutoSequence()) {
        // The sequence goes on from a timer: nothing else of it runs during the pause.
        ops.run.EnterStage(Stage::BootSettle);
        ops.timers().Start(kBootSettleTimerId, kBootSettleMs);
    } else {
        ExitWith(ops, Conclusion::Pass());
    }
}

}  // namespace lumacrest
