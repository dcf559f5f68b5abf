// lumacrest-sim: a simulated programmer box behind a pseudo-terminal. The terminal is linked
// at the path given with --link, so that Ports.dat can map a COM name to it. Every event is
// printed on standard output, one line each.
#include <signal.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "sim/ProgrammerBox.h"
#include "sim/PtyBox.h"

using lumacrest::sim::BoxConfig;
using lumacrest::sim::ProgrammerBox;
using lumacrest::sim::PtyBox;

namespace {

volatile sig_atomic_t g_stop = 0;

void OnSignal(int) {
    g_stop = 1;
}

void Dump(const std::string& path, const uint8_t* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

void DumpMemories(ProgrammerBox& box, const std::string& prefix) {
    Dump(prefix + ".flash", box.flash().data(), box.flash().size());
    Dump(prefix + ".boot", box.boot().data(), box.boot().size());
    Dump(prefix + ".keycode", box.chipKeyCode().data(), box.chipKeyCode().size());
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(lumacrest::sim::BoxUsage().c_str(), stdout);
        return 0;
    }
    if (!args.empty() && args[0] == "--version") {
        std::fputs("lumacrest-sim " LUMACREST_VERSION "\n", stdout);
        return 0;
    }
    BoxConfig config;
    std::string link;
    std::string error;
    if (!lumacrest::sim::ParseBoxOptions(args, config, link, error)) {
        std::fprintf(stderr, "lumacrest-sim: %s\n%s", error.c_str(),
                     lumacrest::sim::BoxUsage().c_str());
        return 2;
    }
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    ProgrammerBox box(config);
    bool exited = false;
    box.onEvent = [&exited](const std::string& text) {
        if (text.rfind("exit result", 0) == 0) exited = true;
        std::printf("lumacrest-sim: %s\n", text.c_str());
        std::fflush(stdout);
    };
    PtyBox pty(box, link, config.baud);
    if (!pty.ok()) {
        std::fprintf(stderr, "lumacrest-sim: %s\n", pty.error().c_str());
        return 1;
    }
    std::printf("lumacrest-sim: ready %s -> %s\n", link.c_str(), pty.terminalPath().c_str());
    std::fflush(stdout);

    while (!g_stop) {
        if (!pty.Step(200)) break;
        if (exited && !config.dumpPrefix.empty()) {
            DumpMemories(box, config.dumpPrefix);
            std::printf("lumacrest-sim: dumped %s\n", config.dumpPrefix.c_str());
            std::fflush(stdout);
        }
        if (exited) {
            std::printf("lumacrest-sim: %s\n", pty.RateLine().c_str());
            std::fflush(stdout);
        }
        exited = false;
    }
    std::printf("lumacrest-sim: %s\n", pty.RateLine().c_str());
    std::fflush(stdout);
    return 0;
}
