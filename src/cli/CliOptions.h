// The command line of lumacrest-cli.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace lumacrest::cli {

// What a command does on the host.
enum class Action {
    None,  // identify, serials, ports: nothing after the connection
    Update,
    Erase,
    WriteFlash,
    ReadFlash,
    VerifyFlash,
    WriteBoot,
    ReadBoot,
    VerifyBoot,
    WriteKeyCode,
    CheckKeyCode,
    Checksum,
    SaveProject,
    Combine,
    PackageUpdate,
    UnpackUpdate,
    EncryptImage,
    DecryptImage,
    ExToHex,
    ProgrammerUpdate,
};

struct CommandSpec {
    const char* name;
    Action action;
    bool needsDevice;     // connects to the programmer first
    bool needsArgument;   // takes a FILE argument
    const char* summary;
};

const std::vector<CommandSpec>& Commands();
const CommandSpec* FindCommand(const std::string& name);

// The longest --wait-box.
inline constexpr uint32_t kMaxWaitBoxSeconds = 2147483;

struct CliOptions {
    std::string dir;  // empty: the executable's directory
    // The ports the command runs on, all at once (none given: the one Config.dat holds).
    std::vector<std::string> ports;
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
    std::optional<std::string> record;  // append a record of every run to this file
    bool quiet = false;                 // print only the outcome (and the table)
    uint32_t waitBoxSeconds = 0;        // keep the port open for the box's own frames
    std::string serials;                // the serial-number ledger; empty: where it belongs
    // --serial-range FROM-TO: the numbers this station may issue; "none" (nothing inside) ends it.
    bool setSerialRange = false;
    std::optional<std::pair<uint32_t, uint32_t>> serialRange;
    uint32_t last = 20;                 // serials: how many rows
    bool json = false;                  // serials: as JSON
    bool force = false;                 // programmer-update also on the current firmware
    bool help = false;
    bool version = false;
    const CommandSpec* command = nullptr;
    std::string argument;
};

struct ParseResult {
    CliOptions options;
    std::string error;  // non-empty: a usage error
};

ParseResult ParseCommandLine(const std::vector<std::string>& args);

// "COM3,COM4" into its ports. A name other than USB, COM1..COM16 or a device path, USB among
// several, or a port listed twice is refused with `error`.
bool ParsePortList(const std::string& text, std::vector<std::string>& ports, std::string& error);

// "FROM-TO" (FROM <= TO) into `range`, or "none" (nothing). False for anything else.
bool ParseSerialRange(const std::string& text, std::optional<std::pair<uint32_t, uint32_t>>& range);

// Decimal or 0x-prefixed hexadecimal, 32 bits. Nothing for anything else.
std::optional<uint32_t> ParseNumber(const std::string& text);

// "erase,flash,boot,keycode,protect,sn" to the option-mask bits; nothing for an unknown word.
std::optional<uint32_t> ParseOptionList(const std::string& text);

std::string UsageText();

}  // namespace lumacrest::cli
