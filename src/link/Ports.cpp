#include "link/Ports.h"

#include "platform/DeviceIdentity.h"

#include <cctype>
#include <fstream>
#include <sstream>

namespace lumacrest {

uint8_t ComNameToPort(const std::string& name) {
    if (name == "USB") return 0;
    for (unsigned n = 1; n <= 16; ++n)
        if (name == "COM" + std::to_string(n)) return static_cast<uint8_t>(n);
    return 20;
}

std::optional<std::string> PortMap::Device(unsigned portNumber) const {
    if (auto it = overrides.find(portNumber); it != overrides.end()) return it->second;
    std::ifstream in(programDir_ + kPortsFileName);
    if (!in) return std::nullopt;
    const std::string wanted = "COM" + std::to_string(portNumber);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream words(line);
        std::string name;
        if (!(words >> name) || name != wanted) continue;
        std::string device;
        std::getline(words >> std::ws, device);
        while (!device.empty() && std::isspace(static_cast<unsigned char>(device.back())))
            device.pop_back();
        if (device.empty()) return std::nullopt;
        return device;
    }
    return std::nullopt;
}

std::optional<unsigned> PortMap::NamingDevice(const std::string& device) const {
    for (unsigned n = 1; n <= 16; ++n) {
        const std::optional<std::string> named = Device(n);
        if (!named) continue;
        // The device tells, not the spelling: a real path and a by-id link name one device.
        if (*named == device || SameDevice(*named, device)) return n;
    }
    return std::nullopt;
}

}  // namespace lumacrest
