// The port names of the COM list and the devices they stand for: Ports.dat in the program
// directory maps "COMn" to a device path.
#pragma once

#include <map>
#include <optional>
#include <string>

namespace lumacrest {

inline constexpr const char* kPortsFileName = "Ports.dat";

// "USB" gives 0, "COM1" to "COM16" give 1 to 16 (whole names only), anything else 20.
uint8_t ComNameToPort(const std::string& name);

// The port of the COM list the programmer was found on (or chosen): every operation opens it.
struct PortChoice {
    std::string name = "USB";
    uint8_t number = 0;
};

class PortMap {
public:
    // `programDir` (ending in '/') is where Ports.dat is read from, each time it is asked.
    explicit PortMap(const std::string& programDir) : programDir_(programDir) {}

    // The device that "COM<n>" stands for (lines "COMn DEVICE"); nothing when the file or
    // the line is missing.
    std::optional<std::string> Device(unsigned portNumber) const;
    // The COMn whose line names `device` (the same file, also through links); nothing when
    // no line does.
    std::optional<unsigned> NamingDevice(const std::string& device) const;

    // Devices that stand for "COM<n>" in this run before Ports.dat is asked (the CLI's --port
    // with a device path).
    std::map<unsigned, std::string> overrides;

private:
    const std::string& programDir_;
};

}  // namespace lumacrest
