#include "platform/DeviceIdentity.h"

#include <sys/stat.h>

namespace lumacrest {

std::optional<DeviceId> IdentifyDevice(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return std::nullopt;
    DeviceId id;
    id.special = S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode);
    if (id.special) {
        id.device = st.st_rdev;
    } else {
        id.fileSystem = st.st_dev;
        id.inode = st.st_ino;
    }
    return id;
}

bool SameDevice(const std::string& a, const std::string& b) {
    const std::optional<DeviceId> first = IdentifyDevice(a);
    const std::optional<DeviceId> second = IdentifyDevice(b);
    return first && second && *first == *second;
}

}  // namespace lumacrest
