// The serial port as the link uses it: probe, open at the fixed line settings, a receive
// threshold, discarding input, writing, reading every buffered byte, a notification on the
// UI thread once at least the threshold is buffered, and one when the port goes away.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace lumacrest {

// Why a port cannot be used.
enum class PortError : uint8_t {
    None,
    Missing,           // no such device
    NotATerminal,      // the device is no serial line
    Held,              // another program has it open; the detail names it
    PermissionDenied,  // this user may not open it
    Failed,            // any other reason; the detail gives the system's words
};

struct [[nodiscard]] PortStatus {
    PortError error = PortError::None;
    std::string detail;

    bool Ok() const { return error == PortError::None; }
    static PortStatus Fine() { return {}; }
};

class SerialPort {
public:
    virtual ~SerialPort() = default;

    // Opens the device read-write (not as controlling terminal) only to see that it exists,
    // is a terminal and is not held by another program; closes it again.
    virtual PortStatus Probe(const std::string& device) = 0;
    // Opens at 115200 baud, 8 data bits, no parity, 1 stop bit, exclusively; input buffer
    // emptied, threshold 1. Closes a port already open first. A device another program holds
    // is refused.
    virtual PortStatus Open(const std::string& device) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // Asks the driver to hand on received bytes at once instead of batching them (USB serial
    // adapters otherwise hold them for milliseconds). False where the driver has no such mode,
    // a pseudo-terminal for one; the port works either way.
    virtual bool RequestLowLatency() = 0;

    // The receive notification fires once at least `bytes` are buffered (0: never).
    virtual void SetThreshold(std::size_t bytes) = 0;
    // Throws away every buffered byte.
    virtual void DiscardInput() = 0;
    // False when the bytes could not be handed to the line: the port is lost.
    [[nodiscard]] virtual bool Write(const uint8_t* data, std::size_t size) = 0;
    // Takes every buffered byte.
    virtual std::vector<uint8_t> ReadAll() = 0;
    virtual std::size_t BufferedCount() const = 0;

    // Set by the link; called on the UI thread.
    std::function<void()> onReceive;
    // The open port went away (unplugged, an I/O error). The port is closed when it is called,
    // once per open.
    std::function<void(const std::string& why)> onLost;
};

}  // namespace lumacrest
