#include "platform/PortHolders.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace lumacrest {

namespace {

namespace fs = std::filesystem;

bool IsNumber(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

// The pseudo-terminal index a master descriptor stands for (its fdinfo "tty-index"), or -1.
long MasterIndex(const fs::path& fdinfo) {
    std::ifstream in(fdinfo);
    std::string key;
    while (in >> key) {
        if (key == "tty-index:") {
            long index = -1;
            in >> index;
            return index;
        }
        std::string rest;
        std::getline(in, rest);
    }
    return -1;
}

std::string ProgramName(const std::string& pid) {
    std::ifstream in("/proc/" + pid + "/comm");
    std::string name;
    std::getline(in, name);
    return name.empty() ? "?" : name;
}

// The pseudo-terminal index of a terminal side /dev/pts/N (majors 136-143), or -1.
long PtyIndex(dev_t device) {
    const unsigned major = ::major(device);
    return major >= 136 && major <= 143 ? static_cast<long>((major - 136) * 256 + ::minor(device))
                                        : -1;
}

}  // namespace

std::string OtherHolders(const std::string& device) {
    HolderScan scan;
    return scan.OtherHolders(device);
}

void HolderScan::Walk() {
    holders_.clear();
    lineEnds_.clear();
    ++walks_;
    const long self = static_cast<long>(::getpid());
    // Every look-up goes from an open directory, not from the root: a path per descriptor
    // would walk /proc/PID/fd again for each of them.
    DIR* proc = ::opendir("/proc");
    if (!proc) return;
    while (const dirent* process = ::readdir(proc)) {
        if (!IsNumber(process->d_name)) continue;
        const long number = std::atol(process->d_name);
        if (number == self) continue;
        const std::string fdPath = std::string(process->d_name) + "/fd";
        const int fdDir =
            ::openat(::dirfd(proc), fdPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fdDir < 0) continue;  // gone meanwhile, or not ours to look at
        DIR* fds = ::fdopendir(fdDir);
        if (!fds) {
            ::close(fdDir);
            continue;
        }
        while (const dirent* fd = ::readdir(fds)) {
            if (fd->d_name[0] == '.') continue;
            struct stat st {};
            if (::fstatat(fdDir, fd->d_name, &st, 0) != 0 || !S_ISCHR(st.st_mode)) continue;
            holders_[st.st_rdev].insert(number);
            if (::major(st.st_rdev) == 5 && ::minor(st.st_rdev) == 2) {
                const long index = MasterIndex(fs::path("/proc") / process->d_name / "fdinfo" /
                                               fd->d_name);
                if (index >= 0) lineEnds_[index].insert(number);
            }
        }
        ::closedir(fds);
    }
    ::closedir(proc);
    taken_ = true;
    takenAt_ = std::chrono::steady_clock::now();
}

std::string HolderScan::OtherHolders(const std::string& device) {
    struct stat target {};
    if (::stat(device.c_str(), &target) != 0 || !S_ISCHR(target.st_mode)) return {};
    if (!taken_ || std::chrono::steady_clock::now() - takenAt_ > lifetime_) Walk();
    const auto held = holders_.find(target.st_rdev);
    if (held == holders_.end()) return {};
    const long ptyIndex = PtyIndex(target.st_rdev);
    const auto ends = ptyIndex >= 0 ? lineEnds_.find(ptyIndex) : lineEnds_.end();
    std::ostringstream out;
    for (const long pid : held->second) {
        if (ends != lineEnds_.end() && ends->second.count(pid)) continue;
        if (out.tellp() > 0) out << ", ";
        out << ProgramName(std::to_string(pid)) << " (pid " << pid << ")";
    }
    return out.str();
}

}  // namespace lumacrest
