#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "app/commands/FileDialogs.h"
#include "host/ExToHexCommand.h"
#include "support/TestHost.h"
#include "app/Application.h"
#include "app/CMainDlg.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::ReadText;
using test::WriteText;

constexpr const char* kSource = "\x01\x02\x03";
constexpr const char* kExpectedHex = ":03000000010203F7\n:00000001FF\n";

TEST(ExToHexOutputPath, ReplacesAFinalExInAnyCaseOtherwiseAppends) {
    EXPECT_EQ(ExToHexOutputPath("/d/app.ex"), "/d/app.hex");
    EXPECT_EQ(ExToHexOutputPath("/d/APP.EX"), "/d/APP.hex");
    EXPECT_EQ(ExToHexOutputPath("/d/app.eX"), "/d/app.hex");
    EXPECT_EQ(ExToHexOutputPath("/d/app.bin"), "/d/app.bin.hex");
    EXPECT_EQ(ExToHexOutputPath("/d/app"), "/d/app.hex");
    EXPECT_EQ(ExToHexOutputPath("/d/codex"), "/d/codex.hex");
    EXPECT_EQ(ExToHexOutputPath("/d/a.ex.ex"), "/d/a.ex.hex");
}

class ExToHexTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Scratch directories go to a temporary directory of this test alone.
        if (const char* old = std::getenv("TMPDIR")) oldTmp_ = old;
        fs::create_directory(Tmp());
        ::setenv("TMPDIR", Tmp().c_str(), 1);
        WriteText(Source(), kSource);
    }
    void TearDown() override {
        if (oldTmp_)
            ::setenv("TMPDIR", oldTmp_->c_str(), 1);
        else
            ::unsetenv("TMPDIR");
    }

    std::string Tmp() const { return t.dir.File("tmp"); }
    std::string Source() const { return t.dir.File("app.ex"); }
    std::string Output() const { return t.dir.File("app.hex"); }
    std::string Converter() const { return t.dir.File("e.exe"); }

    void InstallStandIn() {
        fs::copy_file(LUMACREST_STAND_IN_CONVERTER, Converter(),
                      fs::copy_options::overwrite_existing);
    }
    // A shell script as the converter; STANDIN in `body` stands for the real stand-in.
    void InstallScript(std::string body) {
        for (std::size_t at; (at = body.find("STANDIN")) != std::string::npos;)
            body.replace(at, 7, LUMACREST_STAND_IN_CONVERTER);
        WriteText(Converter(), "#!/bin/sh\n" + body);
        ::chmod(Converter().c_str(), 0755);
    }

    Conversion Run(std::chrono::milliseconds timeout = 10s) {
        return ConvertExToHex(h, Source(), timeout);
    }
    const ScriptedPrompts::Message& LastMessage() const { return t.prompts.messages.back(); }
    bool ScratchLeft() const { return !fs::is_empty(Tmp()); }

    test::TestHost t;
    Host& h = t.h();

  private:
    std::optional<std::string> oldTmp_;
};

TEST_F(ExToHexTest, ConvertsInAPrivateScratchDirectoryAndReplacesTheOutput) {
    InstallScript("pwd > '" + t.dir.File("cwd") + "'\necho \"$@\" > '" + t.dir.File("args") +
                  "'\nstat -c %a . > '" + t.dir.File("mode") + "'\nexec STANDIN \"$@\"\n");
    WriteText(Output(), "stale output of an earlier run\n");
    t.prompts.QueueFile(Source());
    Application dlgApp(h);
    CMainDlg& dlg = dlgApp.dlg;
    dlg.OnCommand(id::ConvertExToHex);

    EXPECT_EQ(t.prompts.fileFilters.back(), "Ex Files (*.ex)|*.ex||");
    EXPECT_EQ(ReadText(Output()), kExpectedHex);
    ASSERT_EQ(t.prompts.messages.size(), 1u);
    EXPECT_EQ(LastMessage().text, "Convert Ex To Hex OK");
    EXPECT_EQ(LastMessage().icon, MsgIcon::None);

    const std::string cwd = ReadText(t.dir.File("cwd"));
    EXPECT_EQ(cwd.rfind(Tmp() + "/lumacrest-exhex-", 0), 0u) << cwd;
    EXPECT_EQ(ReadText(t.dir.File("args")), "a.ex -o\n");
    EXPECT_EQ(ReadText(t.dir.File("mode")), "700\n");
    EXPECT_FALSE(ScratchLeft());  // removed after the run
    EXPECT_EQ(ReadText(Source()), kSource);
}

TEST_F(ExToHexTest, AConverterThatWritesNothingIsReportedAndNothingIsCopied) {
    InstallStandIn();
    EXPECT_EQ(Run(), Conversion::Converted);
    ASSERT_EQ(ReadText(Output()), kExpectedHex);

    // The earlier run's result is neither reported nor copied again.
    WriteText(Output(), "kept\n");
    InstallScript("exit 0\n");
    EXPECT_EQ(Run(), Conversion::Failed);
    EXPECT_EQ(LastMessage().text,
              "******Convert Ex To Hex failed: e.exe wrote no HEX file******   ");
    EXPECT_EQ(LastMessage().icon, MsgIcon::Error);
    EXPECT_EQ(ReadText(Output()), "kept\n");
    EXPECT_FALSE(ScratchLeft());
}

// True while the process whose id the converter wrote to `file` runs (a zombie has ended).
bool Running(const std::string& file) {
    const std::string pid = ReadText(file);
    const std::string stat = ReadText("/proc/" + pid.substr(0, pid.find('\n')) + "/stat");
    const std::size_t paren = stat.rfind(')');
    return paren != std::string::npos && paren + 2 < stat.size() && stat[paren + 2] != 'Z' &&
           stat[paren + 2] != 'X';
}

TEST_F(ExToHexTest, AConverterThatNeverEndsIsStoppedAtTheBound) {
    // It keeps a helper process, and one that left its process group; all go when the wait
    // expires.
    InstallScript("sleep 30 &\necho $! > '" + t.dir.File("child") + "'\nsetsid sleep 30 &\necho $! > '" +
                  t.dir.File("session") + "'\nwait\n");
    const auto start = std::chrono::steady_clock::now();
    Run(300ms);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(LastMessage().text,
              "******Convert Ex To Hex failed: e.exe did not finish within 300 ms and was "
              "stopped******   ");
    EXPECT_FALSE(fs::exists(Output()));
    EXPECT_FALSE(ScratchLeft());
    EXPECT_FALSE(Running(t.dir.File("child")));
    EXPECT_FALSE(Running(t.dir.File("session")));

    // What a converter leaves running when it ends ends with it too.
    InstallScript("setsid sleep 30 &\necho $! > '" + t.dir.File("left") + "'\nexec STANDIN \"$@\"\n");
    Run();
    EXPECT_EQ(LastMessage().text, "Convert Ex To Hex OK");
    EXPECT_FALSE(Running(t.dir.File("left")));
}

// Success is a whole, good HEX file; a status other than 0 is logged either way.
TEST_F(ExToHexTest, OnlyAWholeGoodHexFileIsTaken) {
    WriteText(Output(), "kept\n");
    InstallScript("printf ':03000000010203F7\\n:0300030004' > a.hex\nexit 2\n");
    EXPECT_EQ(Run(), Conversion::Failed);
    EXPECT_EQ(LastMessage().text,
              "******Convert Ex To Hex failed: e.exe wrote no whole, good HEX file (line 2: "
              "record shorter than its byte count)******   ");
    EXPECT_EQ(t.LogLines().back(), "e.exe exited with status 2");
    EXPECT_EQ(ReadText(Output()), "kept\n");

    InstallScript("STANDIN \"$@\"\nexit 3\n");
    EXPECT_EQ(Run(), Conversion::Converted);
    EXPECT_EQ(LastMessage().text, "Convert Ex To Hex OK");
    EXPECT_EQ(t.LogLines().back(), "e.exe exited with status 3");
    EXPECT_EQ(ReadText(Output()), kExpectedHex);

    // A source that is a FIFO is never waited for.
    fs::remove(Source());
    ASSERT_EQ(::mkfifo(Source().c_str(), 0600), 0);
    Run();
    EXPECT_EQ(LastMessage().text,
              "******Convert Ex To Hex failed: cannot read \"" + Source() + "\"******   ");
}

// Whatever the converter leaves as a.hex is opened without waiting and without following a
// link, and never read past the bound.
TEST_F(ExToHexTest, OutputThatIsNoRegularFileOrTooLargeIsRefusedAtOnce) {
    WriteText(Output(), "kept\n");
    WriteText(t.dir.File("elsewhere.hex"), kExpectedHex);
    const std::string notRegular =
        "******Convert Ex To Hex failed: e.exe wrote no HEX file (a.hex is not a regular "
        "file)******   ";
    const std::pair<std::string, std::string> cases[] = {
        {"mkfifo a.hex\n", notRegular},
        {"ln -s '" + t.dir.File("elsewhere.hex") + "' a.hex\n", notRegular},
        {"truncate -s 200M a.hex\n",
         "******Convert Ex To Hex failed: e.exe wrote a HEX file of 209715200 bytes, more than "
         "the 67108864 bytes this tool reads******   "},
    };
    for (const auto& [script, message] : cases) {
        SCOPED_TRACE(script);
        InstallScript(script);
        const auto start = std::chrono::steady_clock::now();
        Run();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
        EXPECT_EQ(LastMessage().text, message);
        EXPECT_EQ(ReadText(Output()), "kept\n");
        EXPECT_FALSE(ScratchLeft());
    }
}

TEST_F(ExToHexTest, WaitsForTheConverterToEndNotForItsFirstBytes) {
    // A partial file first, the whole one later: the whole one is the result.
    InstallScript("echo ':00000001FF' > a.hex\nsleep 0.3\nexec STANDIN \"$@\"\n");
    Run();
    EXPECT_EQ(LastMessage().text, "Convert Ex To Hex OK");
    EXPECT_EQ(ReadText(Output()), kExpectedHex);

    // Output that would come only after the bound is never waited for nor copied.
    fs::remove(Output());
    InstallScript("sleep 2\nexec STANDIN \"$@\"\n");
    Run(200ms);
    EXPECT_NE(LastMessage().text.find("did not finish within 200 ms"), std::string::npos);
    EXPECT_FALSE(fs::exists(Output()));
}

TEST_F(ExToHexTest, ConverterMissingOrNotRunnable) {
    Run();
    EXPECT_EQ(LastMessage().text,
              "******Convert Ex To Hex failed: the converter e.exe is not in the program "
              "directory******   ");
    WriteText(Converter(), "neither a script nor a program");
    ::chmod(Converter().c_str(), 0644);
    Run();
    EXPECT_EQ(LastMessage().text,
              "******Convert Ex To Hex failed: e.exe could not be started******   ");
    EXPECT_FALSE(fs::exists(Output()));

    // An unreadable source: nothing is started.
    InstallStandIn();
    EXPECT_EQ(ConvertExToHex(h, t.dir.File("absent.ex"), 10s), Conversion::Failed);
    EXPECT_NE(LastMessage().text.find("cannot read"), std::string::npos);
    EXPECT_FALSE(fs::exists(t.dir.File("absent.hex")));

    // Cancel: nothing at all.
    const std::size_t shown = t.prompts.messages.size();
    t.prompts.QueueFile(std::nullopt);
    OnConvertExToHex(h, 10s);
    EXPECT_EQ(t.prompts.messages.size(), shown);
}

// Finds a stand-in "wine" (or none) instead of searching the path.
class FakeWineRunner : public PosixProcessRunner {
  public:
    std::optional<std::string> wine;
    std::optional<std::string> FindProgram(const std::string& name) override {
        return name == "wine" ? wine : std::nullopt;
    }
};

TEST_F(ExToHexTest, AWindowsConverterRunsThroughWine) {
    WriteText(Converter(), std::string("MZ\x90\x00", 4) + "windows program");
    FakeWineRunner runner;
    h.platform.processes = &runner;
    Run();
    EXPECT_EQ(LastMessage().text,
              "******Convert Ex To Hex failed: e.exe is a Windows program and wine is not "
              "installed to run it******   ");

    const std::string wine = t.dir.File("wine");
    WriteText(wine, "#!/bin/sh\necho \"$@\" > '" + t.dir.File("wine-args") +
                        "'\nshift\nexec " LUMACREST_STAND_IN_CONVERTER " \"$@\"\n");
    ::chmod(wine.c_str(), 0755);
    runner.wine = wine;
    Run();
    EXPECT_EQ(LastMessage().text, "Convert Ex To Hex OK");
    EXPECT_EQ(ReadText(t.dir.File("wine-args")), Converter() + " a.ex -o\n");
    EXPECT_EQ(ReadText(Output()), kExpectedHex);
}

}  // namespace
}  // namespace lumacrest
