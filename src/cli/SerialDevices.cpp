#include "cli/SerialDevices.h"

#include <algorithm>
#include <filesystem>
#include <map>

namespace lumacrest::cli {

namespace {

namespace fs = std::filesystem;

std::string Canonical(const std::string& path) {
    std::error_code ec;
    const fs::path p = fs::canonical(path, ec);
    return ec ? std::string() : p.string();
}

bool StartsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

}  // namespace

std::vector<SerialDevice> ListSerialDevices(const std::string& devRoot, const PortMap& ports) {
    std::map<std::string, SerialDevice> found;  // by the device's real path
    auto add = [&found](const std::string& path) -> SerialDevice* {
        const std::string real = Canonical(path);
        if (real.empty()) return nullptr;
        SerialDevice& d = found[real];
        if (d.path.empty()) d.path = path;
        return &d;
    };
    std::error_code ec;
    for (fs::directory_iterator it(devRoot, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (StartsWith(name, "ttyUSB") || StartsWith(name, "ttyACM")) add(it->path().string());
    }
    const fs::path byIdDir = fs::path(devRoot) / "serial/by-id";
    for (fs::directory_iterator it(byIdDir, ec), end; !ec && it != end; it.increment(ec))
        if (SerialDevice* d = add(it->path().string())) {
            if (d->path == it->path().string()) d->path = Canonical(d->path);
            d->byId.push_back(it->path().string());
        }
    for (unsigned n = 1; n <= 16; ++n)
        if (const std::optional<std::string> named = ports.Device(n)) add(*named);
    std::vector<SerialDevice> devices;
    for (auto& [real, d] : found) {
        std::sort(d.byId.begin(), d.byId.end());
        if (const std::optional<unsigned> n = ports.NamingDevice(d.path))
            d.comName = "COM" + std::to_string(*n);
        devices.push_back(d);
    }
    std::sort(devices.begin(), devices.end(),
              [](const SerialDevice& a, const SerialDevice& b) { return a.path < b.path; });
    return devices;
}

std::string SerialDeviceTable(const std::vector<SerialDevice>& devices) {
    if (devices.empty())
        return "No serial device found (no /dev/ttyUSB*, /dev/ttyACM*, /dev/serial/by-id/*, and "
               "no device of Ports.dat).\n";
    std::size_t width = 6;
    for (const SerialDevice& d : devices) width = std::max(width, d.path.size());
    auto column = [](std::string text, std::size_t w) {
        text.resize(std::max(text.size(), w), ' ');
        return text + "  ";
    };
    std::string t = column("DEVICE", width) + column("COM", 5) + "BY-ID\n";
    for (const SerialDevice& d : devices) {
        std::string byId;
        for (const std::string& link : d.byId) byId += (byId.empty() ? "" : " ") + link;
        t += column(d.path, width) + column(d.comName.empty() ? "-" : d.comName, 5) +
             (byId.empty() ? "-" : byId) + "\n";
    }
    return t;
}

}  // namespace lumacrest::cli
