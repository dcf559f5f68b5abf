#include "app/RunRecords.h"

#include <cstdio>

#include "image/Checksums.h"
#include "image/ImageReader.h"
#include "platform/AtomicFile.h"

namespace lumacrest {

namespace {

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
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

std::string Field(const char* name, const std::string& json) {
    return std::string("\"") + name + "\":" + json;
}

std::string Options(const ProgramOptions& o) {
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

std::string Image(const std::string& file, uint32_t checksum) {
    return "{" + Field("file", Quoted(file)) + "," + Field("checksum", Quoted(FormatChecksum(checksum))) +
           "}";
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

// Runs that put something into a chip or read it: the device commands, a loader's transfer and
// the images the box takes for programming on its own. Finding the programmer, its settings
// and its own firmware are not records of a chip.
bool Recorded(RunKind kind) {
    return kind == RunKind::Update || kind == RunKind::Single || kind == RunKind::LoaderTransfer ||
           kind == RunKind::DataFlashDownload;
}

}  // namespace

std::string FormatRunRecord(const Host& h, const Outcome& outcome, std::time_t endedAt) {
    const Target& t = h.target;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f",
                  static_cast<double>(outcome.endedMs - outcome.startedMs) / 1000.0);
    std::string r = "{";
    r += Field("time", Quoted(IsoTime(endedAt)));
    r += "," + Field("run", Quoted(RunKindName(outcome.kind)));
    r += "," + Field("port", Quoted(h.port.name));
    r += "," + Field("device", Quoted(h.ports.Device(h.port.number).value_or("")));
    r += "," + Field("programmer", Quoted(h.programmer.name));
    r += "," + Field("firmware", Quoted(h.programmer.firmware));
    r += "," + Field("mcu", Quoted(t.mcuName));
    r += "," + Field("options", Options(outcome.options));
    r += "," + Field("flash", Image(t.FlashFilePath, FlashChecksum(t)));
    r += "," + Field("boot", Image(t.BootFilePath, BootChecksum(t)));
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
        if (!Recorded(outcome.kind)) return;
        const std::string line = FormatRunRecord(h, outcome, std::time(nullptr)) + "\n";
        if (!AppendLine(path, line) && !failed) {
            failed = true;
            if (onError) onError("cannot append the run record to " + path);
        }
    };
}

}  // namespace lumacrest
