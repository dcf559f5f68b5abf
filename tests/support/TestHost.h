// A host for tests: a private program directory, scripted prompts (which also show the
// host's messages, as the window does) and a recording shell.
#pragma once

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/MessageBoxes.h"
#include "host/Host.h"
#include "platform/PosixProcessRunner.h"
#include "support/ScriptedPrompts.h"
#include "platform/SqliteSerialLedger.h"

namespace lumacrest::test {

// A fresh directory under the system's temporary directory, removed at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }  // ends in '/'
    std::string File(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

void WriteText(const std::string& path, const std::string& text);
std::string ReadText(const std::string& path);
std::vector<std::string> Lines(const std::string& text);  // split on '\n'

struct TestHost {
    TempDir dir;
    ScriptedPrompts prompts;
    RecordingShell shell;
    PosixProcessRunner processes;
    // The station's ledger in the test's folder (made by the first draw).
    SqliteSerialLedger serials{dir.File("serials.db")};
    MessageBoxes messageBoxes{prompts};
    std::unique_ptr<Host> host = std::make_unique<Host>();

    TestHost() {
        host->programDir = dir.path();
        host->platform.prompts = &prompts;
        host->platform.shell = &shell;
        host->platform.processes = &processes;
        host->platform.serials = &serials;
        host->view.AddObserver(&messageBoxes);
    }
    Host& h() { return *host; }
    // The log lines as the window shows them.
    std::vector<std::string> LogLines() const { return Lines(host->view.LogText()); }
    // Texts of the message boxes shown so far.
    std::vector<std::string> MessageTexts() const;
};

}  // namespace lumacrest::test
