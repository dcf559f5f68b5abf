#include <gtest/gtest.h>

#include "image/DeviceCatalogue.h"
#include "support/TestHost.h"
#include "app/Commands.h"
#include "platform/DialogSessions.h"
#include "app/CMainDlg.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest {
namespace {

using test::ReadText;
using test::TestHost;

BufferEditSession Session(uint32_t length) {
    BufferEditSession s;
    s.length = length;
    for (uint32_t i = 0; i < length; ++i) s.work[i] = static_cast<uint8_t>(i);
    s.Preset(length);
    return s;
}

TEST(BufferEditSave, WritesTheRangeWithTheSesExtensionRule) {
    TestHost t;
    BufferEditSession s = Session(64);

    t.prompts.QueueFile(t.dir.File("all"));
    ASSERT_TRUE(s.Save(t.prompts));
    EXPECT_EQ(ReadText(t.dir.File("all.ses")).size(), 64u);
    EXPECT_EQ(t.prompts.fileFilters.back(), "Ses Files (*.ses)|*.SES||");

    s.saveStart = 0x10;
    s.saveEnd = 0x13;
    t.prompts.QueueFile(t.dir.File("part.SES"));
    ASSERT_TRUE(s.Save(t.prompts));
    EXPECT_EQ(ReadText(t.dir.File("part.SES")), std::string("\x10\x11\x12"));

    s.saveStart = s.saveEnd = 5;
    t.prompts.QueueFile(t.dir.File("empty.Ses"));
    ASSERT_TRUE(s.Save(t.prompts));
    EXPECT_TRUE(std::filesystem::exists(t.dir.File("empty.Ses.ses")));
    EXPECT_EQ(ReadText(t.dir.File("empty.Ses.ses")), "");
    EXPECT_TRUE(t.prompts.messages.empty());

    EXPECT_EQ(SesPath("a.ses"), "a.ses");
    EXPECT_EQ(SesPath("a.SES"), "a.SES");
    EXPECT_EQ(SesPath("a.sEs"), "a.sEs.ses");
    EXPECT_EQ(SesPath("ses"), "ses.ses");
}

TEST(BufferEditSave, ChecksInOrderAndAsUnsignedNumbers) {
    TestHost t;
    BufferEditSession s = Session(73728);
    s.saveEnd = 73729;
    s.saveStart = 80000;
    EXPECT_FALSE(s.Save(t.prompts));
    s.saveEnd = 10;
    EXPECT_FALSE(s.Save(t.prompts));
    s.saveStart = 11;
    EXPECT_FALSE(s.Save(t.prompts));
    s.saveStart = 0xFFFFFFF0u;  // never a negative start that passes
    EXPECT_FALSE(s.Save(t.prompts));
    EXPECT_EQ(t.MessageTexts(), (std::vector<std::string>{
                                    "******End address must be less than 73728 ******   ",
                                    "******Start address must be less than 73728 ******   ",
                                    "******End address must be high than start address******   ",
                                    "******Start address must be less than 73728 ******   "}));
    for (const auto& m : t.prompts.messages) EXPECT_EQ(m.icon, MsgIcon::Error);
    EXPECT_TRUE(t.prompts.fileFilters.empty());  // no file dialog after a refusal
}

TEST(BufferEditSave, CancelWritesNothingAndAnUncreatableFileIsReported) {
    TestHost t;
    BufferEditSession s = Session(16);
    t.prompts.QueueFile(std::nullopt);
    EXPECT_FALSE(s.Save(t.prompts));
    EXPECT_TRUE(t.prompts.messages.empty());
    t.prompts.QueueFile(t.dir.File("no/such/dir/x"));
    EXPECT_FALSE(s.Save(t.prompts));
    EXPECT_EQ(t.MessageTexts(), std::vector<std::string>{"******File Save Failed******"});
}

TEST(BufferEditFill, FillsInclusiveRangeAndKeepsTheRest) {
    TestHost t;
    BufferEditSession s = Session(64);
    s.fillStart = 0x10;
    s.fillEnd = 0x1F;
    s.fillValue = 0xAA;
    ASSERT_TRUE(s.Fill(t.prompts));
    for (uint32_t i = 0; i < 64; ++i)
        EXPECT_EQ(s.work[i], (i >= 0x10 && i <= 0x1F) ? 0xAA : i) << i;
}

TEST(BufferEditFill, ChecksValueFirstThenRange) {
    TestHost t;
    BufferEditSession s = Session(64);
    s.fillValue = 256;
    s.fillEnd = 1000;  // also wrong, but the value is looked at first
    EXPECT_FALSE(s.Fill(t.prompts));
    s.fillValue = 0xFFFFFFFFu;
    EXPECT_FALSE(s.Fill(t.prompts));
    s.fillValue = 1;
    EXPECT_FALSE(s.Fill(t.prompts));
    s.fillEnd = 3;
    s.fillStart = 4;
    EXPECT_FALSE(s.Fill(t.prompts));
    s.fillStart = 0xFFFFFFF0u;
    EXPECT_FALSE(s.Fill(t.prompts));
    EXPECT_EQ(t.MessageTexts(), (std::vector<std::string>{
                                    "****** Fill Value Must be 0 to 255 ******   ",
                                    "****** Fill Value Must be 0 to 255 ******   ",
                                    "******End address must be less than 64 ******   ",
                                    "******End address must be high than start address******   ",
                                    "******End address must be high than start address******   "}));
    for (uint32_t i = 0; i < 64; ++i) EXPECT_EQ(s.work[i], i);
}

TEST(BufferEditFill, EndAtTheLengthStaysInsideTheWorkingCopy) {
    TestHost t;
    BufferEditSession s = Session(kWorkingCopySize);
    s.fillStart = kWorkingCopySize - 2;
    s.fillEnd = kWorkingCopySize;
    s.fillValue = 0x5A;
    ASSERT_TRUE(s.Fill(t.prompts));
    EXPECT_EQ(s.work.size(), kWorkingCopySize);
    EXPECT_EQ(s.work[kWorkingCopySize - 1], 0x5A);
    EXPECT_EQ(s.work[kWorkingCopySize - 2], 0x5A);
    EXPECT_NE(s.work[kWorkingCopySize - 3], 0x5A);
}

TEST(SnSetting, AddressUpToFlashSizeAndValueUpToFFFFFFFC) {
    TestHost t;
    SnSetSession s;
    s.flashSize = 0x10000;
    s.address = 0x10001;
    EXPECT_FALSE(s.Accept(t.prompts));
    s.address = 0x10000;
    EXPECT_TRUE(s.Accept(t.prompts));
    s.value = 0xFFFFFFFDu;
    EXPECT_FALSE(s.Accept(t.prompts));
    s.value = 0xFFFFFFFCu;
    EXPECT_TRUE(s.Accept(t.prompts));
    s.address = 0xFFFFFFF0u;  // unsigned: far above the flash
    EXPECT_FALSE(s.Accept(t.prompts));
    EXPECT_EQ(t.MessageTexts(),
              (std::vector<std::string>{"******Address is too long than Flash size******   ",
                                        "****** Init Value Must be 0 to 0xFFFFFFFC ******   ",
                                        "******Address is too long than Flash size******   "}));
}

// ---- the commands ---------------------------------------------------------------------

struct EditCommands : ::testing::Test {
    TestHost t;
    Host& h = t.h();
    CommandRouter router;
    void SetUp() override {
        ASSERT_TRUE(SetPageGeometry(h.target, 256, 32, 256, 8));  // flash 8192, boot 2048
        WireCommands(h, router);
        for (std::size_t i = 0; i < 8192; ++i) h.target.buf().flash[i] = static_cast<uint8_t>(i * 7);
    }
    int CountLines(const std::string& prefix) {
        int n = 0;
        for (const auto& line : t.LogLines()) n += line.rfind(prefix, 0) == 0;
        return n;
    }
};

TEST_F(EditCommands, FlashEditorOpensOnACopyAndOkCopiesBackWithChecksums) {
    h.target.buf().flash[8192] = 0x33;  // beyond the flash area: not part of the copy
    BufferEditSession seen;
    t.prompts.QueueBufferEdit([&](BufferEditSession& s) {
        seen = s;
        s.work[0] = 0x42;
        s.work[8192] = 0x44;  // beyond the length: never copied back
        return true;
    });
    router.Dispatch(id::FlashBuffer);
    EXPECT_EQ(seen.title, "Flash Buffer Edit");
    EXPECT_EQ(seen.length, 8192u);
    EXPECT_EQ(seen.saveEnd, 8192u);
    EXPECT_EQ(seen.fillEnd, 8192u);
    EXPECT_EQ(seen.saveStart, 0u);
    EXPECT_EQ(seen.work[1], 7);
    EXPECT_EQ(seen.work[8192], 0xFF);
    EXPECT_EQ(h.target.buf().flash[0], 0x42);
    EXPECT_EQ(h.target.buf().flash[8192], 0x33);
    EXPECT_EQ(CountLines(HostView::kSeparatorEquals), 1);
    EXPECT_EQ(CountLines("Flash Buffer Check Sum: 0x"), 1);

    // OK without a change logs the checksums again; Cancel does not, and copies nothing.
    t.prompts.QueueBufferEdit([](BufferEditSession&) { return true; });
    router.Dispatch(id::FlashBuffer);
    EXPECT_EQ(CountLines("Flash Buffer Check Sum: 0x"), 2);
    t.prompts.QueueBufferEdit([](BufferEditSession& s) {
        s.work[0] = 0x99;
        return false;
    });
    router.Dispatch(id::FlashBuffer);
    EXPECT_EQ(h.target.buf().flash[0], 0x42);
    EXPECT_EQ(CountLines("Flash Buffer Check Sum: 0x"), 2);
    EXPECT_EQ(CountLines("==="), 2);  // separators alternate
    EXPECT_EQ(CountLines("* * *"), 1);
}

TEST_F(EditCommands, ZeroFlashSizeShowsErasedBytesAndCopiesNothing) {
    h.target.dev.FlashSize = 0;
    t.prompts.QueueBufferEdit([&](BufferEditSession& s) {
        EXPECT_EQ(s.length, kSizelessEditLength);
        EXPECT_EQ(s.saveEnd, 0u);
        EXPECT_EQ(s.fillEnd, 0u);
        EXPECT_EQ(s.work[0], 0xFF);
        s.work[0] = 0;
        return true;
    });
    router.Dispatch(id::FlashBuffer);
    EXPECT_EQ(t.prompts.bufferTitles.size(), 1u);
    EXPECT_EQ(h.target.buf().flash[0], 0);  // i * 7 for i = 0, unchanged
    EXPECT_EQ(h.target.buf().flash[1], 7);
}

TEST_F(EditCommands, FlashLargerThanTheWorkingCopyIsRefused) {
    ASSERT_TRUE(SetPageGeometry(h.target, 256, 1100, 256, 8));  // 281600 bytes
    router.Dispatch(id::FlashBuffer);
    EXPECT_TRUE(t.prompts.bufferTitles.empty());
    ASSERT_EQ(t.prompts.messages.size(), 1u);
    EXPECT_EQ(t.prompts.messages[0].icon, MsgIcon::Error);
    EXPECT_NE(t.prompts.messages[0].text.find("281600"), std::string::npos);
}

TEST_F(EditCommands, BootEditorWorksOnTheBootArea) {
    h.target.buf().boot.fill(0x11);
    t.prompts.QueueBufferEdit([&](BufferEditSession& s) {
        EXPECT_EQ(s.title, "Boot Buffer Edit");
        EXPECT_EQ(s.length, 2048u);
        EXPECT_EQ(s.work[2047], 0x11);
        EXPECT_EQ(s.work[2048], 0xFF);
        s.fillStart = 0;
        s.fillEnd = 2048;  // one past the data: that byte is not copied back
        s.fillValue = 0x22;
        EXPECT_TRUE(s.Fill(t.prompts));
        return true;
    });
    router.Dispatch(id::BootBuffer);
    EXPECT_EQ(h.target.buf().boot[2047], 0x22);
    EXPECT_EQ(h.target.buf().boot[2048], 0x11);
    EXPECT_EQ(CountLines("Boot  Buffer Check Sum: 0x"), 1);
}

TEST_F(EditCommands, KeyCodeFromMenuAndToolbarCopiesSixteenBytes) {
    for (int id : {id::KeyCodeSet, id::TbKeyCode}) {
        h.target.buf().keyCode.fill(0x01);
        t.prompts.QueueBufferEdit([&](BufferEditSession& s) {
            EXPECT_EQ(s.title, "KeyCode Edit");
            EXPECT_EQ(s.length, 16u);
            EXPECT_EQ(s.work[16], 0xFF);
            std::fill_n(s.work.begin(), 20, 0xEE);
            return true;
        });
        router.Dispatch(id);
        EXPECT_EQ(h.target.buf().keyCode[15], 0xEE);
        EXPECT_EQ(h.target.buf().keyCode[16], 0x01);
    }
    EXPECT_EQ(CountLines("Flash Buffer Check Sum"), 0);
}

TEST_F(EditCommands, SnSetStoresBothValuesOnlyAfterAnAcceptedOk) {
    h.sn.SnValue = 5;
    h.sn.SnAddress = 0x100;
    t.prompts.QueueSerialNumber(std::make_pair(0xFFFFFFFDu, 0x200u));  // refused
    t.prompts.QueueSerialNumber(std::make_pair(77u, 8193u));           // refused
    t.prompts.QueueSerialNumber(std::make_pair(77u, 8192u));           // accepted
    router.Dispatch(id::SnSet);
    EXPECT_EQ(h.sn.SnValue, 77u);
    EXPECT_EQ(h.sn.SnAddress, 8192u);
    EXPECT_EQ(t.prompts.messages.size(), 2u);

    t.prompts.QueueSerialNumber(std::make_pair(1u, 1u));
    t.prompts.QueueSerialNumber(std::nullopt);
    t.prompts.QueueSerialNumber(std::nullopt);
    router.Dispatch(id::SnSet);  // accepted
    router.Dispatch(id::SnSet);  // cancelled
    EXPECT_EQ(h.sn.SnValue, 1u);
    EXPECT_EQ(t.prompts.serialNumberAsked, 3);
}

}  // namespace
}  // namespace lumacrest
