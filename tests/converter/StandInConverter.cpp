// Stand-in for the external converter "e.exe": `e.exe <name>.ex -o` reads the input as raw
// bytes and writes <name>.hex beside it as Intel HEX, 16 data bytes a record, followed by
// the end record. Exit code 0 on success, 1 when a file cannot be read or written.
#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2) return 1;
    std::string input = argv[1];
    std::string output = input;
    if (output.size() >= 3 && output.compare(output.size() - 3, 3, ".ex") == 0)
        output.resize(output.size() - 3);
    output += ".hex";

    std::FILE* in = std::fopen(input.c_str(), "rb");
    if (!in) return 1;
    std::FILE* out = std::fopen(output.c_str(), "w");
    if (!out) {
        std::fclose(in);
        return 1;
    }
    unsigned char data[16];
    unsigned address = 0;
    std::size_t n;
    while ((n = std::fread(data, 1, sizeof data, in)) > 0) {
        unsigned sum = static_cast<unsigned>(n) + (address >> 8 & 0xFF) + (address & 0xFF);
        std::fprintf(out, ":%02X%04X00", static_cast<unsigned>(n), address & 0xFFFF);
        for (std::size_t i = 0; i < n; ++i) {
            std::fprintf(out, "%02X", data[i]);
            sum += data[i];
        }
        std::fprintf(out, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
        address += static_cast<unsigned>(n);
    }
    std::fprintf(out, ":00000001FF\n");
    std::fclose(in);
    return std::fclose(out) == 0 ? 0 : 1;
}
