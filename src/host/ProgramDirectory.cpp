#include "host/ProgramDirectory.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "host/Sha256.h"
#include "host/Config.h"
#include "platform/AtomicFile.h"

namespace lumacrest {

namespace {

namespace fs = std::filesystem;

constexpr const char* kInstalledDataFromBin = "../share/lumacrest";
constexpr const char* kUserDataFolder = "lumacrest";
constexpr std::size_t kLargestDataFile = 16u << 20;

std::string WithSlash(const fs::path& path) {
    std::string s = path.lexically_normal().string();
    if (s.empty() || s.back() != '/') s += '/';
    return s;
}

// "SUM  NAME" lines, as sha256sum writes them: every sum listed for each name.
std::map<std::string, std::set<std::string>> ReadSums(const std::string& path) {
    std::map<std::string, std::set<std::string>> sums;
    std::string text;
    if (!ReadWholeFile(path, text, kLargestDataFile)) return sums;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t gap = line.find("  ");
        if (gap != 64 || line.size() <= gap + 2) continue;
        sums[line.substr(gap + 2)].insert(line.substr(0, gap));
    }
    return sums;
}

std::optional<std::string> SumOf(const std::string& path) {
    std::string content;
    if (!ReadWholeFile(path, content, kLargestDataFile)) return std::nullopt;
    return Sha256Hex(content);
}

}  // namespace

UserFolders UserFoldersFromEnvironment() {
    UserFolders user;
    if (const char* v = std::getenv("XDG_DATA_HOME")) user.dataHome = v;
    if (const char* v = std::getenv("HOME"); v && *v) {
        user.home = v;
    } else if (const passwd* account = ::getpwuid(::getuid()); account && account->pw_dir) {
        user.home = account->pw_dir;
    }
    return user;
}

ProgramDirectory ChooseProgramDirectory(const std::string& executableDir,
                                        const std::string& overrideDir, const UserFolders& user) {
    const fs::path executable = fs::absolute(executableDir);
    std::error_code ec;
    const fs::path installed = executable / kInstalledDataFromBin;
    const std::string installedData = fs::is_directory(installed, ec) ? WithSlash(installed) : "";
    if (!overrideDir.empty()) return {WithSlash(fs::absolute(overrideDir)), installedData};
    if (fs::exists(executable / kConfigFileName, ec)) return {WithSlash(executable), {}};
    fs::path dataHome;
    if (!user.dataHome.empty() && user.dataHome[0] == '/')
        dataHome = user.dataHome;
    else if (!user.home.empty())
        dataHome = fs::path(user.home) / ".local/share";
    else
        return {WithSlash(executable), {}};  // no home to go to
    return {WithSlash(dataHome / kUserDataFolder), installedData, true};
}

std::string SerialLedgerPath(const ProgramDirectory& dir, const std::string& option,
                             const char* environment) {
    if (!option.empty()) return option;
    if (environment && *environment) return environment;
    return (dir.userFolder ? std::string(kStationFolder) : dir.path) + "serials.db";
}

FillReport FillProgramDirectory(const ProgramDirectory& dir) {
    FillReport report;
    if (dir.installedData.empty()) return report;
    std::error_code ec;
    fs::create_directories(dir.path, ec);
    if (ec) {
        report.problems.push_back("cannot make the program directory " + dir.path + ": " +
                                  ec.message());
        return report;
    }
    const auto shipped = ReadSums(dir.installedData + kDataSumsFileName);
    const std::string seenPath = dir.path + kSeenSumsFileName;
    const auto seenBefore = ReadSums(seenPath);
    std::map<std::string, std::string> seen;  // name: the installed sum the copy was compared with
    for (const auto& [name, sums] : seenBefore)
        if (sums.size() == 1) seen[name] = *sums.begin();
    const std::map<std::string, std::string> seenAtStart = seen;

    for (fs::directory_iterator it(dir.installedData, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code entryError;
        if (!it->is_regular_file(entryError)) continue;
        const std::string name = it->path().filename().string();
        if (name == kDataSumsFileName) continue;
        const std::string from = it->path().string();
        const std::string to = dir.path + name;
        std::string content;
        if (!ReadWholeFile(from, content, kLargestDataFile)) {
            report.problems.push_back("cannot read " + from);
            continue;
        }
        const std::string installedSum = Sha256Hex(content);
        struct stat st;
        if (::lstat(to.c_str(), &st) != 0) {
            if (WriteFileAtomically(to, content))
                seen[name] = installedSum;
            else
                report.problems.push_back("cannot copy " + from + " to " + dir.path);
            continue;
        }
        // Config.dat holds the operator's settings; anything but a regular file is the user's.
        if (name == kConfigFileName || !S_ISREG(st.st_mode)) continue;
        const auto before = seen.find(name);
        if (before != seen.end() && before->second == installedSum) continue;  // nothing new
        const std::optional<std::string> copySum = SumOf(to);
        if (!copySum) continue;
        if (*copySum != installedSum) {
            const auto versions = shipped.find(name);
            const bool unchanged = versions != shipped.end() && versions->second.count(*copySum);
            if (!unchanged && before == seen.end()) {
                // A copy of the user's own from before the folder met the installed data:
                // nothing says the installed one is newer.
            } else if (!unchanged) {
                report.notices.push_back(to + " is kept as you changed it; the installed " +
                                         name + " is newer: " + from);
            } else if (!WriteFileAtomically(to, content)) {
                report.problems.push_back("cannot copy " + from + " to " + dir.path);
                continue;
            }
        }
        seen[name] = installedSum;
    }
    if (ec) report.problems.push_back("cannot read " + dir.installedData + ": " + ec.message());
    if (seen != seenAtStart) {
        std::string text;
        for (const auto& [name, sum] : seen) text += sum + "  " + name + "\n";
        if (!WriteFileAtomically(seenPath, text))
            report.problems.push_back("cannot write " + seenPath);
    }
    return report;
}

}  // namespace lumacrest
