// Which folder is the program directory: where Config.dat, Ports.dat, the device files,
// update.dat and e.exe are found and where the tool writes its own files.
//
// - `--dir DIR` when given;
// - else the executable's folder when it holds a Config.dat (the build tree, a portable copy);
// - else the user's data folder, $XDG_DATA_HOME/lumacrest (~/.local/share/lumacrest by
//   default).
//
// An installed program keeps its data files in bin/../share/lumacrest, with a list of the
// SHA-256 sums of every version of them ever shipped (kDataSumsFileName). At each start the
// user's folder (or the --dir folder) is filled from there:
// - a file missing there is copied in;
// - when the installed file has changed since the user's copy was last compared with it
//   (the sums compared are kept in kSeenSumsFileName there), a copy equal to a version once
//   shipped is refreshed; a copy the user changed is kept, and the change is told once (a
//   folder that has no such sums yet only records them);
// - Config.dat, the operator's settings, is only ever copied in when missing.
#pragma once

#include <string>
#include <vector>

namespace lumacrest {

// The environment the choice depends on.
struct UserFolders {
    std::string dataHome;  // $XDG_DATA_HOME; ignored unless an absolute path
    std::string home;      // $HOME, or the home folder of the user's account
};
UserFolders UserFoldersFromEnvironment();

struct ProgramDirectory {
    std::string path;           // ends in '/'
    std::string installedData;  // bin/../share/lumacrest/ to fill it from; empty: nothing to copy
    bool userFolder = false;    // the user's data folder: an installed program
};

// `executableDir`: the folder of the running program; `overrideDir`: --dir, or empty.
ProgramDirectory ChooseProgramDirectory(const std::string& executableDir,
                                        const std::string& overrideDir, const UserFolders& user);

// The station's serial-number ledger, shared by every operator of an installed program (the
// package makes the folder, setgid to the group of the serial ports).
inline constexpr const char* kStationFolder = "/var/lib/lumacrest/";

// Where the serial-number ledger is: `option` (--serials FILE) when given, else `environment`
// ($LUMACREST_SERIALS) when set, else serials.db in the program directory of a portable tree or
// a --dir folder, else serials.db in the station folder.
std::string SerialLedgerPath(const ProgramDirectory& dir, const std::string& option,
                             const char* environment);


inline constexpr const char* kDataSumsFileName = "DataFiles.sha256";
inline constexpr const char* kSeenSumsFileName = ".installed.sha256";

struct FillReport {
    std::vector<std::string> problems;  // what could not be done, one sentence each
    std::vector<std::string> notices;   // a kept copy that has a newer installed version
};

// Makes the folder and fills it from the installed data as described above. The start-up
// then reports a missing Config.dat as always.
FillReport FillProgramDirectory(const ProgramDirectory& dir);

}  // namespace lumacrest
