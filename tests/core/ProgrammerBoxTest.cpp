// The simulated programmer box: its target chip, its answers and its injected faults.
#include <gtest/gtest.h>

#include "image/Crc16.h"
#include "link/Frames.h"
#include "sim/ProgrammerBox.h"

namespace lumacrest::sim {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Cmd(uint8_t code, const Bytes& payload) {
    return ProgrammerBox::Frame(code, payload);
}

// The single reply frame of a command, parsed: code and payload.
struct Reply {
    uint8_t code = 0;
    Bytes payload;
};

Bytes Join(const std::vector<Chunk>& chunks) {
    Bytes all;
    for (const Chunk& c : chunks) all.insert(all.end(), c.bytes.begin(), c.bytes.end());
    return all;
}

Reply Parse(const Bytes& frame) {
    EXPECT_GE(frame.size(), 6u);
    if (frame.size() < 6) return {};
    const std::size_t length = static_cast<std::size_t>(frame[3] << 8 | frame[4]);
    EXPECT_EQ(frame.size(), length + 6);
    uint8_t sum = 0;
    for (std::size_t i = 1; i + 1 < frame.size(); ++i) sum = static_cast<uint8_t>(sum + frame[i]);
    EXPECT_EQ(frame[0], kFrameStart);
    EXPECT_EQ(frame.back(), sum);
    return {frame[2], Bytes(frame.begin() + 5, frame.end() - 1)};
}

Reply Ask(ProgrammerBox& box, uint8_t code, const Bytes& payload) {
    return Parse(Join(box.Receive(Cmd(code, payload))));
}

// A program-mode header: page sizes, adapter code and KeyCode.
Bytes ProgramModeHeader(uint16_t flashPage, uint16_t bootPage, uint8_t adapter, uint8_t keyFill) {
    Bytes p(40, 0);
    p[0] = static_cast<uint8_t>(flashPage >> 8);
    p[1] = static_cast<uint8_t>(flashPage);
    p[8] = static_cast<uint8_t>(bootPage >> 8);
    p[9] = static_cast<uint8_t>(bootPage);
    p[10] = adapter;
    for (int i = 15; i < 31; ++i) p[static_cast<std::size_t>(i)] = keyFill;
    return p;
}

Bytes Block(uint16_t number, const Bytes& page) {
    Bytes p = {static_cast<uint8_t>(number >> 8), static_cast<uint8_t>(number)};
    p.insert(p.end(), page.begin(), page.end());
    return p;
}

TEST(Box, IdentifyCarriesVersionNumberKindAndCounters) {
    BoxConfig c;
    c.fwMajor = 0;
    c.fwMinor = 2;
    c.kind = 1;
    c.number = 0x1234;
    c.maxCount = 300;
    c.usedCount = 7;
    ProgrammerBox box(c);
    const Reply r = Ask(box, CMD_IDENTIFY, {0, 0});
    EXPECT_EQ(r.code, CMD_IDENTIFY);
    ASSERT_EQ(r.payload.size(), 20u);
    EXPECT_EQ(r.payload[0], 0);
    EXPECT_EQ(r.payload[1], 2);
    EXPECT_EQ(r.payload[2], 0x34);
    EXPECT_EQ(r.payload[3], 0x12);
    EXPECT_EQ(r.payload[12], 1);
    EXPECT_EQ(r.payload[13] | r.payload[14] << 8, 300);
    EXPECT_EQ(r.payload[15] | r.payload[16] << 8, 7);
}

TEST(Box, TargetProgramsOnlyZeroBitsAndErasesToOnes) {
    ProgrammerBox box;
    Ask(box, CMD_ENTER_PROGRAM_MODE, ProgramModeHeader(4, 2, 3, 0));
    Ask(box, CMD_WRITE_FLASH_BEGIN, Bytes(15, 0));  // no page size: the last one stays
    EXPECT_TRUE(
        Ask(box, CMD_WRITE_FLASH_BLOCK, Block(1, {0x0F, 0xF0, 0x55, 0xFF})).payload.empty());
    Ask(box, CMD_WRITE_FLASH_BLOCK, Block(1, {0xF3, 0x3F, 0xFF, 0x00}));  // bits stay cleared
    Ask(box, CMD_WRITE_BOOT_BLOCK, Block(2, {0x12, 0x34}));
    EXPECT_EQ(Bytes(box.flash().begin() + 4, box.flash().begin() + 8),
              (Bytes{0x03, 0x30, 0x55, 0x00}));
    EXPECT_EQ(box.boot()[4], 0x12);

    // Read and verify return the block number and the page as the target holds it.
    EXPECT_EQ(Ask(box, CMD_READ_FLASH_BLOCK, {0, 1}).payload,
              (Bytes{0, 1, 0x03, 0x30, 0x55, 0x00}));
    EXPECT_EQ(Ask(box, CMD_VERIFY_BOOT_BLOCK, {0, 2}).payload, (Bytes{0, 2, 0x12, 0x34}));

    const Reply erase = Ask(box, CMD_CHIP_ERASE, Bytes(15, 0));
    EXPECT_EQ(erase.payload, Bytes{1});  // one payload byte: success
    EXPECT_EQ(Ask(box, CMD_READ_FLASH_BLOCK, {0, 1}).payload,
              (Bytes{0, 1, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(box.boot()[4], 0xFF);
}

TEST(Box, ReplyLengthsFollowTheCodeTable) {
    ProgrammerBox box;
    const std::pair<uint8_t, std::size_t> expected[] = {
        {CMD_ENTER_PROGRAM_MODE, 14}, {CMD_WRITE_FLASH_BEGIN, 13}, {CMD_WRITE_FLASH_END, 6},
        {CMD_VERIFY_BOOT_BEGIN, 13},  {CMD_WRITE_KEYCODE, 13},     {CMD_CHECK_KEYCODE, 14},
        {CMD_EXIT_PROGRAM_MODE, 6},   {CMD_RESET_PROGRAMMER, 8},   {CMD_ERASE_PROGRAMMER, 6},
        {CMD_IAP_ERASE, 14},          {CMD_IAP_BLOCK, 8},          {CMD_CHIP_ERASE, 7},
    };
    for (const auto& [code, length] : expected) {
        const Bytes payload = code == CMD_ENTER_PROGRAM_MODE || code == CMD_CHECK_KEYCODE
                                  ? ProgramModeHeader(256, 256, 3, 0)
                                  : Bytes(15, 0);
        EXPECT_EQ(Join(box.Receive(Cmd(code, payload))).size(), length) << int(code);
    }
    // A read block answers page size + 8 bytes; the firmware block echoes its 260 bytes.
    EXPECT_EQ(Join(box.Receive(Cmd(CMD_READ_FLASH_BLOCK, {0, 0}))).size(), 256u + 8u);
    Bytes fw(260);
    for (std::size_t i = 0; i < fw.size(); ++i) fw[i] = static_cast<uint8_t>(i * 7);
    EXPECT_EQ(Ask(box, CMD_PROGRAMMER_FW_BLOCK, fw).payload, fw);
    // The loader's done frame gets no answer.
    EXPECT_TRUE(box.Receive(Cmd(CMD_IAP_DONE, {0, 0})).empty());
}

TEST(Box, KeyCodeStatesFollowTheChip) {
    ProgrammerBox box;
    // No KeyCode on the chip: not enabled; the adapter id is the one asked for.
    Reply r = Ask(box, CMD_ENTER_PROGRAM_MODE, ProgramModeHeader(256, 256, 7, 0x11));
    EXPECT_EQ(Bytes(r.payload.begin(), r.payload.begin() + 3), (Bytes{0xAA, 0xAA, 7}));
    Ask(box, CMD_WRITE_KEYCODE, Bytes(15, 0));
    EXPECT_TRUE(box.keyCodeEnabled());
    EXPECT_EQ(box.chipKeyCode()[0], 0x11);
    EXPECT_EQ(Ask(box, CMD_CHECK_KEYCODE, ProgramModeHeader(256, 256, 7, 0x11)).payload[0], 0x55);
    EXPECT_EQ(Ask(box, CMD_CHECK_KEYCODE, ProgramModeHeader(256, 256, 7, 0x12)).payload[0], 0xAA);
    // With the right KeyCode the chip reports it enabled; with another the verify fails.
    r = Ask(box, CMD_ENTER_PROGRAM_MODE, ProgramModeHeader(256, 256, 7, 0x11));
    EXPECT_EQ(r.payload[0], 0x55);
    EXPECT_EQ(r.payload[1], 0x55);
    r = Ask(box, CMD_ENTER_PROGRAM_MODE, ProgramModeHeader(256, 256, 7, 0x22));
    EXPECT_EQ(r.payload[0], 0x00);
    EXPECT_EQ(r.payload[1], 0xFF);

    BoxConfig forced;
    forced.programModeState = std::array<uint8_t, 2>{0xA5, 0x5A};
    forced.adapterId = 9;
    ProgrammerBox other(forced);
    r = Ask(other, CMD_ENTER_PROGRAM_MODE, ProgramModeHeader(256, 256, 3, 0));
    EXPECT_EQ(Bytes(r.payload.begin(), r.payload.begin() + 3), (Bytes{0xA5, 0x5A, 9}));
}

TEST(Box, ExitResultIsRecordedAndCounted) {
    ProgrammerBox box;
    Ask(box, CMD_EXIT_PROGRAM_MODE, {0, 0});
    EXPECT_EQ(box.lastExitResult(), 0);
    EXPECT_EQ(box.usedCount(), 5);
    Ask(box, CMD_EXIT_PROGRAM_MODE, {1, 0});
    EXPECT_EQ(box.lastExitResult(), 1);
    EXPECT_EQ(box.usedCount(), 6);
    EXPECT_EQ(box.events().back(), "exit result 1");
}

TEST(Box, FramesAreFoundInAnyCuttingOfTheStream) {
    ProgrammerBox box;
    Bytes stream = {0x00, 0x13};  // noise before the first frame
    const Bytes identify = Cmd(CMD_IDENTIFY, {0, 0});
    Bytes badSum = Cmd(CMD_RESET_PROGRAMMER, {0, 0});
    badSum.back() ^= 1;
    stream.insert(stream.end(), identify.begin(), identify.end());
    stream.insert(stream.end(), badSum.begin(), badSum.end());
    stream.insert(stream.end(), identify.begin(), identify.end());
    std::size_t replies = 0;
    for (uint8_t byte : stream) replies += box.Receive(&byte, 1).size();
    EXPECT_EQ(replies, 2u);
    EXPECT_EQ(box.received(), (std::vector<uint8_t>{CMD_IDENTIFY, CMD_IDENTIFY}));
}

TEST(Box, InjectedFaults) {
    const Bytes identify = Cmd(CMD_IDENTIFY, {0, 0});
    auto with = [](FaultKind kind, int code, int times, uint32_t value) {
        BoxConfig c;
        c.faults.push_back({kind, code, times, value});
        return ProgrammerBox(c);
    };
    {
        ProgrammerBox box = with(FaultKind::NoReply, CMD_IDENTIFY, 1, 0);
        EXPECT_TRUE(box.Receive(identify).empty());
        EXPECT_EQ(box.Receive(identify).size(), 1u);  // only once
    }
    {
        ProgrammerBox box = with(FaultKind::BadSum, -1, -1, 0);
        const Bytes f = Join(box.Receive(identify));
        const Bytes good = ProgrammerBox::Frame(CMD_IDENTIFY, Bytes(f.begin() + 5, f.end() - 1));
        EXPECT_EQ(f.back(), static_cast<uint8_t>(good.back() + 1));
    }
    {
        ProgrammerBox box = with(FaultKind::WrongStart, CMD_IDENTIFY, -1, 0);
        EXPECT_EQ(Join(box.Receive(identify))[0], 0x7D);
        EXPECT_EQ(Join(box.Receive(Cmd(CMD_RESET_PROGRAMMER, {0, 0})))[0], 0x7E);
    }
    {
        ProgrammerBox box = with(FaultKind::ShortReply, -1, -1, 4);
        EXPECT_EQ(Join(box.Receive(identify)).size(), 22u);
    }
    {
        ProgrammerBox box = with(FaultKind::LateReply, -1, -1, 0);
        EXPECT_EQ(box.Receive(identify).at(0).delayMs, 1500u);
    }
    {
        ProgrammerBox box = with(FaultKind::Pieces, -1, -1, 10);
        const std::vector<Chunk> chunks = box.Receive(identify);
        ASSERT_EQ(chunks.size(), 3u);
        EXPECT_EQ(chunks[2].bytes.size(), 6u);
        EXPECT_EQ(Parse(Join(chunks)).code, CMD_IDENTIFY);
    }
    {
        ProgrammerBox box = with(FaultKind::WrongEcho, -1, -1, 0);
        EXPECT_EQ(Parse(Join(box.Receive(identify))).code, 0x80);
    }
    {
        ProgrammerBox box = with(FaultKind::Duplicate, -1, -1, 0);
        EXPECT_EQ(box.Receive(identify).size(), 2u);
    }
    {
        ProgrammerBox box = with(FaultKind::EraseFails, -1, 1, 0);
        box.flash()[0] = 0;
        EXPECT_EQ(Ask(box, CMD_CHIP_ERASE, Bytes(15, 0)).payload, Bytes{0});
        EXPECT_EQ(box.flash()[0], 0);
    }
    {
        ProgrammerBox box = with(FaultKind::VerifyDiffers, CMD_VERIFY_FLASH_BLOCK, -1, 3);
        Ask(box, CMD_ENTER_PROGRAM_MODE, ProgramModeHeader(2, 2, 3, 0));
        EXPECT_EQ(Ask(box, CMD_VERIFY_FLASH_BLOCK, {0, 2}).payload, (Bytes{0, 2, 0xFF, 0xFF}));
        EXPECT_EQ(Ask(box, CMD_VERIFY_FLASH_BLOCK, {0, 3}).payload, (Bytes{0, 3, 0xFE, 0xFF}));
        EXPECT_EQ(Ask(box, CMD_READ_FLASH_BLOCK, {0, 3}).payload, (Bytes{0, 3, 0xFF, 0xFF}));
    }
    {
        ProgrammerBox box = with(FaultKind::EchoDiffers, CMD_PROGRAMMER_FW_BLOCK, 1, 0);
        const Bytes fw(260, 0x5A);
        EXPECT_EQ(Ask(box, CMD_PROGRAMMER_FW_BLOCK, fw).payload[0], 0xA5);
        EXPECT_EQ(Ask(box, CMD_PROGRAMMER_FW_BLOCK, fw).payload, fw);
    }
}

TEST(Box, FramesSentOnItsOwn) {
    BoxConfig c;
    c.settings[5] = 4;  // DeviceType 4
    c.unsolicited = {{CMD_EXIT_PROGRAM_MODE, CMD_DATAFLASH_BEGIN},
                     {CMD_IDENTIFY, CMD_DATAFLASH_CONFIG},
                     {CMD_IAP_DONE, CMD_SECTOR_SUM}};
    ProgrammerBox box(c);
    std::vector<Chunk> out = box.Receive(Cmd(CMD_EXIT_PROGRAM_MODE, {1, 9}));
    ASSERT_EQ(out.size(), 2u);
    Reply begin = Parse(out[1].bytes);
    EXPECT_EQ(begin.code, CMD_DATAFLASH_BEGIN);
    EXPECT_EQ(begin.payload, (Bytes{1, 9}));  // the payload the host sent last

    out = box.Receive(Cmd(CMD_IDENTIFY, {0, 0}));
    ASSERT_EQ(out.size(), 2u);
    Reply settings = Parse(out[1].bytes);
    ASSERT_EQ(settings.payload.size(), 65u);
    EXPECT_EQ(settings.payload[5], 4);
    const uint16_t crc = Crc16(settings.payload.data(), 63);
    EXPECT_EQ(settings.payload[63], crc >> 8);
    EXPECT_EQ(settings.payload[64], crc & 0xFF);

    out = box.Receive(Cmd(CMD_IAP_DONE, {0, 0}));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(Parse(out[0].bytes).code, CMD_SECTOR_SUM);
}

TEST(BoxOptions, ParsesIdentityFaultsAndRejectsNonsense) {
    BoxConfig c;
    std::string link, error;
    ASSERT_TRUE(ParseBoxOptions({"--link",
                                 "/tmp/x",
                                 "--kind",
                                 "5",
                                 "--number",
                                 "9999",
                                 "--fw",
                                 "0.2",
                                 "--max",
                                 "100",
                                 "--used",
                                 "3",
                                 "--adapter",
                                 "0x10",
                                 "--fault",
                                 "late:0x22:1:2500",
                                 "--fault",
                                 "pieces",
                                 "--keycode-state",
                                 "adapter-error",
                                 "--send-after",
                                 "0x0F:0x06",
                                 "--chip-keycode",
                                 "000102030405060708090A0B0C0D0E0F"},
                                c, link, error))
        << error;
    EXPECT_EQ(link, "/tmp/x");
    EXPECT_EQ(c.kind, 5);
    EXPECT_EQ(c.number, 9999);
    EXPECT_EQ(c.fwMajor, 0);
    EXPECT_EQ(c.fwMinor, 2);
    EXPECT_EQ(c.maxCount, 100);
    EXPECT_EQ(c.usedCount, 3);
    EXPECT_EQ(c.adapterId, 0x10);
    ASSERT_EQ(c.faults.size(), 2u);
    EXPECT_EQ(c.faults[0].kind, FaultKind::LateReply);
    EXPECT_EQ(c.faults[0].code, 0x22);
    EXPECT_EQ(c.faults[0].times, 1);
    EXPECT_EQ(c.faults[0].value, 2500u);
    EXPECT_EQ(c.faults[1].code, -1);
    EXPECT_EQ(c.faults[1].times, -1);
    EXPECT_EQ(c.programModeState, (std::array<uint8_t, 2>{0xA5, 0x5A}));
    ASSERT_EQ(c.unsolicited.size(), 1u);
    EXPECT_EQ(c.unsolicited[0].frameCode, CMD_DATAFLASH_BEGIN);
    EXPECT_EQ((*c.chipKeyCode)[15], 0x0F);

    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--kind", "2"},
                                                {"--link", "/x", "--fw", "2"},
                                                {"--link", "/x", "--fault", "melt"},
                                                {"--link", "/x", "--number", "70000"},
                                                {"--link", "/x", "--kind"},
                                                {"--link", "/x", "--bogus", "1"},
                                                {"--link", "/x", "--chip-keycode", "00"}}) {
        BoxConfig other;
        std::string l, e;
        EXPECT_FALSE(ParseBoxOptions(bad, other, l, e));
        EXPECT_FALSE(e.empty());
    }
}

TEST(BoxOptions, StoredSettingsAndTheBadCrcFault) {
    BoxConfig c;
    std::string link, error;
    ASSERT_TRUE(ParseBoxOptions({"--link", "/tmp/x", "--settings", "4:128:0x120:010001010001",
                                 "--fault", "bad-crc", "--send-after", "0:9"},
                                c, link, error))
        << error;
    EXPECT_EQ(c.settings[5], 4);
    EXPECT_EQ(c.settings[7], 128);
    EXPECT_EQ(c.settings[8], 0x01);
    EXPECT_EQ(c.settings[9], 0x20);
    EXPECT_EQ(c.settings[17], 1);
    EXPECT_EQ(c.settings[18], 0);
    EXPECT_EQ(c.settings[22], 1);
    // The report goes out after the identify reply with its CRC spoiled, once per fault use.
    c.faults[0].times = 1;
    ProgrammerBox box(c);
    auto out = box.Receive(Cmd(CMD_IDENTIFY, {0, 0}));
    ASSERT_EQ(out.size(), 2u);
    const auto report = Parse(out[1].bytes);
    ASSERT_EQ(report.code, CMD_DATAFLASH_CONFIG);
    const uint16_t crc = Crc16(report.payload.data(), 63);
    EXPECT_NE(report.payload[63] << 8 | report.payload[64], crc);
    out = box.Receive(Cmd(CMD_IDENTIFY, {0, 0}));
    const auto second = Parse(out[1].bytes);
    EXPECT_EQ(second.payload[63] << 8 | second.payload[64], crc);

    for (const char* bad : {"4:128", "4:128:32:0100", "4:128:32:zz0000000000", "4:x:32"}) {
        BoxConfig other;
        std::string l, e;
        EXPECT_FALSE(ParseBoxOptions({"--link", "/x", "--settings", bad}, other, l, e)) << bad;
    }
}

}  // namespace
}  // namespace lumacrest::sim
