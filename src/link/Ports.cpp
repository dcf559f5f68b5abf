#include "link/Ports.h"

#include <cctype>
#include <filesystem>
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
    std::error_code ec;
    const std::filesystem::path wanted = std::filesystem::weakly_canonical(device, ec);
    for (unsigned n = 1; n <= 16; ++n) {
        const std::optional<std::string> named = Device(n);
        if (!named) continue;
        if (*named == device) return n;
        std::error_code e;
        if (!ec && std::filesystem::weakly_canonical(*named, e) == wanted && !e) return n;
    }
    return std::nullopt;
}

}  // namespace lumacrest
