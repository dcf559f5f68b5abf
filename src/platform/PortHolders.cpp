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

}  // namespace

std::string OtherHolders(const std::string& device) {
    struct stat target {};
    if (::stat(device.c_str(), &target) != 0 || !S_ISCHR(target.st_mode)) return {};
    // A pseudo-terminal's terminal side is /dev/pts/N (major 136-143): N is its index.
    const unsigned major = ::major(target.st_rdev);
    const long ptyIndex = major >= 136 && major <= 143
                              ? static_cast<long>((major - 136) * 256 + ::minor(target.st_rdev))
                              : -1;
    const std::string self = std::to_string(::getpid());
    std::error_code ec;
    std::set<std::string> holders;
    std::set<std::string> lineEnds;
    for (const fs::directory_entry& process : fs::directory_iterator("/proc", ec)) {
        const std::string pid = process.path().filename().string();
        if (!IsNumber(pid) || pid == self) continue;
        std::error_code fdError;
        for (const fs::directory_entry& fd :
             fs::directory_iterator(process.path() / "fd", fdError)) {
            struct stat st {};
            if (::stat(fd.path().c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) continue;
            if (st.st_rdev == target.st_rdev) {
                holders.insert(pid);
            } else if (ptyIndex >= 0 && ::major(st.st_rdev) == 5 && ::minor(st.st_rdev) == 2 &&
                       MasterIndex(process.path() / "fdinfo" / fd.path().filename()) ==
                           ptyIndex) {
                lineEnds.insert(pid);
            }
        }
    }
    std::ostringstream out;
    for (const std::string& pid : holders) {
        if (lineEnds.count(pid)) continue;
        if (out.tellp() > 0) out << ", ";
        out << ProgramName(pid) << " (pid " << pid << ")";
    }
    return out.str();
}

}  // namespace lumacrest
