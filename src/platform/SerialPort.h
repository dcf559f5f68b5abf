// The serial port as the link uses it: probe, open at the fixed line settings, a receive
// threshold, discarding input, writing, reading every buffered byte, and a notification
// on the UI thread once at least the threshold is buffered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace lumacrest {

class SerialPort {
public:
    virtual ~SerialPort() = default;

    // Opens the device read-write (not as controlling terminal) only to see that it exists,
    // is a terminal and is not held by another program; closes it again.
    virtual bool Probe(const std::string& device) = 0;
    // Opens at 115200 baud, 8 data bits, no parity, 1 stop bit; input buffer emptied,
    // threshold 1. Closes a port already open first.
    virtual bool Open(const std::string& device) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    // The receive notification fires once at least `bytes` are buffered (0: never).
    virtual void SetThreshold(std::size_t bytes) = 0;
    // Throws away every buffered byte.
    virtual void DiscardInput() = 0;
    virtual void Write(const uint8_t* data, std::size_t size) = 0;
    // Takes every buffered byte.
    virtual std::vector<uint8_t> ReadAll() = 0;
    virtual std::size_t BufferedCount() const = 0;

    // Set by the link; called on the UI thread.
    std::function<void()> onReceive;
};

}  // namespace lumacrest
