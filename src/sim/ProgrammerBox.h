// A simulated programmer box with a simulated target chip. It takes the bytes the host writes
// and returns the bytes it sends back, cut into timed chunks, so that it runs both in-process
// (tests, benchmarks) and behind a pseudo-terminal (lumacrest-sim).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace lumacrest::sim {

// Bytes to send after waiting `delayMs` (counted from the previous chunk).
struct Chunk {
    std::vector<uint8_t> bytes;
    uint32_t delayMs = 0;
};

enum class FaultKind {
    NoReply,        // the reply is not sent
    BadSum,         // the sum byte is off by one
    WrongStart,     // the start byte is 0x7D
    ShortReply,     // the last `value` bytes (default 1) are not sent
    LateReply,      // the reply waits `value` ms (default 1500)
    Pieces,         // the reply goes out in pieces of `value` bytes (default 3), 2 ms apart
    WrongEcho,      // the reply carries another code than the command's
    EchoDiffers,    // an echoed block (firmware, DataFlash) differs in its first byte
    Duplicate,      // the reply is sent twice, the copy `value` ms after it (default 1)
    EraseFails,     // the chip erase reports failure (payload byte 0 = 0)
    VerifyDiffers,  // the page returned for verify block `value` differs in its first byte
    IapRefused,     // the loader refuses its erase (byte 1 = 1) or a block (byte 0 = 1)
    BadCrc,         // the stored-settings report carries a CRC off by one
    ShortPayload,   // a well-formed reply whose payload is cut to `value` bytes (default 0)
    IapStops,       // the loader answers its erase with 0xEE: it stops the transfer
};

struct Fault {
    FaultKind kind = FaultKind::NoReply;
    int code = -1;   // the command code it applies to; -1: any
    int times = -1;  // how many replies it affects; -1: all
    uint32_t value = 0;
};

// A frame the box sends on its own right after its reply to `afterCode`. Code 0x06 carries
// the payload of the command just received, 0x09 the stored settings, 0x44 a sector-sum
// request; any other code goes out with an empty payload (a stray frame).
struct Unsolicited {
    uint8_t afterCode = 0;
    uint8_t frameCode = 0x09;
};

struct BoxConfig {
    uint8_t fwMajor = 2;
    uint8_t fwMinor = 0;
    uint8_t kind = 2;
    uint16_t number = 258;
    uint16_t maxCount = 0;
    uint16_t usedCount = 5;
    // Adapter id in the program-mode reply; by default the adapter code the host asks for.
    std::optional<uint8_t> adapterId;
    // KeyCode state bytes of the program-mode reply and of the KeyCode check; by default
    // they follow the simulated chip.
    std::optional<std::array<uint8_t, 2>> programModeState;
    std::optional<std::array<uint8_t, 2>> checkState;
    // The chip's KeyCode, when it has one enabled.
    std::optional<std::array<uint8_t, 16>> chipKeyCode;
    // Stored settings (payload bytes 0-62 of the 0x09 report; the CRC is added).
    std::array<uint8_t, 63> settings{};
    std::vector<Fault> faults;
    std::vector<Unsolicited> unsolicited;
    // Behind a pseudo-terminal: the line rate the box paces its answers at (0: no pacing),
    // and where it writes its memories (PREFIX.flash, .boot, .keycode) after each exit.
    uint32_t baud = 0;
    std::string dumpPrefix;
};

class ProgrammerBox {
  public:
    static constexpr std::size_t kFlashSize = 300000;
    static constexpr std::size_t kBootSize = 8192;

    explicit ProgrammerBox(BoxConfig config = {});

    // Bytes from the host; frames may be split or joined arbitrarily. Returns what to send.
    std::vector<Chunk> Receive(const uint8_t* data, std::size_t size);
    std::vector<Chunk> Receive(const std::vector<uint8_t>& data) {
        return Receive(data.data(), data.size());
    }

    BoxConfig& config() { return config_; }
    std::vector<uint8_t>& flash() { return flash_; }
    std::vector<uint8_t>& boot() { return boot_; }
    bool keyCodeEnabled() const { return keyCodeEnabled_; }
    const std::array<uint8_t, 16>& chipKeyCode() const { return chipKeyCode_; }
    std::optional<uint8_t> lastExitResult() const { return lastExitResult_; }
    uint16_t usedCount() const { return config_.usedCount; }
    const std::vector<uint8_t>& firmwareImage() const { return firmware_; }
    // Codes of the well-formed frames received, in order.
    const std::vector<uint8_t>& received() const { return received_; }
    // What happened, one line per event ("rx 0x00", "exit result 1", "bad sum", ...).
    const std::vector<std::string>& events() const { return events_; }
    std::function<void(const std::string&)> onEvent;

    // A frame as the box sends it.
    static std::vector<uint8_t> Frame(uint8_t code, const std::vector<uint8_t>& payload);

  private:
    void Event(const std::string& text);
    // The reply payload of a command; nothing when the box does not answer it.
    std::optional<std::vector<uint8_t>> Answer(uint8_t code, const std::vector<uint8_t>& p);
    std::vector<uint8_t> ReadPage(const std::vector<uint8_t>& memory, uint32_t block,
                                  uint32_t pageSize) const;
    void Program(std::vector<uint8_t>& memory, std::size_t offset, const uint8_t* data,
                 std::size_t size);
    Fault* TakeFault(FaultKind kind, uint8_t code);
    void Deliver(uint8_t code, std::vector<uint8_t> payload, std::vector<Chunk>& out);
    std::vector<uint8_t> UnsolicitedPayload(uint8_t frameCode,
                                            const std::vector<uint8_t>& lastPayload);

    BoxConfig config_;
    std::vector<uint8_t> rx_;
    std::vector<uint8_t> flash_;
    std::vector<uint8_t> boot_;
    std::vector<uint8_t> firmware_;
    std::array<uint8_t, 16> chipKeyCode_{};
    std::array<uint8_t, 16> hostKeyCode_{};
    bool keyCodeEnabled_ = false;
    uint32_t flashPageSize_ = 256;
    uint32_t bootPageSize_ = 256;
    std::size_t iapOffset_ = 0;
    std::optional<uint8_t> lastExitResult_;
    std::vector<uint8_t> received_;
    std::vector<std::string> events_;
};

// Parses the options of lumacrest-sim into `config`; `link` receives the --link path. On an
// error returns false with `error` set.
bool ParseBoxOptions(const std::vector<std::string>& args, BoxConfig& config, std::string& link,
                     std::string& error);

// The usage text of lumacrest-sim.
std::string BoxUsage();

}  // namespace lumacrest::sim
