#include <cstdlib>
#include <map>

#include "sim/ProgrammerBox.h"

namespace lumacrest::sim {

namespace {

bool Number(const std::string& text, long max, long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 0);
    if (*end != '\0' || v < 0 || v > max) return false;
    value = v;
    return true;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : text) {
        if (c == separator) {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    parts.push_back(part);
    return parts;
}

const std::map<std::string, FaultKind>& FaultNames() {
    static const std::map<std::string, FaultKind> names = {
        {"no-reply", FaultKind::NoReply},
        {"bad-sum", FaultKind::BadSum},
        {"wrong-start", FaultKind::WrongStart},
        {"short", FaultKind::ShortReply},
        {"late", FaultKind::LateReply},
        {"pieces", FaultKind::Pieces},
        {"wrong-echo", FaultKind::WrongEcho},
        {"echo-differs", FaultKind::EchoDiffers},
        {"duplicate", FaultKind::Duplicate},
        {"erase-fails", FaultKind::EraseFails},
        {"verify-differs", FaultKind::VerifyDiffers},
        {"iap-refused", FaultKind::IapRefused},
        {"bad-crc", FaultKind::BadCrc},
        {"short-payload", FaultKind::ShortPayload},
        {"iap-stops", FaultKind::IapStops},
    };
    return names;
}

std::optional<std::array<uint8_t, 2>> StateNamed(const std::string& name) {
    if (name == "enabled" || name == "pass") return std::array<uint8_t, 2>{0x55, 0x55};
    if (name == "disabled" || name == "fail") return std::array<uint8_t, 2>{0xAA, 0xAA};
    if (name == "verify-failed") return std::array<uint8_t, 2>{0x00, 0xFF};
    if (name == "adapter-error") return std::array<uint8_t, 2>{0xA5, 0x5A};
    if (name == "unequal") return std::array<uint8_t, 2>{0x55, 0xAA};
    return std::nullopt;
}

}  // namespace

std::string BoxUsage() {
    return "usage: lumacrest-sim --link PATH [options]\n"
           "  --link PATH          the pseudo-terminal is linked at PATH (name it in Ports.dat)\n"
           "  --kind N             programmer kind: 1, 2 or 5 (loader)        [2]\n"
           "  --number N           programmer number                          [258]\n"
           "  --fw MAJOR.MINOR     firmware version                           [2.0]\n"
           "  --max N / --used N   programming counters                       [0 / 5]\n"
           "  --adapter N          adapter id (default: the one the host asks for)\n"
           "  --chip-keycode HEX   the chip has this 16-byte KeyCode enabled (32 hex digits)\n"
           "  --keycode-state S    program-mode KeyCode state: enabled, disabled, verify-failed,\n"
           "                       adapter-error\n"
           "  --check-state S      KeyCode check answer: pass, fail, unequal\n"
           "  --fault KIND[:CODE[:TIMES[:VALUE]]]   inject a fault (repeatable); KIND is one of\n"
           "                       no-reply bad-sum wrong-start short late pieces wrong-echo\n"
           "                       echo-differs duplicate erase-fails verify-differs iap-refused\n"
           "                       bad-crc (of the settings report) short-payload (VALUE bytes\n"
           "                       of payload, a well-formed frame) iap-stops (loader erase\n"
           "                       answered 0xEE);\n"
           "                       CODE -1 or omitted: any command; TIMES -1 or omitted: always\n"
           "  --baud N             answer only after the frames' wire time at N baud   [0: off]\n"
           "  --dump PREFIX        after each exit write PREFIX.flash, .boot and .keycode\n"
           "  --send-after CODE:FRAME   after answering CODE also send FRAME on its own\n"
           "                       (0x06 DataFlash begin, 0x09 settings, 0x44 sector sum)\n"
           "  --settings TYPE:SIZE:COUNT[:OPTIONS]   stored settings of the 0x09 report: device\n"
           "                       type, flash page size and count, and option bytes 17-22 as\n"
           "                       12 hex digits (KeyCode, erase, flash, protect, -, SN)\n"
           "  --version            the version\n"
           "  --help               this text\n";
}

bool ParseBoxOptions(const std::vector<std::string>& args, BoxConfig& config, std::string& link,
                     std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (i + 1 >= args.size()) {
            error = "missing value after " + option;
            return false;
        }
        const std::string value = args[++i];
        long n = 0;
        auto bad = [&] {
            error = "bad value for " + option + ": " + value;
            return false;
        };
        if (option == "--link") {
            link = value;
        } else if (option == "--kind") {
            if (!Number(value, 255, n)) return bad();
            config.kind = static_cast<uint8_t>(n);
        } else if (option == "--number") {
            if (!Number(value, 65535, n)) return bad();
            config.number = static_cast<uint16_t>(n);
        } else if (option == "--max") {
            if (!Number(value, 65535, n)) return bad();
            config.maxCount = static_cast<uint16_t>(n);
        } else if (option == "--used") {
            if (!Number(value, 65535, n)) return bad();
            config.usedCount = static_cast<uint16_t>(n);
        } else if (option == "--adapter") {
            if (!Number(value, 255, n)) return bad();
            config.adapterId = static_cast<uint8_t>(n);
        } else if (option == "--fw") {
            const std::vector<std::string> parts = Split(value, '.');
            long minor = 0;
            if (parts.size() != 2 || !Number(parts[0], 255, n) || !Number(parts[1], 255, minor))
                return bad();
            config.fwMajor = static_cast<uint8_t>(n);
            config.fwMinor = static_cast<uint8_t>(minor);
        } else if (option == "--chip-keycode") {
            if (value.size() != 32) return bad();
            std::array<uint8_t, 16> key{};
            for (std::size_t k = 0; k < 16; ++k) {
                if (!Number("0x" + value.substr(2 * k, 2), 255, n)) return bad();
                key[k] = static_cast<uint8_t>(n);
            }
            config.chipKeyCode = key;
        } else if (option == "--keycode-state") {
            config.programModeState = StateNamed(value);
            if (!config.programModeState) return bad();
        } else if (option == "--check-state") {
            config.checkState = StateNamed(value);
            if (!config.checkState) return bad();
        } else if (option == "--fault") {
            const std::vector<std::string> parts = Split(value, ':');
            auto kind = FaultNames().find(parts[0]);
            if (kind == FaultNames().end() || parts.size() > 4) return bad();
            Fault fault;
            fault.kind = kind->second;
            auto field = [&](std::size_t at, int& out) {
                if (parts.size() <= at || parts[at].empty() || parts[at] == "-1") return true;
                long v = 0;
                if (!Number(parts[at], 0xFFFF, v)) return false;
                out = static_cast<int>(v);
                return true;
            };
            int fieldValue = 0;
            if (!field(1, fault.code) || !field(2, fault.times) || !field(3, fieldValue))
                return bad();
            fault.value = static_cast<uint32_t>(fieldValue);
            config.faults.push_back(fault);
        } else if (option == "--baud") {
            if (!Number(value, 4000000, n)) return bad();
            config.baud = static_cast<uint32_t>(n);
        } else if (option == "--dump") {
            if (value.empty()) return bad();
            config.dumpPrefix = value;
        } else if (option == "--settings") {
            const std::vector<std::string> parts = Split(value, ':');
            long size = 0, count = 0;
            if (parts.size() < 3 || parts.size() > 4 || !Number(parts[0], 65535, n) ||
                !Number(parts[1], 65535, size) || !Number(parts[2], 65535, count))
                return bad();
            auto put16 = [&](std::size_t at, long v) {
                config.settings[at] = static_cast<uint8_t>(v >> 8);
                config.settings[at + 1] = static_cast<uint8_t>(v);
            };
            put16(4, n);
            put16(6, size);
            put16(8, count);
            if (parts.size() == 4) {
                if (parts[3].size() != 12) return bad();
                for (std::size_t k = 0; k < 6; ++k) {
                    long byte = 0;
                    if (!Number("0x" + parts[3].substr(2 * k, 2), 255, byte)) return bad();
                    config.settings[17 + k] = static_cast<uint8_t>(byte);
                }
            }
        } else if (option == "--send-after") {
            const std::vector<std::string> parts = Split(value, ':');
            long frame = 0;
            if (parts.size() != 2 || !Number(parts[0], 255, n) || !Number(parts[1], 255, frame))
                return bad();
            config.unsolicited.push_back({static_cast<uint8_t>(n), static_cast<uint8_t>(frame)});
        } else {
            error = "unknown option " + option;
            return false;
        }
    }
    if (link.empty()) {
        error = "--link PATH is required";
        return false;
    }
    return true;
}

}  // namespace lumacrest::sim
