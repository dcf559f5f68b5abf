#include "platform/PortHolders.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cctype>
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
    const std::string self = std::to_string(::getpid());
    std::error_code ec;
    for (const fs::directory_entry& process : fs::directory_iterator("/proc", ec)) {
        const std::string pid = process.path().filename().string();
        if (!IsNumber(pid) || pid == self) continue;
        const long number = std::stol(pid);
        std::error_code fdError;
        for (const fs::directory_entry& fd :
             fs::directory_iterator(process.path() / "fd", fdError)) {
            struct stat st {};
            if (::stat(fd.path().c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) continue;
            holders_[st.st_rdev].insert(number);
            if (::major(st.st_rdev) == 5 && ::minor(st.st_rdev) == 2) {
                const long index = MasterIndex(process.path() / "fdinfo" / fd.path().filename());
                if (index >= 0) lineEnds_[index].insert(number);
            }
        }
    }
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
