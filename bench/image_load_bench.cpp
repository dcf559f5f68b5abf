// Loads a HEX image that fills the whole flash buffer (300000 bytes), every record checksum
// verified, and computes the buffer checksums, as Load Flash File does; prints the time of each
// run and the best beside its target. Then the same for an ELF file of the same bytes.
#include <unistd.h>

#include <chrono>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>
#include <string>

#include "image/Checksums.h"
#include "image/DeviceCatalogue.h"
#include "image/ImageLoading.h"

using namespace lumacrest;

namespace {
std::string HexImage(std::size_t size, uint32_t base) {
    std::string text;
    char line[64];
    uint32_t segment = 0xFFFFFFFF;
    for (std::size_t at = 0; at < size; at += 16) {
        const uint32_t address = base + static_cast<uint32_t>(at);
        if ((address >> 16) != segment) {
            segment = address >> 16;
            const unsigned value = segment << 12;
            std::snprintf(line, sizeof line, ":02000002%04X%02X\n", value,
                          (0x100 - ((4 + (value >> 8) + (value & 0xFF)) & 0xFF)) & 0xFF);
            text += line;
        }
        std::snprintf(line, sizeof line, ":10%04X00", address & 0xFFFF);
        text += line;
        unsigned sum = 0x10 + ((address >> 8) & 0xFF) + (address & 0xFF);
        for (int i = 0; i < 16; ++i) {
            const unsigned b = static_cast<unsigned>((at + i) * 7 % 251);
            sum += b;
            std::snprintf(line, sizeof line, "%02X", b);
            text += line;
        }
        std::snprintf(line, sizeof line, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
        text += line;
    }
    return text + ":00000001FF\n";
}

// A little-endian ELF32 executable with one loadable segment of `size` bytes at `base`, the
// bytes of HexImage.
std::string ElfImage(std::size_t size, uint32_t base) {
    std::string out;
    auto put = [&out](uint32_t v, int n) {
        for (int i = 0; i < n; ++i) out += static_cast<char>(v >> (8 * i));
    };
    out = std::string("\x7f" "ELF\x01\x01\x01", 7);
    out.resize(16, '\0');
    put(2, 2), put(40, 2), put(1, 4), put(base, 4), put(52, 4), put(0, 4), put(0, 4);
    put(52, 2), put(32, 2), put(1, 2), put(40, 2), put(0, 2), put(0, 2);
    put(1, 4), put(84, 4), put(base, 4), put(base, 4);  // PT_LOAD at file offset 84
    put(static_cast<uint32_t>(size), 4), put(static_cast<uint32_t>(size), 4), put(5, 4), put(1, 4);
    for (std::size_t at = 0; at < size; ++at) out += static_cast<char>(at * 7 % 251);
    return out;
}

void Write(const std::string& path, const std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::exit(1);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

// Best of 10 loads and checksums of `path`, which must load 300000 bytes.
double Best(const char* what, const std::string& path, Target& target) {
    double best = 1e9;
    for (int run = 0; run < 10; ++run) {
        const auto start = std::chrono::steady_clock::now();
        std::optional<uint32_t> end = LoadImageFile(target, ImageTarget::Flash, path, 0x4000);
        ComputeChecksums(target);
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        if (!end || *end != 300000) {
            std::printf("load failed\n");
            std::exit(1);
        }
        best = std::min(best, ms);
        std::printf("run %d: load + checksums of 300000 bytes of %s: %.2f ms\n", run, what, ms);
    }
    return best;
}
}  // namespace

int main() {
    const std::string path = "/tmp/lumacrest-bench-" + std::to_string(::getpid()) + ".hex";
    Write(path, HexImage(300000, 0x4000));
    Target target;
    SetPageGeometry(target, 1000, 300, 256, 32);  // the whole 300000-byte buffer is used

    const double best = Best("HEX", path, target);
    std::printf("best of 10: %.2f ms (target: under 5 ms, record checksums verified)\n", best);
    const std::vector<uint8_t> fromHex(target.buf().flash.begin(), target.buf().flash.end());

    const std::string elf = "/tmp/lumacrest-bench-" + std::to_string(::getpid()) + ".elf";
    Write(elf, ElfImage(300000, 0x4000));
    const double bestElf = Best("ELF", elf, target);
    std::remove(elf.c_str());
    std::printf("best of 10: %.2f ms for ELF (target: no slower than HEX)\n", bestElf);
    if (!std::equal(fromHex.begin(), fromHex.end(), target.buf().flash.begin())) {
        std::printf("the ELF file gave other bytes than the HEX file\n");
        return 1;
    }

    // The same file with one data digit changed must be refused: the checksums were checked.
    {
        std::string text = HexImage(300000, 0x4000);
        text[text.size() / 2 + (text[text.size() / 2] == '\n' ? 1 : 0)] ^= 1;
        std::FILE* f = std::fopen(path.c_str(), "w");
        if (!f) return 1;
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
        if (LoadImageFile(target, ImageTarget::Flash, path, 0x4000)) {
            std::printf("a damaged file was loaded: checksums are not verified\n");
            return 1;
        }
    }
    std::remove(path.c_str());
    return 0;
}
