// The station's serial-number ledger: every number issued to a chip is a row, reserved before
// the number goes into the image and marked when the run ends, so that no number is ever on
// two chips, whichever process, port or user draws it and whatever becomes of the process.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lumacrest {

// What became of an issued number.
enum class SerialState : uint8_t {
    Reserved,    // a run under way holds it
    Programmed,  // the run passed
    GivenBack,   // the run failed in a way that gives it back: the next chip may get it
    Failed,      // the run failed and kept it (the chip may hold it): never issued again
    Unknown,     // reserved by a process that ended without marking it: never issued again
};

// The word the ledger stores ("reserved", "programmed", "given back", "failed", "unknown").
const char* SerialStateName(SerialState state);
std::optional<SerialState> SerialStateFromName(const std::string& name);

// The run a number is issued to.
struct SerialIssue {
    std::string port;        // COM3
    std::string device;      // the device path behind it, if known
    std::string programmer;  // the programmer's name
    std::string mcu;
    std::string flashChecksum;  // of the image as loaded, before the number went in
    std::string bootChecksum;
    std::string runId;
};

struct SerialRow {
    int64_t id = 0;
    uint32_t number = 0;
    std::string issued;  // UTC, "YYYY-MM-DD HH:MM:SS"
    std::string marked;  // when the outcome was written; empty while none was
    SerialState state = SerialState::Reserved;
    SerialIssue issue;
};

// The numbers this station may issue, both ends included.
struct SerialRange {
    uint32_t from = 0;
    uint32_t to = 0;
};

struct SerialDraw {
    std::optional<uint32_t> number;  // the number reserved; nothing: refused
    std::string refusal;             // why nothing was reserved
    // The asked number's last issue, when it was issued already and another number is used.
    std::optional<SerialRow> askedWasIssued;
};

struct SerialListing {
    std::string error;  // non-empty: the ledger could not be read
    std::vector<SerialRow> rows;  // oldest first
    std::optional<SerialRange> range;
    uint64_t left = 0;              // numbers of the range never issued (or given back)
    std::optional<uint32_t> next;   // what a run asking for `asked` would get
};

struct SerialQuery {
    std::size_t last = 20;          // the last rows
    std::optional<uint32_t> number; // instead: every row of this number
    uint32_t asked = 0;             // the number the settings ask for
};

class SerialLedger {
public:
    virtual ~SerialLedger() = default;
    // Where it is kept, for messages.
    virtual std::string Where() const = 0;
    // Reserves a number for a chip: `asked` unless the ledger shows it issued already, then the
    // next number above it never issued. Refused when the ledger cannot be written, when
    // `asked` lies outside the station's range, or when the range is used up.
    [[nodiscard]] virtual SerialDraw Draw(uint32_t asked, const SerialIssue& issue) = 0;
    // Writes how the run that reserved `number` ended. Empty, or what went wrong.
    [[nodiscard]] virtual std::string Mark(uint32_t number, const std::string& runId,
                                           SerialState state) = 0;
    // Gives the station its range (nothing: no range). Empty, or what went wrong.
    [[nodiscard]] virtual std::string SetRange(std::optional<SerialRange> range) = 0;
    [[nodiscard]] virtual SerialListing List(const SerialQuery& query) = 0;
};

}  // namespace lumacrest
