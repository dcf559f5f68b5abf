// Host timings through a pseudo-terminal, against the simulated box in a thread of its own:
//  1. the host's turnaround per exchange (reply written by the box until the next frame is
//     read by it), on an unpaced line;
//  2. a full Update (erase, boot, flash, KeyCode) of a 73728-byte flash image with the box
//     paced at 115200 baud, beside the wire-time lower bound plus the 0.5 s pause.
#include <stdlib.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "image/DeviceCatalogue.h"
#include "platform/ScriptedPrompts.h"
#include "platform/qt/QtLink.h"
#include "sim/PtyBox.h"
#include "app/Application.h"
#include "app/CMainDlg.h"
#include "ui/main/ResourceIds.h"

using namespace lumacrest;
using Clock = std::chrono::steady_clock;

namespace {

constexpr uint32_t kBaud = 115200;

struct Result {
    double seconds = 0;
    std::size_t wireBytes = 0;
    std::vector<double> turnaroundsMs;
    bool passed = false;
};

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t at = std::min(v.size() - 1, static_cast<std::size_t>(p * (v.size() - 1)));
    return v[at];
}

Result RunUpdate(const std::string& dir, uint32_t baud) {
    sim::ProgrammerBox box;
    const std::string link = dir + "box";
    sim::PtyBox pty(box, link, baud);
    if (!pty.ok()) {
        std::fprintf(stderr, "update_bench: %s\n", pty.error().c_str());
        std::exit(1);
    }
    std::atomic<bool> stop{false};
    std::thread boxThread([&] {
        while (!stop && pty.Step(20)) {
        }
    });

    ScriptedPrompts prompts;
    RecordingShell shell;
    QtSerialPort serial;
    QtTimers timers;
    auto host = std::make_unique<Host>();
    Host& h = *host;
    h.programDir = dir;
    h.platform = {&prompts, &shell, &serial, &timers};
    Application dlgApp(h);
    CMainDlg& dlg = dlgApp.dlg;
    std::ofstream(dir + "Ports.dat") << "COM1 " << link << "\n";
    h.port.number = 1;
    SetPageGeometry(h.target, 256, 288, 256, 16);
    h.target.FlashPagesToWrite = 288;
    h.target.BootPagesToWrite = 16;
    for (std::size_t i = 0; i < h.target.dev.FlashSize; ++i)
        h.target.buf().flash[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
    for (std::size_t i = 0; i < h.target.dev.BootSize; ++i) h.target.buf().boot[i] = static_cast<uint8_t>(i);
    for (int option : {id::EraseChip, id::ProgramBoot, id::ProgramFlash, id::ProgramKeyCode})
        h.ui.SetCheck(option, 1);

    QElapsedTimer clock;
    clock.start();
    dlg.OnCommand(id::Update);
    while (!h.ui.IsEnabled(id::Update) || serial.IsOpen())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    Result r;
    r.seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    stop = true;
    boxThread.join();
    r.passed = box.lastExitResult() == 1 &&
               std::equal(box.flash().begin(), box.flash().begin() + h.target.dev.FlashSize,
                          h.target.buf().flash.begin());
    r.wireBytes = pty.bytesIn + pty.bytesOut;
    for (auto d : pty.turnarounds)
        r.turnaroundsMs.push_back(std::chrono::duration<double, std::milli>(d).count());
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    char pattern[] = "/tmp/lumacrest-bench-XXXXXX";
    if (!::mkdtemp(pattern)) return 1;
    const std::string dir = std::string(pattern) + "/";

    const Result fast = RunUpdate(dir, 0);
    std::printf("turnaround per exchange (reply written -> next frame read, %zu exchanges):\n",
                fast.turnaroundsMs.size());
    const double median = Percentile(fast.turnaroundsMs, 0.5);
    std::printf("  median %.3f ms   p99 %.3f ms   max %.3f ms   (target: median < 0.2 ms: %s)\n",
                median, Percentile(fast.turnaroundsMs, 0.99), Percentile(fast.turnaroundsMs, 1.0),
                median < 0.2 ? "met" : "MISSED");
    std::printf("  unpaced Update: %.3f s, chip %s\n", fast.seconds,
                fast.passed ? "programmed" : "NOT PROGRAMMED");

    const Result paced = RunUpdate(dir, kBaud);
    const double bound = static_cast<double>(paced.wireBytes) * 10 / kBaud + 0.5;
    std::printf("Update of a 73728-byte image at %u baud: %.3f s\n", kBaud, paced.seconds);
    const double ratio = paced.seconds / bound;
    std::printf(
        "  lower bound (%zu bytes on the wire + 0.5 s pause): %.3f s   ratio %.4f   "
        "(target: within 3 %%: %s), chip %s\n",
        paced.wireBytes, bound, ratio, ratio <= 1.03 ? "met" : "MISSED",
        paced.passed ? "programmed" : "NOT PROGRAMMED");
    std::filesystem::remove_all(pattern);
    return fast.passed && paced.passed ? 0 : 1;
}
