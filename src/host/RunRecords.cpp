#include "host/RunRecords.h"

#include <cstdio>

#include "image/Checksums.h"
#include "image/ImageReader.h"
#include "platform/AtomicFile.h"

namespace lumacrest {

namespace {

// The length of the UTF-8 sequence at `at`, or 0 when the bytes there are no valid one.
std::size_t Utf8Length(const std::string& text, std::size_t at) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char c = byte(at);
    if (c < 0x80) return 1;
    std::size_t length = 0;
    uint32_t lowest = 0;
    if (c >= 0xC2 && c <= 0xDF) length = 2, lowest = 0x80;
    else if (c >= 0xE0 && c <= 0xEF) length = 3, lowest = 0x800;
    else if (c >= 0xF0 && c <= 0xF4) length = 4, lowest = 0x10000;
    else return 0;
    if (at + length > text.size()) return 0;
    uint32_t code = c & (0x3F >> (length - 1));
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(at + k) & 0xC0) != 0x80) return 0;
        code = code << 6 | (byte(at + k) & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code < lowest || code > 0x10FFFF || surrogate ? 0 : length;
}

bool ValidUtf8(const std::string& text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t n = Utf8Length(text, at);
        if (n == 0) return false;
        at += n;
    }
    return true;
}


std::string HexBytes(const std::string& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += kDigits[c >> 4];
        hex += kDigits[c & 0xF];
    }
    return hex;
}

std::string Field(const char* name, const std::string& json) {
    return std::string("\"") + name + "\":" + json;
}

std::string Options(const Outcome& outcome) {
    const ProgramOptions& o = outcome.options;
    std::string list;
    auto add = [&list](bool on, const char* word) {
        if (!on) return;
        if (!list.empty()) list += ",";
        list += Quoted(word);
    };
    add(o.eraseChip, "erase");
    add(o.programFlash, "flash");
    add(o.programBoot, "boot");
    add(o.programKeyCode, "keycode");
    add(o.enableProtect, "protect");
    add(o.programSn, "sn");
    return "[" + list + "]";
}

// The options a single operation ran with: its verify after the write, if it had one.
std::string OperationOptions(const Outcome& outcome) {
    if (outcome.kind == RunKind::Update) return Options(outcome);
    return outcome.verifyAfterWrite ? "[\"verify\"]" : "[]";
}

// The file the buffer was loaded from, its checksum as it stands, and whether the editor
// changed it since. A name that is not UTF-8 also comes as its bytes in hex.
std::string Image(const std::string& file, uint32_t checksum, bool edited) {
    std::string image = "{" + Field("file", Quoted(file));
    if (!ValidUtf8(file)) image += "," + Field("file_hex", Quoted(HexBytes(file)));
    image += "," + Field("checksum", Quoted(FormatChecksum(checksum)));
    if (edited) image += "," + Field("edited", "true");
    return image + "}";
}

// "flash_placed":["0x4000-0x8E1F"],"flash_left_out":0
std::string Account(const char* name, const LoadAccount& account) {
    std::string ranges;
    for (const AddressRange& r : account.placed)
        ranges += (ranges.empty() ? "" : ",") + Quoted(FormatRange(r));
    return Field((std::string(name) + "_placed").c_str(), "[" + ranges + "]") + "," +
           Field((std::string(name) + "_left_out").c_str(), std::to_string(account.leftOutBytes));
}

std::string IsoTime(std::time_t t) {
    std::tm utc{};
    gmtime_r(&t, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string KnownOr(const std::string& value) { return value.empty() ? "unknown" : value; }

// The runs that look after the box itself rather than the chip in its socket.
bool Maintains(RunKind kind) {
    return kind == RunKind::FirmwareRewrite || kind == RunKind::SettingsReport ||
           kind == RunKind::SectorSums;
}

// Every run is recorded but a connect that found its programmer: the command after it is
// recorded with the programmer it found.
bool Recorded(const Outcome& outcome) {
    const bool connect = outcome.kind == RunKind::Identify || outcome.kind == RunKind::Scan;
    return !(connect && outcome.Passed());
}

}  // namespace

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (std::size_t at = 0; at < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        const std::size_t n = Utf8Length(text, at);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++at;
            continue;
        }
        if (n > 1) {
            out.append(text, at, n);
            at += n;
            continue;
        }
        ++at;
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    out += escaped;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

std::string FormatRunRecord(const Host& h, const Outcome& outcome, std::time_t endedAt) {
    const Target& t = h.target;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f",
                  static_cast<double>(outcome.endedMs - outcome.startedMs) / 1000.0);
    std::string r = "{";
    r += Field("time", Quoted(IsoTime(endedAt)));
    r += "," + Field("run_id", Quoted(outcome.runId));
    r += "," + Field("run", Quoted(RunKindName(outcome.kind)));
    r += "," + Field("operation", Quoted(outcome.operation));
    r += "," + Field("port", Quoted(h.port.name));
    r += "," + Field("device", Quoted(h.ports.Device(h.port.number).value_or("")));
    // The window does not identify the box on the port its settings name: nothing says then
    // which programmer ran.
    r += "," + Field("programmer", Quoted(KnownOr(h.programmer.name)));
    r += "," + Field("firmware", Quoted(KnownOr(h.programmer.firmware)));
    if (Maintains(outcome.kind)) {
        // The box's own number and firmware: a rewrite leaves it to be restarted, and only
        // the identification after that could say what it runs now.
        r += "," + Field("programmer_number", h.programmer.number
                                                   ? std::to_string(*h.programmer.number)
                                                   : std::string("null"));
        const std::string before = KnownOr(h.programmer.firmware);
        r += "," + Field("firmware_before", Quoted(before));
        r += "," + Field("firmware_after",
                         Quoted(outcome.kind == RunKind::FirmwareRewrite ? "unknown" : before));
    }
    r += "," + Field("mcu", Quoted(t.mcuName));
    r += "," + Field("options", OperationOptions(outcome));
    r += "," + Field("flash", Image(t.FlashFilePath, FlashChecksum(t), t.loaded.flashEdited));
    r += "," + Field("boot", Image(t.BootFilePath, BootChecksum(t), t.loaded.bootEdited));
    r += "," + Account("flash", t.flashLoad) + "," + Account("boot", t.bootLoad);
    if (outcome.serialNumber) r += "," + Field("sn", std::to_string(*outcome.serialNumber));
    r += "," + Field("outcome", Quoted(outcome.Passed() ? "pass" : "fail"));
    if (!outcome.Passed()) {
        r += "," + Field("stage", Quoted(StageName(outcome.stage)));
        r += "," + Field("reason", Quoted(outcome.text));
    }
    r += "," + Field("seconds", seconds);
    return r + "}";
}

void RecordRuns(Host& h, const std::string& path, std::function<void(const std::string&)> onError) {
    auto earlier = std::move(h.onRunEnded);
    h.onRunEnded = [&h, path, onError = std::move(onError), earlier = std::move(earlier),
                    failed = false](const Outcome& outcome) mutable {
        if (earlier) earlier(outcome);
        if (!Recorded(outcome)) return;
        const std::string line = FormatRunRecord(h, outcome, std::time(nullptr)) + "\n";
        if (!AppendLine(path, line) && !failed) {
            failed = true;
            if (onError) onError("cannot append the run record to " + path);
        }
    };
}

}  // namespace lumacrest
