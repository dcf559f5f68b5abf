#include "host/ExToHexCommand.h"

#include <stdlib.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

#include "image/RecordReaders.h"
#include "platform/AtomicFile.h"
#include "platform/Text.h"

namespace lumacrest {

namespace {

constexpr const char* kScratchInput = "a.ex";
constexpr const char* kScratchOutput = "a.hex";
// Larger sources or results than this are not images of any part the tool programs.
constexpr std::size_t kMaxFileSize = 64u << 20;

void Fail(Host& h, const std::string& why) {
    h.view.Tell("******Convert Ex To Hex failed: " + why + "******   ", MessageKind::Error);
}

// A directory only this user can reach, made for one run and removed with everything in it
// when the run ends.
class ScratchDir {
  public:
    ScratchDir() {
        std::error_code ec;
        std::filesystem::path base = std::filesystem::temp_directory_path(ec);
        if (ec) base = "/tmp";
        std::string pattern = (base / "lumacrest-exhex-XXXXXX").string();
        if (::mkdtemp(pattern.data())) path_ = pattern + "/";
    }
    ~ScratchDir() {
        if (path_.empty()) return;
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    bool Made() const { return !path_.empty(); }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// A Windows executable starts with "MZ".
bool IsWindowsExecutable(const std::string& path) {
    RegularFile f;
    char magic[2] = {};
    return f.Open(path) && f.ReadAt(0, magic, 2) == 2 && magic[0] == 'M' && magic[1] == 'Z';
}

// A regular file that opens (never waited for, as a FIFO would be).
bool CanRead(const std::string& path) {
    RegularFile f;
    return f.Open(path);
}

std::string Seconds(std::chrono::milliseconds timeout) {
    const auto ms = timeout.count();
    if (ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
    return std::to_string(ms) + " ms";
}

// The converter has ended: its a.hex, if it is a whole, good HEX file, becomes `output`.
bool TakeConversion(Host& h, const ProcessOutcome& run, const std::string& result,
                    const std::string& output, std::chrono::milliseconds timeout) {
    switch (run.status) {
        case ProcessOutcome::Status::NotStarted:
            Fail(h, std::string(kConverterName) + " could not be started");
            return false;
        case ProcessOutcome::Status::TimedOut:
            Fail(h, std::string(kConverterName) + " did not finish within " + Seconds(timeout) +
                        " and was stopped");
            return false;
        case ProcessOutcome::Status::Stopped:
            // The program is ending: no message box to hold it up.
            h.view.AppendLog(std::string(kConverterName) + " was stopped: the program is ending");
            return false;
        case ProcessOutcome::Status::Exited:
            break;
    }
    // Success is the output, not the exit status; a status other than 0 is still told.
    if (run.exitCode > 0)
        h.view.AppendLog(std::string(kConverterName) + " exited with status " +
                       std::to_string(run.exitCode));
    else if (run.exitCode < 0)
        h.view.AppendLog(std::string(kConverterName) + " was ended by a signal");
    // Whatever the converter left is opened without waiting (a FIFO) and without following a
    // link out of the scratch directory, and read no further than the bound.
    std::error_code ec;
    const std::filesystem::file_status left = std::filesystem::symlink_status(result, ec);
    if (ec || !std::filesystem::exists(left)) {
        Fail(h, std::string(kConverterName) + " wrote no HEX file");
        return false;
    }
    RegularFile hex;
    if (!std::filesystem::is_regular_file(left) || !hex.Open(result, RegularFile::Links::Refuse)) {
        Fail(h, std::string(kConverterName) + " wrote no HEX file (" + kScratchOutput +
                    " is not a regular file)");
        return false;
    }
    if (hex.size() > kMaxFileSize) {
        Fail(h, std::string(kConverterName) + " wrote a HEX file of " + std::to_string(hex.size()) +
                    " bytes, more than the " + std::to_string(kMaxFileSize) +
                    " bytes this tool reads");
        return false;
    }
    std::string content;
    if (!hex.ReadAll(content, kMaxFileSize)) {
        Fail(h, "cannot read the HEX file " + std::string(kConverterName) + " wrote");
        return false;
    }
    // Only a whole, good HEX file is a result: a converter that failed half-way leaves a
    // partial one.
    TextCursor cursor(content);
    cursor.SkipByteOrderMark();
    if (std::optional<ReadError> bad =
            ReadHexRecords(cursor, [](const DataRecord&) { return DataFlow::Continue; })) {
        std::string where = bad->line ? "line " + std::to_string(bad->line) + ": " : "";
        Fail(h, std::string(kConverterName) + " wrote no whole, good HEX file (" + where +
                    bad->reason + ")");
        return false;
    }
    if (!WriteFileAtomically(output, content)) {
        Fail(h, "cannot write \"" + output + "\"");
        return false;
    }
    h.view.Tell(kConvertOk, MessageKind::Plain);
    return true;
}

}  // namespace

std::string ExToHexOutputPath(const std::string& source) {
    if (EndsWithNoCase(source, ".ex")) return source.substr(0, source.size() - 3) + ".hex";
    return source + ".hex";
}

Conversion ConvertExToHex(Host& h, const std::string& file, std::chrono::milliseconds timeout) {
    const std::optional<std::string> source = file;
    const std::string output = ExToHexOutputPath(*source);

    if (h.platform.processes == nullptr) {
        Fail(h, "this front end cannot start programs");
        return Conversion::Failed;
    }
    // Absolute, since the converter runs in the scratch directory.
    std::error_code ec;
    std::string converter = h.programDir + kConverterName;
    if (std::filesystem::path absolute = std::filesystem::absolute(converter, ec); !ec)
        converter = absolute.string();
    if (!CanRead(converter)) {
        Fail(h,
             std::string("the converter ") + kConverterName + " is not in the program directory");
        return Conversion::Failed;
    }
    std::string program = converter;
    std::vector<std::string> args = {kScratchInput, "-o"};
    if (IsWindowsExecutable(converter)) {
        std::optional<std::string> wine = h.processes().FindProgram("wine");
        if (!wine) {
            Fail(h, std::string(kConverterName) +
                        " is a Windows program and wine is not installed to run it");
            return Conversion::Failed;
        }
        program = *wine;
        args.insert(args.begin(), converter);
    }

    std::string content;
    if (!ReadWholeFile(*source, content, kMaxFileSize)) {
        Fail(h, "cannot read \"" + *source + "\"");
        return Conversion::Failed;
    }
    auto scratch = std::make_shared<ScratchDir>();
    if (!scratch->Made() || !WriteFileAtomically(scratch->path() + kScratchInput, content)) {
        Fail(h, "cannot make a scratch copy of the file");
        return Conversion::Failed;
    }

    // The scratch directory is new, so whatever output it holds afterwards is this run's. It
    // is removed when the converter's end has been taken, or the program ends before that.
    // A runner that waits for the program has taken its result before Start returns.
    const std::string workDir = scratch->path();
    auto taken = std::make_shared<std::optional<bool>>();
    h.processes().Start(program, args, workDir, timeout,
                        [&h, scratch, output, timeout, taken](const ProcessOutcome& run) {
                            *taken = TakeConversion(h, run, scratch->path() + kScratchOutput,
                                                    output, timeout);
                        });
    if (!taken->has_value()) return Conversion::UnderWay;
    return **taken ? Conversion::Converted : Conversion::Failed;
}

}  // namespace lumacrest
