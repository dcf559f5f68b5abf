// Writes the generated seed corpora of the harnesses: full-size files of every reader (a whole
// flash image as HEX, S-records and raw bytes, a whole project, a whole update file, the
// settings and device files) and small ones around them. Run at build time:
//   make_seeds OUTDIR SOURCE_DIR
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/Config.h"
#include "image/Cipher.h"
#include "image/DeviceCatalogue.h"
#include "image/HexWriter.h"
#include "image/ProjectFile.h"
#include "link/Link.h"
#include "support/ScriptedPrompts.h"
#include "host/ProjectCommands.h"

using namespace lumacrest;
namespace fs = std::filesystem;

namespace {

fs::path out;

void Seed(const std::string& harness, const std::string& name, const std::string& bytes) {
    fs::create_directories(out / harness);
    std::ofstream(out / harness / name, std::ios::binary) << bytes;
}

uint8_t Pattern(std::size_t i) { return static_cast<uint8_t>(i * 31 + (i >> 9)); }

std::string Hex(unsigned value, int digits) {
    static const char* d = "0123456789ABCDEF";
    std::string s(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4) s[static_cast<std::size_t>(i)] = d[value & 15];
    return s;
}

// Intel HEX of `size` pattern bytes from `base`, 32 bytes a record, type-04 records.
std::string IntelHex(std::size_t size, uint32_t base) {
    std::string text;
    uint32_t upper = 0xFFFFFFFF;
    for (std::size_t at = 0; at < size; at += 32) {
        const uint32_t address = base + static_cast<uint32_t>(at);
        if ((address >> 16) != upper) {
            upper = address >> 16;
            const unsigned sum = 2 + 4 + (upper >> 8) + (upper & 0xFF);
            text += ":02000004" + Hex(upper, 4) + Hex((0x100 - (sum & 0xFF)) & 0xFF, 2) + "\n";
        }
        const std::size_t n = std::min<std::size_t>(32, size - at);
        unsigned sum = static_cast<unsigned>(n) + ((address >> 8) & 0xFF) + (address & 0xFF);
        text += ":" + Hex(static_cast<unsigned>(n), 2) + Hex(address & 0xFFFF, 4) + "00";
        for (std::size_t i = 0; i < n; ++i) {
            text += Hex(Pattern(at + i), 2);
            sum += Pattern(at + i);
        }
        text += Hex((0x100 - (sum & 0xFF)) & 0xFF, 2) + "\n";
    }
    return text + ":00000001FF\n";
}

std::string SRecords(std::size_t size, uint32_t base) {
    std::string text = "S00600004844521B\n";
    std::size_t records = 0;
    for (std::size_t at = 0; at < size; at += 32, ++records) {
        const uint32_t address = base + static_cast<uint32_t>(at);
        const std::size_t n = std::min<std::size_t>(32, size - at);
        unsigned sum = static_cast<unsigned>(n + 4);
        text += "S3" + Hex(static_cast<unsigned>(n + 5), 2) + Hex(address, 8);
        for (int i = 0; i < 4; ++i) sum += (address >> (8 * i)) & 0xFF;
        for (std::size_t i = 0; i < n; ++i) {
            text += Hex(Pattern(at + i), 2);
            sum += Pattern(at + i);
        }
        text += Hex(~sum & 0xFF, 2) + "\n";
    }
    if (records <= 0xFFFF) {
        const unsigned sum = 3 + (records >> 8) + (records & 0xFF);
        text += "S503" + Hex(static_cast<unsigned>(records), 4) + Hex(~sum & 0xFF, 2) + "\n";
    }
    const unsigned sum = 5 + ((base >> 24) & 0xFF) + ((base >> 16) & 0xFF) + ((base >> 8) & 0xFF) + (base & 0xFF);
    return text + "S705" + Hex(base, 8) + Hex(~sum & 0xFF, 2) + "\n";
}

std::string Raw(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>(Pattern(i));
    return s;
}

std::string Offset(uint8_t mode, uint32_t offset) {
    std::string s(1, static_cast<char>(mode));
    for (int i = 3; i >= 0; --i) s += static_cast<char>((offset >> (8 * i)) & 0xFF);
    return s;
}

std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    out = argv[1];
    const fs::path source = argv[2];

    // Image loads: mode bit 7 = use the offset; bits 0-2 the name; bits 3-4 the target.
    // The whole flash buffer: 300000 bytes from 0x4000 (HEX, S-records, raw).
    Seed("fuzz_image_load", "full.hex", Offset(0x80, 0x4000) + IntelHex(300000, 0x4000));
    Seed("fuzz_image_load", "full.s37", Offset(0x86, 0x4000) + SRecords(300000, 0x4000));
    Seed("fuzz_image_load", "full.bin", Offset(0x81, 0) + Raw(300000));
    Seed("fuzz_image_load", "boot.hex", Offset(0x88, 0) + IntelHex(4096, 0));
    Seed("fuzz_image_load", "key.hex", Offset(0x10, 0) + IntelHex(16, 0));
    Seed("fuzz_image_load", "key.s19", Offset(0x12, 0) + SRecords(16, 0));
    Seed("fuzz_image_load", "small.hex", Offset(0x00, 0) + IntelHex(64, 0x4000));

    // ELF files: offset, limit, the file as ld linked it (32 and 64 bits).
    for (const char* name : {"ld32.elf", "ld64.elf"})
        Seed("fuzz_elf", name, std::string("\x40\x00\x10\x00", 4) + ReadFile(source / "tests/images" / name));

    // S-records and HEX in memory: offset, limit, text.
    Seed("fuzz_srecord", "full.s37", std::string("\x40\x00\xFF\xFF", 4) + SRecords(70000, 0x4000));
    Seed("fuzz_srecord", "small.s19", std::string("\x00\x00\x01\x00", 4) + SRecords(40, 0));
    Seed("fuzz_srecord", "full.hex", std::string("\x40\x00\xFF\xFE", 4) + IntelHex(70000, 0x4000));

    // A whole project of the largest geometry (300000 bytes of flash, 8192 of boot).
    {
        ScriptedPrompts prompts;
        Host h;
        h.platform.prompts = &prompts;
        h.view.SetMcuItems({"MN101EF32D"});
        h.view.SetPortItems({"COM1"});
        for (std::size_t i = 0; i < h.target.buf().flash.size(); ++i) h.target.buf().flash[i] = Pattern(i);
        for (std::size_t i = 0; i < h.target.buf().boot.size(); ++i) h.target.buf().boot[i] = Pattern(i + 5);
        std::string why;
        if (SetPageGeometry(h.target, 1000, 300, 256, 32))
            if (auto text = BuildProjectText(h, &why)) Seed("fuzz_project_load", "full.Prjt", *text);
        if (SetPageGeometry(h.target, 256, 4, 256, 1)) {
            h.target.dev.AdapterText = "";
            if (auto text = BuildProjectText(h, &why)) Seed("fuzz_project_load", "small.Prjt", *text);
        }
    }

    Seed("fuzz_config", "default", DefaultConfigText());
    for (const auto& entry : fs::directory_iterator(source / "res"))
        if (entry.path().extension() == ".cfg")
            Seed("fuzz_device_cfg", entry.path().filename().string(), ReadFile(entry.path()));

    // A whole update file (256 pages of 512 bytes) and a short one.
    {
        std::string full = Raw(131072);
        CipherEncryptBytes(reinterpret_cast<uint8_t*>(full.data()), full.size(), kUpdateFileKey);
        Seed("fuzz_update_dat", "full.dat", full);
        Seed("fuzz_update_dat", "one-block.dat", full.substr(0, 256));
    }

    // Replies cut into reads: the awaited code, then (length, bytes) chunks.
    for (uint8_t code : {0x00, 0x22, 0x11, 0x12, 0x13, 0x16, 0x18, 0x0F, 0x44}) {
        CommandFrame frame;
        frame.address = 0;
        frame.code = code;
        frame.length = code == 0x16 ? 256 : 8;
        for (std::size_t i = 0; i < frame.length; ++i) frame.payload[i] = Pattern(i);
        const std::vector<uint8_t> bytes = BuildFrameBytes(frame);
        std::string seed(1, static_cast<char>(code));
        for (std::size_t at = 0; at < bytes.size(); at += 7) {
            const std::size_t n = std::min<std::size_t>(7, bytes.size() - at);
            seed += static_cast<char>(n);
            seed.append(reinterpret_cast<const char*>(bytes.data() + at), n);
        }
        Seed("fuzz_receive", "reply-" + Hex(code, 2), seed);
    }
    return 0;
}
