// Which device a path stands for, told by the device itself rather than by the spelling of
// the path: a Ports.dat path, its real path and a /dev/serial/by-id link are one device.
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

namespace lumacrest {

struct DeviceId {
    dev_t device = 0;  // the device a character special file stands for (st_rdev)
    dev_t fileSystem = 0;  // for other files: where it lives and which it is
    ino_t inode = 0;
    bool special = false;

    bool operator==(const DeviceId& other) const {
        if (special != other.special) return false;
        return special ? device == other.device
                       : fileSystem == other.fileSystem && inode == other.inode;
    }
};

// The identity of what `path` names, links followed; nothing when it does not exist.
[[nodiscard]] std::optional<DeviceId> IdentifyDevice(const std::string& path);

// True when both paths name the same existing device.
[[nodiscard]] bool SameDevice(const std::string& a, const std::string& b);

}  // namespace lumacrest
