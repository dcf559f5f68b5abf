// lumacrest-cli: every command of the tool without a window, on one programmer or on several
// at once.
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <iostream>
#include <memory>

#include "cli/CliOptions.h"
#include "cli/CliRunner.h"
#include "cli/Console.h"
#include "cli/NoDialogs.h"
#include "cli/Serials.h"
#include "cli/SerialDevices.h"
#include "host/HostApi.h"
#include "host/ProgramDirectory.h"
#include "host/RunRecords.h"
#include "host/Startup.h"
#include "link/Ports.h"
#include "platform/DeviceIdentity.h"
#include "platform/FileLock.h"
#include "platform/PosixProcessRunner.h"
#include "platform/SqliteSerialLedger.h"
#include "platform/qt/QtLink.h"
#include "platform/qt/TerminationSignals.h"

using namespace lumacrest;

namespace {

constexpr const char* kVersion = "lumacrest-cli " LUMACREST_VERSION "\n";

// One programmer on one port: its host, the platform it runs on, and its runner.
struct Station {
    Station(const std::string& programDir, const std::string& portName, HolderScan& scan)
        : port(portName) {
        serial.ShareHolderScan(scan);
        host.programDir = programDir;
        host.platform = {&prompts, nullptr, &serial, &timers, &processes};
        api::Attach(host);
        runner = std::make_unique<cli::CliRunner>(host);
    }
    std::string port;  // as given on the command line; empty: the one Config.dat holds
    cli::NoDialogs prompts;
    PosixProcessRunner processes;
    QtSerialPort serial;
    QtTimers timers;
    Host host;
    std::unique_ptr<cli::CliRunner> runner;
};

std::string Seconds(const std::optional<Outcome>& o) {
    if (!o) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(o->endedMs - o->startedMs) / 1000);
    return text;
}

// Why `path` cannot be opened for appending records, or nothing when it can.
std::optional<std::string> RecordFileProblem(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return std::string(std::strerror(errno));
    ::close(fd);
    return std::nullopt;
}

std::string Column(std::string text, std::size_t width) {
    if (text.size() < width) text.resize(width, ' ');
    return text + "  ";
}

// "COM3: pass", or "COM3: fail at flash verify: Verify FLASH......Failed".
std::string OutcomeLine(const Station& s) {
    const std::string name = s.host.port.name.empty() ? "" : s.host.port.name + ": ";
    if (!s.runner->Failed()) return name + "pass\n";
    const std::optional<Outcome>& o = s.runner->Decisive();
    const std::string where = o && !o->Passed() ? std::string(" at ") + StageName(o->stage) : "";
    return name + "fail" + where + ": " + s.runner->FailureReason() + "\n";
}

std::string Table(const std::vector<std::unique_ptr<Station>>& stations) {
    std::string t = Column("PORT", 6) + Column("PROGRAMMER", 14) + Column("OUTCOME", 7) +
                    Column("STAGE", 26) + "SECONDS\n";
    std::size_t passed = 0;
    for (const auto& s : stations) {
        const std::optional<Outcome>& o = s->runner->Decisive();
        const bool failed = s->runner->Failed();
        passed += failed ? 0 : 1;
        const std::string stage = failed && o && !o->Passed() ? StageName(o->stage) : "";
        t += Column(s->host.port.name, 6) + Column(s->host.programmer.name, 14) +
             Column(failed ? "fail" : "pass", 7) + Column(stage, 26) + Seconds(o) + "\n";
    }
    return t + std::to_string(passed) + " of " + std::to_string(stations.size()) + " passed\n";
}

// The device each port stands for, to tell the same programmer given twice (under two names
// too: the device itself tells, see SameDevice).
std::string DeviceOf(const Host& h, const std::string& port) {
    if (!port.empty() && port[0] == '/') return port;
    return h.ports.Device(ComNameToPort(port)).value_or(port);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication qt(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    cli::ParseResult parsed = cli::ParseCommandLine(args);
    const ProgramDirectory dir = ChooseProgramDirectory(
        QCoreApplication::applicationDirPath().toStdString(), parsed.options.dir,
        UserFoldersFromEnvironment());
    if (parsed.options.help) {
        std::cout << cli::UsageText() << "\nThe program directory here: " << dir.path << "\n";
        return 0;
    }
    if (parsed.options.version) {
        std::cout << kVersion;
        return 0;
    }
    if (!parsed.error.empty()) {
        std::cerr << "lumacrest-cli: " << parsed.error << "\n\n" << cli::UsageText();
        return 2;
    }
    const cli::CliOptions& options = parsed.options;
    // A record that could not be kept is known before anything goes to a programmer.
    if (options.record) {
        if (const std::optional<std::string> why = RecordFileProblem(*options.record)) {
            std::cerr << "lumacrest-cli: cannot open the record file " << *options.record
                      << " for appending: " << *why << "\n";
            return 2;
        }
    }
    const FillReport filled = FillProgramDirectory(dir);
    for (const std::string& problem : filled.problems) std::cerr << "lumacrest-cli: " << problem << "\n";
    for (const std::string& notice : filled.notices) std::cerr << "lumacrest-cli: " << notice << "\n";
    const std::string& programDir = dir.path;
    if (std::string(options.command->name) == "ports") {
        std::cout << cli::SerialDeviceTable(cli::ListSerialDevices("/dev", PortMap(programDir)))
                  << std::flush;
        if (!std::cout) {
            std::cerr << "lumacrest-cli: cannot write the list of serial devices: "
                      << std::strerror(errno) << "\n";
            return 1;
        }
        return 0;
    }

    std::vector<std::string> ports = options.ports;
    if (ports.empty()) ports.push_back("");
    cli::Console console(ports, options.quiet);
    {
        const StartCheck start = CheckProgramStart(programDir);
        for (const auto& message : start.messages) console.Error(message.first + "\n");
        if (!start.runMainWindow) return start.exitCode;
    }
    // The station's serial-number ledger: opened by the first run with Program SN, or here.
    SqliteSerialLedger ledger(SerialLedgerPath(dir, options.serials, std::getenv("LUMACREST_SERIALS")));
    if (options.setSerialRange) {
        std::optional<SerialRange> range;
        if (options.serialRange) range = SerialRange{options.serialRange->first, options.serialRange->second};
        if (const std::string why = ledger.SetRange(range); !why.empty()) {
            console.Error("lumacrest-cli: " + why + "\n");
            return 1;
        }
    }
    // Two programs that save one Config.dat would lose each other's settings. In a
    // folder closed to us Config.dat is saved in place, and is its own lock.
    FileLock configLock;
    if (options.saveConfig &&
        !configLock.TryLock(programDir + "Config.dat.lock", programDir + "Config.dat")) {
        console.Error("lumacrest-cli: Config.dat is saved by another lumacrest-cli in " +
                      programDir + ": give each programmer its own --dir\n");
        return 1;
    }

    const bool listingSerials = std::string(options.command->name) == "serials";
    HolderScan holderScan;  // the ports of one run share the walk for other programs holding them
    std::vector<std::unique_ptr<Station>> stations;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        auto s = std::make_unique<Station>(programDir, ports[i], holderScan);
        s->host.platform.serials = &ledger;
        // The ledger's listing stands alone on stdout (JSON among others): no log lines.
        s->host.view.AddObserver(&console.Observer(i, !listingSerials));
        api::Open(s->host);
        if (options.record)
            RecordRuns(s->host, *options.record, [&console, runner = s->runner.get()](const std::string& why) {
                console.Error("lumacrest-cli: " + why + "\n");
                runner->RecordFailed(why);
            });
        stations.push_back(std::move(s));
    }
    for (std::size_t i = 0; i < stations.size(); ++i)
        for (std::size_t k = 0; k < i; ++k)
            if (const std::string a = DeviceOf(stations[i]->host, ports[i]),
                b = DeviceOf(stations[k]->host, ports[k]);
                a == b || SameDevice(a, b)) {
                console.Error("lumacrest-cli: " + ports[k] + " and " + ports[i] +
                              " are the same programmer\n");
                return 2;
            }

    // A second signal ends the run under way at once, with its record.
    TerminationSignals termination(2);
    QObject::connect(&termination, &TerminationSignals::terminationRequested, [&](int signal) {
        for (auto& s : stations) s->runner->Interrupt(signal);
    });
    // A converter the command waits for is stopped by the first signal too.
    for (auto& s : stations) s->processes.StopWhenReadable(termination.Descriptor());
    Timers& loop = stations.front()->timers;
    auto waitAll = [&] {
        auto busy = [&] {
            for (auto& s : stations)
                if (s->runner->Busy()) return true;
            return false;
        };
        while (busy()) loop.PumpEvents();
    };

    // Each step starts on every programmer; the next one waits until none is busy.
    for (auto& s : stations) s->runner->LoadInputs(options);
    if (listingSerials) {
        Station& first = *stations.front();
        if (first.runner->Failed()) {
            console.Error("lumacrest-cli: failed: " + first.runner->FailureReason() + "\n");
            return 1;
        }
        SerialQuery query;
        query.last = options.last;
        if (!options.argument.empty()) query.number = cli::ParseNumber(options.argument);
        query.asked = first.host.sn.SnValue;
        const SerialListing listing = ledger.List(query);
        if (!listing.error.empty()) {
            console.Error("lumacrest-cli: " + listing.error + "\n");
            return 1;
        }
        console.Finish();
        console.Print(options.json ? cli::SerialsJson(listing, ledger.Where(), query)
                                   : cli::SerialsText(listing, ledger.Where(), query));
        if (!console.OutputLost().empty()) {
            console.Error("lumacrest-cli: cannot write the listing: " + console.OutputLost() + "\n");
            return 1;
        }
        return 0;
    }
    // Each programmer goes from its connection to its command on its own: none waits for the
    // slowest one between the two.
    enum class Step { Connecting, Commanding, Done };
    std::vector<Step> steps(stations.size(), Step::Connecting);
    // Waiting for the box's own frames, the line stays open from the identification on.
    if (options.waitBoxSeconds)
        for (auto& s : stations) s->runner->HoldPort(true);
    for (auto& s : stations) s->runner->StartConnect(options, s->port);
    for (;;) {
        bool done = true;
        for (std::size_t i = 0; i < stations.size(); ++i) {
            cli::CliRunner& r = *stations[i]->runner;
            if (steps[i] == Step::Connecting && !r.Busy()) {
                r.FinishConnect(options);
                r.StartCommand(options);
                steps[i] = Step::Commanding;
            }
            if (steps[i] == Step::Commanding && !r.Busy()) {
                r.FinishCommand(options);
                if (options.waitBoxSeconds) r.BeginBoxWait();
                steps[i] = Step::Done;
            }
            done = done && steps[i] == Step::Done;
        }
        if (done) break;
        loop.PumpEvents();
    }
    if (options.waitBoxSeconds) {
        // The box's own frames (a DataFlash download, its stored settings) are taken for a while.
        QEventLoop wait;
        QTimer::singleShot(static_cast<int>(options.waitBoxSeconds * 1000), &wait, &QEventLoop::quit);
        QObject::connect(&termination, &TerminationSignals::terminationRequested, &wait,
                         &QEventLoop::quit);
        wait.exec();
        waitAll();
        // A run the box started that failed fails the command.
        for (auto& s : stations) {
            s->runner->FinishBoxWait();
            s->runner->HoldPort(false);
        }
    }
    // A signal that came during the last command is counted.
    QCoreApplication::processEvents();
    for (auto& s : stations) s->runner->KeepConfigPort(options);

    if (options.saveConfig) {
        Station& first = *stations.front();
        // Several programmers ask for the lowest number any of them holds next: one given back
        // is issued again first, the ledger passes over those issued.
        for (auto& s : stations) first.host.sn.SnValue = std::min(first.host.sn.SnValue, s->host.sn.SnValue);
        // Settings asked to be kept and not kept fail the command.
        if (const api::Result closed = api::Close(first.host); !closed)
            first.runner->SaveFailed(closed.Describe());
    }
    console.Finish();

    int status = 0;
    for (auto& s : stations) {
        const int st = s->runner->Status();
        if (st > 1) status = st;
        else if (st == 1 && status == 0) status = 1;
        for (const std::string& note : s->runner->Notes()) console.Error("lumacrest-cli: " + note + "\n");
    }
    if (stations.size() > 1) {
        console.Print(Table(stations));
    } else if (options.quiet) {
        console.Print(OutcomeLine(*stations.front()));
    } else if (stations.front()->runner->Failed() && !stations.front()->runner->FailureReason().empty()) {
        console.Error("lumacrest-cli: failed: " + stations.front()->runner->FailureReason() + "\n");
    }
    return status;
}
