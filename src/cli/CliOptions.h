// The command line of lumacrest-cli.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lumacrest::cli {

struct CommandSpec {
    const char* name;
    int commandId;        // resource id of the command it runs (0: none)
    bool needsDevice;     // connects to the programmer first
    bool needsArgument;   // takes a FILE argument
    const char* summary;
};

const std::vector<CommandSpec>& Commands();
const CommandSpec* FindCommand(const std::string& name);

struct CliOptions {
    std::string dir;  // empty: the executable's directory
    std::optional<std::string> port;
    std::optional<std::string> mcu;
    std::optional<std::string> flash;
    uint32_t flashAt = 0x4000;
    std::optional<std::string> boot;
    uint32_t bootAt = 0x4000;
    std::optional<std::string> keycode;
    std::optional<std::string> project;
    std::optional<uint32_t> optionMask;  // bits of the option check boxes
    std::optional<uint32_t> sn;
    std::optional<uint32_t> snAt;
    bool saveConfig = false;
    bool help = false;
    const CommandSpec* command = nullptr;
    std::string argument;
};

struct ParseResult {
    CliOptions options;
    std::string error;  // non-empty: a usage error
};

ParseResult ParseCommandLine(const std::vector<std::string>& args);

// Decimal or 0x-prefixed hexadecimal, 32 bits. Nothing for anything else.
std::optional<uint32_t> ParseNumber(const std::string& text);

// "erase,flash,boot,keycode,protect,sn" to the option-mask bits; nothing for an unknown word.
std::optional<uint32_t> ParseOptionList(const std::string& text);

std::string UsageText();

}  // namespace lumacrest::cli
