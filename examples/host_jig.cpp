// The host driven from C++, as a test jig would drive it: a simulated programmer on a
// pseudo-terminal, one host on its port, an image loaded, the options set, an Update run, and
// the outcome printed. Exit status 0 when the chip passed.
#include <QCoreApplication>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "host/Config.h"
#include "host/HostApi.h"
#include "platform/qt/QtLink.h"
#include "sim/ProgrammerBox.h"
#include "sim/PtyBox.h"

using namespace lumacrest;

namespace {

// What the jig shows of its host: the log as it grows, messages, and the last outcome.
struct JigView : HostEvents {
    void LogAppended(const std::string& text, bool) override { std::fputs(text.c_str(), stdout); }
    void Message(const std::string& text, MessageKind) override {
        std::fprintf(stderr, "message: %s\n", text.c_str());
    }
    void RunEnded(const Outcome& outcome) override { last = outcome; }
    Outcome last;
};

// Waits on the event loop until the host's run has ended; true when it passed.
bool RunEnds(Host& h, QtTimers& timers, JigView& view) {
    while (api::Busy(h)) timers.PumpEvents();
    const Outcome& o = view.last;
    std::printf("\n%s: %s%s%s\n", o.operation.c_str(), o.Passed() ? "pass" : "fail",
                o.Passed() ? "" : (std::string(" at ") + StageName(o.stage) + ": ").c_str(),
                o.text.c_str());
    return o.Passed();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication qt(argc, argv);
    char pattern[] = "/tmp/host-jig-XXXXXX";
    if (!::mkdtemp(pattern)) return 2;
    const std::string dir = std::string(pattern) + "/";

    // The programmer: the simulated box, answering on a pseudo-terminal that COM1 names.
    sim::ProgrammerBox box;
    sim::PtyBox pty(box, dir + "box");
    if (!pty.ok()) {
        std::fprintf(stderr, "host_jig: %s\n", pty.error().c_str());
        return 2;
    }
    std::atomic<bool> stop{false};
    std::thread line([&] {
        while (!stop && pty.Step(20)) {
        }
    });
    std::ofstream(dir + "Ports.dat") << "COM1 " << dir << "box\n";
    std::ofstream(dir + kConfigFileName) << DefaultConfigText();

    // One host on that port. A jig asks its operator nothing: no prompts, no shell.
    QtSerialPort serial;
    QtTimers timers;
    Host h;
    h.programDir = dir;
    h.platform.serial = &serial;
    h.platform.timers = &timers;
    api::Attach(h);
    JigView view;
    h.view.AddObserver(&view);
    api::Open(h);

    // An image of 64 KiB, raw bytes, as a file of the build would be.
    const std::string image = dir + "image.bin";
    {
        std::ofstream out(image, std::ios::binary);
        for (uint32_t i = 0; i < 0x4000 + 0x10000; ++i) out.put(static_cast<char>((i * 7) >> 3));
    }
    bool passed = false;
    if (const api::Result loaded = api::LoadImage(h, ImageTarget::Flash, image); !loaded) {
        std::fprintf(stderr, "host_jig: %s\n", loaded.Describe().c_str());
    } else if (const api::Result set = api::SetOptions(h, {.eraseChip = true, .programFlash = true});
               !set) {
        std::fprintf(stderr, "host_jig: %s\n", set.Describe().c_str());
    } else if (api::Result connect = api::Connect(h, "COM1"); !connect || !RunEnds(h, timers, view)) {
        std::fprintf(stderr, "host_jig: no programmer on COM1 %s\n", connect.Describe().c_str());
    } else if (api::Result update = api::StartUpdate(h); !update) {
        std::fprintf(stderr, "host_jig: %s\n", update.Describe().c_str());
    } else {
        passed = RunEnds(h, timers, view);
    }

    stop = true;
    line.join();
    h.view.RemoveObserver(&view);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return passed ? 0 : 1;
}
