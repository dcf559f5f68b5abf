#include "cli/CliOptions.h"

#include "link/Link.h"
#include "platform/Text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace lumacrest::cli {

const std::vector<CommandSpec>& Commands() {
    static const std::vector<CommandSpec> commands = {
        {"identify", Action::None, true, false, "connect and identify the programmer"},
        {"update", Action::Update, true, false, "run the selected program options (the Update button)"},
        {"erase", Action::Erase, true, false, "erase the chip"},
        {"write-flash", Action::WriteFlash, true, false, "write the flash image"},
        {"read-flash", Action::ReadFlash, true, true, "read the chip's flash into FILE"},
        {"verify-flash", Action::VerifyFlash, true, false, "verify the flash against the image"},
        {"write-boot", Action::WriteBoot, true, false, "write and verify the boot image"},
        {"read-boot", Action::ReadBoot, true, true, "read the chip's boot area into FILE"},
        {"verify-boot", Action::VerifyBoot, true, false, "verify the boot area against the image"},
        {"write-keycode", Action::WriteKeyCode, true, false, "write and check the KeyCode"},
        {"check-keycode", Action::CheckKeyCode, true, false, "check the KeyCode"},
        {"checksum", Action::Checksum, false, false, "log the buffer checksums"},
        {"save-project", Action::SaveProject, false, true, "save a project file FILE"},
        {"combine", Action::Combine, false, true, "write the main and boot images as one HEX FILE"},
        {"package-update", Action::PackageUpdate, false, true, "package the firmware image FILE as an update file"},
        {"unpack-update", Action::UnpackUpdate, false, true, "decrypt the update file FILE"},
        {"encrypt-image", Action::EncryptImage, false, false, "encrypt the flash image and KeyCode"},
        {"decrypt-image", Action::DecryptImage, false, true, "decrypt the encrypted image FILE"},
        {"ex2hex", Action::ExToHex, false, true, "convert the .ex file FILE to HEX"},
        {"programmer-update", Action::ProgrammerUpdate, true, false, "rewrite the programmer's firmware from update.dat"},
        {"serials", Action::None, false, false, "list the serial-number ledger (with NUMBER: that number's history)"},
        {"ports", Action::None, false, false, "list the serial devices, their by-id names and COM names"},
    };
    return commands;
}

const CommandSpec* FindCommand(const std::string& name) {
    for (const CommandSpec& c : Commands())
        if (name == c.name) return &c;
    return nullptr;
}

std::optional<uint32_t> ParseNumber(const std::string& text) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    // The whole text is the number: no blanks, no sign, nothing after the digits.
    const std::optional<ScannedNumber> n = ScanNumber(text, hex ? 16 : 10, false, hex);
    if (!n || n->length != text.size() || !n->FitsUnsigned32()) return std::nullopt;
    return static_cast<uint32_t>(n->magnitude);
}

bool ParseSerialRange(const std::string& text, std::optional<std::pair<uint32_t, uint32_t>>& range) {
    range.reset();
    if (text == "none") return true;
    const std::size_t dash = text.find('-');
    if (dash == std::string::npos) return false;
    const std::optional<uint32_t> from = ParseNumber(text.substr(0, dash));
    const std::optional<uint32_t> to = ParseNumber(text.substr(dash + 1));
    if (!from || !to || *from > *to) return false;
    range = std::pair{*from, *to};
    return true;
}

std::optional<uint32_t> ParseOptionList(const std::string& text) {
    static const std::pair<const char*, uint32_t> kWords[] = {
        {"erase", 1u << 0}, {"flash", 1u << 1},   {"boot", 1u << 2},
        {"keycode", 1u << 3}, {"protect", 1u << 4}, {"sn", 1u << 5}};
    uint32_t mask = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        const std::string word = text.substr(start, comma - start);
        if (!word.empty()) {
            bool known = false;
            for (const auto& [name, bit] : kWords)
                if (word == name) {
                    mask |= bit;
                    known = true;
                }
            if (!known) return std::nullopt;
        }
        start = comma + 1;
    }
    return mask;
}

bool ParsePortList(const std::string& text, std::vector<std::string>& ports, std::string& error) {
    std::vector<std::string> list;
    std::size_t from = 0;
    while (true) {
        const std::size_t comma = text.find(',', from);
        list.push_back(text.substr(from, comma == std::string::npos ? std::string::npos : comma - from));
        if (comma == std::string::npos) break;
        from = comma + 1;
    }
    for (const std::string& port : list) {
        if (port != "USB" && port.rfind('/', 0) != 0 && ComNameToPort(port) > 16) {
            error = "unknown port " + port + " (COM1..COM16, USB or a device path)";
            return false;
        }
        if (list.size() > 1 && port == "USB") {
            error = "USB scans for one programmer: it cannot be one of several ports";
            return false;
        }
        if (std::count(list.begin(), list.end(), port) > 1) {
            error = "the port " + port + " is listed twice";
            return false;
        }
    }
    ports = std::move(list);
    return true;
}

ParseResult ParseCommandLine(const std::vector<std::string>& args) {
    ParseResult r;
    CliOptions& o = r.options;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                r.error = a + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        auto number = [&](uint32_t& out) {
            std::string text;
            if (!value(text)) return false;
            auto n = ParseNumber(text);
            if (!n) {
                r.error = a + ": not a number: " + text;
                return false;
            }
            out = *n;
            return true;
        };
        std::string text;
        uint32_t n = 0;
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--dir") {
            if (!value(o.dir)) return r;
        } else if (a == "--port") {
            if (!value(text)) return r;
            if (!ParsePortList(text, o.ports, r.error)) return r;
        } else if (a == "--mcu") {
            if (!value(text)) return r;
            o.mcu = text;
        } else if (a == "--flash") {
            if (!value(text)) return r;
            o.flash = text;
        } else if (a == "--flash-at") {
            if (!number(o.flashAt)) return r;
        } else if (a == "--boot") {
            if (!value(text)) return r;
            o.boot = text;
        } else if (a == "--boot-at") {
            if (!number(o.bootAt)) return r;
        } else if (a == "--keycode") {
            if (!value(text)) return r;
            o.keycode = text;
        } else if (a == "--project") {
            if (!value(text)) return r;
            o.project = text;
        } else if (a == "--options") {
            if (!value(text)) return r;
            o.optionMask = ParseOptionList(text);
            if (!o.optionMask) {
                r.error = "--options: unknown option in " + text;
                return r;
            }
        } else if (a == "--sn") {
            if (!number(n)) return r;
            o.sn = n;
        } else if (a == "--sn-at") {
            if (!number(n)) return r;
            o.snAt = n;
        } else if (a == "--save-config") {
            o.saveConfig = true;
        } else if (a == "--record") {
            if (!value(text)) return r;
            o.record = text;
        } else if (a == "--quiet" || a == "-q") {
            o.quiet = true;
        } else if (a == "--wait-box") {
            if (!number(o.waitBoxSeconds)) return r;
            // The wait is timed in milliseconds by a timer that takes an int.
            if (o.waitBoxSeconds > kMaxWaitBoxSeconds) {
                r.error = "--wait-box: at most " + std::to_string(kMaxWaitBoxSeconds) +
                          " seconds, not " + std::to_string(o.waitBoxSeconds);
                return r;
            }
        } else if (a == "--serials") {
            if (!value(o.serials)) return r;
        } else if (a == "--serial-range") {
            if (!value(text)) return r;
            o.setSerialRange = true;
            if (!ParseSerialRange(text, o.serialRange)) {
                r.error = "--serial-range: not FROM-TO (FROM at most TO) or none: " + text;
                return r;
            }
        } else if (a == "--last") {
            if (!number(o.last)) return r;
        } else if (a == "--json") {
            o.json = true;
        } else if (a == "--force") {
            o.force = true;
        } else if (a == "--version") {
            o.version = true;
        } else if (a.size() > 1 && a[0] == '-') {
            r.error = "unknown option " + a;
            return r;
        } else {
            positional.push_back(a);
        }
    }
    if (o.help || o.version) return r;
    if (positional.empty()) {
        r.error = "no command given";
        return r;
    }
    o.command = FindCommand(positional[0]);
    if (!o.command) {
        r.error = "unknown command " + positional[0];
        return r;
    }
    const std::size_t wanted = o.command->needsArgument ? 2 : 1;
    if (std::string(o.command->name) == "serials" && positional.size() == 2) {
        const std::optional<uint32_t> number = ParseNumber(positional[1]);
        if (!number) {
            r.error = "serials: not a number: " + positional[1];
            return r;
        }
        o.argument = positional[1];
        return r;
    }
    if (positional.size() != wanted) {
        r.error = std::string(o.command->name) +
                  (o.command->needsArgument ? " takes one FILE argument" : " takes no argument");
        return r;
    }
    if (o.command->needsArgument) o.argument = positional[1];
    // Each port's read would replace the file the one before wrote.
    if ((o.command->action == Action::ReadFlash || o.command->action == Action::ReadBoot) &&
        o.ports.size() > 1) {
        r.error = std::string(o.command->name) + " writes one FILE: give it one port";
        return r;
    }
    return r;
}

std::string UsageText() {
    std::string s =
        "Usage: lumacrest-cli [options] COMMAND [ARG]\n"
        "\n"
        "Options (without them the settings come from Config.dat in the program directory):\n"
        "  --dir DIR          the program directory (default: the executable's folder when it\n"
        "                     holds Config.dat, else $XDG_DATA_HOME/lumacrest); a new or\n"
        "                     empty one is filled from the installed data files\n"
        "  --port NAME[,...]  COM1..COM16, USB (scan), or a device path such as /dev/ttyUSB0;\n"
        "                     several, comma-separated, run the command on each at once\n"
        "  --mcu NAME         choose the MCU NAME (its NAME.cfg parameter file)\n"
        "  --flash FILE       load FILE into the flash buffer (HEX or raw)\n"
        "  --flash-at ADDR    the load address of --flash (default 0x4000)\n"
        "  --boot FILE        load FILE into the boot buffer\n"
        "  --boot-at ADDR     the load address of --boot (default 0x4000)\n"
        "  --keycode FILE     load the KeyCode from FILE\n"
        "  --project FILE     load a project file (.Prjt)\n"
        "  --options LIST     program options, comma list of erase, flash, boot, keycode,\n"
        "                     protect, sn (replaces the stored options)\n"
        "  --sn VALUE         the next serial number\n"
        "  --sn-at ADDR       the flash address of the serial number\n"
        "  --save-config      write Config.dat back at the end\n"
        "  --record FILE      append a JSON line to FILE for every device command run\n"
        "  --wait-box SECONDS after the command keep the port open for the frames the box\n"
        "                     sends on its own (a DataFlash download, its stored settings)\n"
        "  --serials FILE     the serial-number ledger (default: $LUMACREST_SERIALS, else\n"
        "                     serials.db in the program directory of a portable tree or\n"
        "                     --dir, else /var/lib/lumacrest/serials.db)\n"
        "  --serial-range FROM-TO  the numbers this station may issue, kept in the ledger;\n"
        "                     none: no range\n"
        "  --last N           serials: the last N rows (default 20)\n"
        "  --json             serials: as one JSON object\n"
        "  --force            programmer-update also on a box with the current firmware\n"
        "  --quiet            print only the outcome (and the table of several ports)\n"
        "  --version          the version\n"
        "  --help             this text\n"
        "\n"
        "Addresses and values are decimal or 0x-prefixed hexadecimal.\n"
        "\n"
        "Commands:\n";
    for (const CommandSpec& c : Commands()) {
        std::string head = std::string("  ") + c.name + (c.needsArgument ? " FILE" : "") +
                           (std::string(c.name) == "serials" ? " [NUMBER]" : "");
        head.resize(24, ' ');
        s += head + c.summary + "\n";
    }
    s += "\nExit status: 0 passed (on every port), 1 failed, 2 usage error, 128 + the signal\n"
         "when stopped by SIGINT, SIGTERM or SIGHUP.\n";
    return s;
}

}  // namespace lumacrest::cli
