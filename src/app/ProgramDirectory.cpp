#include "app/ProgramDirectory.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "app/commands/Config.h"
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
    if (!overrideDir.empty()) return {WithSlash(fs::absolute(overrideDir)), {}};
    const fs::path executable = fs::absolute(executableDir);
    std::error_code ec;
    if (fs::exists(executable / kConfigFileName, ec)) return {WithSlash(executable), {}};
    fs::path dataHome;
    if (!user.dataHome.empty() && user.dataHome[0] == '/')
        dataHome = user.dataHome;
    else if (!user.home.empty())
        dataHome = fs::path(user.home) / ".local/share";
    else
        return {WithSlash(executable), {}};  // no home to go to
    const fs::path installed = executable / kInstalledDataFromBin;
    return {WithSlash(dataHome / kUserDataFolder),
            fs::is_directory(installed, ec) ? WithSlash(installed) : std::string(), true};
}

std::string SerialLedgerPath(const ProgramDirectory& dir, const std::string& option,
                             const char* environment) {
    if (!option.empty()) return option;
    if (environment && *environment) return environment;
    return (dir.userFolder ? std::string(kStationFolder) : dir.path) + "serials.db";
}

std::vector<std::string> FillProgramDirectory(const ProgramDirectory& dir) {
    std::vector<std::string> problems;
    if (dir.installedData.empty()) return problems;
    std::error_code ec;
    fs::create_directories(dir.path, ec);
    if (ec) {
        problems.push_back("cannot make the program directory " + dir.path + ": " + ec.message());
        return problems;
    }
    for (fs::directory_iterator it(dir.installedData, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code entryError;
        if (!it->is_regular_file(entryError)) continue;
        const std::string from = it->path().string();
        const std::string to = dir.path + it->path().filename().string();
        struct stat st;
        if (::lstat(to.c_str(), &st) == 0) continue;  // the user's own, whatever it holds
        std::string content;
        if (!ReadWholeFile(from, content, kLargestDataFile) || !WriteFileAtomically(to, content))
            problems.push_back("cannot copy " + from + " to " + dir.path);
    }
    if (ec) problems.push_back("cannot read " + dir.installedData + ": " + ec.message());
    return problems;
}

}  // namespace lumacrest
