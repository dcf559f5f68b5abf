// The station window against simulated programmers, without a display: rounds of an Update on
// every tile, the wall time of each round, how long a key waits while the tiles run, and the
// memory and descriptors of the process before and after.
//   station_bench SIMULATOR TILES ROUNDS [BAUD [IMAGE_BYTES]]
// Prints "round_ms MEDIAN", "key_ms MEDIAN P95 MAX", "rss_kb START END", "fds START END",
// "runs N passed P".
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "platform/PosixProcessRunner.h"
#include "support/ScriptedPrompts.h"
#include "ui/station/qt/StationWindow.h"

using namespace lumacrest;

namespace {

long RssKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').front().toLong();
    return -1;
}

long OpenFds() { return static_cast<long>(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size()); }

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Times a key from its posting to the end of its handling.
class KeyProbe : public QObject {
public:
    explicit KeyProbe(StationWindow& w) : w_(w) {}
    void Post() {
        clock_.start();
        QCoreApplication::postEvent(&w_, new QKeyEvent(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier));
    }
    bool eventFilter(QObject* o, QEvent* e) override {
        if (o != &w_ || e->type() != QEvent::KeyPress || !clock_.isValid()) return false;
        w_.PressKey(static_cast<QKeyEvent*>(e)->key() == Qt::Key_Right ? StationKey::Right : StationKey::Left);
        samples.push_back(static_cast<double>(clock_.nsecsElapsed()) / 1e6);
        clock_.invalidate();
        return true;
    }
    std::vector<double> samples;

private:
    StationWindow& w_;
    QElapsedTimer clock_;
};

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: station_bench SIMULATOR TILES ROUNDS [BAUD [IMAGE_BYTES]]\n");
        return 2;
    }
    const QString simulator = QString::fromLocal8Bit(argv[1]);
    const int tiles = std::clamp(atoi(argv[2]), 1, 16);
    const int rounds = std::max(1, atoi(argv[3]));
    const QString baud = argc > 4 ? QString::fromLocal8Bit(argv[4]) : QStringLiteral("0");
    const int imageBytes = argc > 5 ? atoi(argv[5]) : 16384;

    QTemporaryDir dir;
    auto write = [&](const QString& name, const QByteArray& data) {
        QFile f(dir.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(data);
    };
    // Erase Chip and Program Flash, 288 pages of 256 bytes.
    write(QStringLiteral("Config.dat"),
          "YES\nMN101EF32D\nUSB\nW\\:\nW\\:\nW\\:\nW\\:\n3\n0\n1\n16\n256\n288\n256\n288\n256\n16\n"
          "0\n0\n0\n0\n0\n0\n0\n0\n16384\n16384\n3\n1\n0\nAdapter:B\n1\n");
    QByteArray image(imageBytes, '\0');
    for (int i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 13 + 7);
    write(QStringLiteral("main.bin"), image);
    std::vector<std::unique_ptr<QProcess>> boxes;
    QByteArray ports;
    StationSetup setup;
    for (int i = 0; i < tiles; ++i) {
        const QString link = dir.filePath(QStringLiteral("box%1").arg(i));
        auto p = std::make_unique<QProcess>();
        p->start(simulator, {QStringLiteral("--link"), link, QStringLiteral("--baud"), baud});
        for (int k = 0; k < 200 && !QFile::exists(link); ++k) QThread::msleep(25);
        if (!QFile::exists(link)) {
            std::fprintf(stderr, "the simulator did not start\n");
            return 1;
        }
        ports += "COM" + QByteArray::number(i + 1) + " " + link.toUtf8() + "\n";
        setup.ports.push_back("COM" + std::to_string(i + 1));
        boxes.push_back(std::move(p));
    }
    write(QStringLiteral("Ports.dat"), ports);

    ScriptedPrompts prompts;
    RecordingShell shell;
    PosixProcessRunner processes;
    setup.programDir = dir.path().toStdString() + "/";
    setup.prompts = &prompts;
    setup.shell = &shell;
    setup.processes = &processes;
    setup.recordPath = dir.filePath(QStringLiteral("runs.jsonl")).toStdString();
    auto window = std::make_unique<StationWindow>(setup);
    for (int i = 0; i < tiles; ++i)
        window->Feed(static_cast<std::size_t>(i)).LoadFlashFile(dir.filePath(QStringLiteral("main.bin")).toStdString(), 0);
    window->show();
    window->Start();
    // Waits on the event loop as the window's own loop does (a loop that only polls would take
    // a core from the tiles and their programmers); a tick bounds how late `done` is seen.
    QTimer tick;
    tick.start(20);
    auto settle = [&](auto done, int limitMs) {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < limitMs) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        return done();
    };
    const bool ready = settle([&] {
        const auto& all = window->Model().Tiles();
        return std::all_of(all.begin(), all.end(), [](const TileState& t) { return t.presence == TilePresence::Ready; });
    }, 20000);
    if (!ready || window->AnyBusy()) settle([&] { return !window->AnyBusy(); }, 5000);
    if (!ready) {
        std::fprintf(stderr, "not every tile found its programmer\n");
        return 1;
    }

    KeyProbe probe(*window);
    window->installEventFilter(&probe);
    QTimer keys;
    QObject::connect(&keys, &QTimer::timeout, [&] { probe.Post(); });
    std::vector<double> roundMs;
    long rssStart = 0, fdsStart = 0;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer t;
        t.start();
        window->UpdateAll();
        keys.start(97);
        settle([&] { return !window->AnyBusy(); }, 600000);
        keys.stop();
        roundMs.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        if (r == 0) {
            rssStart = RssKb();
            fdsStart = OpenFds();
        }
    }
    settle([] { return false; }, 200);
    const ShiftCounts totals = window->Model().Totals();
    std::vector<double> k = probe.samples;
    std::sort(k.begin(), k.end());
    std::printf("round_ms %.1f\n", Median(roundMs));
    std::printf("key_ms %.2f %.2f %.2f\n", Median(k), k.empty() ? 0.0 : k[k.size() * 95 / 100],
                k.empty() ? 0.0 : k.back());
    // The runs of the last round, each as its tile timed it: a spread of starts shows as a
    // round longer than its longest run.
    double shortest = 1e9, longest = 0;
    for (const TileState& t : window->Model().Tiles())
        if (t.verdict) {
            const double sec = std::atof(t.verdict->seconds.c_str());
            shortest = std::min(shortest, sec);
            longest = std::max(longest, sec);
        }
    std::printf("run_s %.1f %.1f\n", shortest, longest);
    std::printf("rss_kb %ld %ld\n", rssStart, RssKb());
    std::printf("fds %ld %ld\n", fdsStart, OpenFds());
    std::printf("runs %llu passed %llu\n", static_cast<unsigned long long>(totals.Runs()),
                static_cast<unsigned long long>(totals.passed));
    if (totals.passed != totals.Runs())
        std::fprintf(stderr, "a run failed: %s\n%s\n", window->Model().Tiles()[0].message.c_str(),
                     window->Feed(0).Log().c_str());
    window->Shutdown();
    window.reset();
    for (auto& p : boxes) {
        p->kill();
        p->waitForFinished(2000);
    }
    return totals.passed == totals.Runs() ? 0 : 1;
}
