// The serial devices present on this machine, their stable names under /dev/serial/by-id and
// the COM name Ports.dat gives each (`lumacrest-cli ports`).
#pragma once

#include <string>
#include <vector>

#include "link/Ports.h"

namespace lumacrest::cli {

struct SerialDevice {
    std::string path;               // /dev/ttyUSB0, or a device Ports.dat names (a link)
    std::vector<std::string> byId;  // /dev/serial/by-id/... links to it
    std::string comName;            // COMn of the first line of Ports.dat naming it; or empty
};

// USB serial adapters and modems (ttyUSB*, ttyACM*) under `devRoot`, every device a by-id link
// leads to, and the devices of Ports.dat that exist; sorted by path.
std::vector<SerialDevice> ListSerialDevices(const std::string& devRoot, const PortMap& ports);

// A table of them, or a line saying none was found.
std::string SerialDeviceTable(const std::vector<SerialDevice>& devices);

}  // namespace lumacrest::cli
