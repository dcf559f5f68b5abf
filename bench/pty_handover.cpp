// What a pseudo-terminal itself costs per exchange, with no serial adapter, event loop or
// programmer code in the way: a "host" thread on the terminal side writes a frame, a "box"
// thread on the other side waits out a quiet gap (the time a paced line needs for the frame
// and its answer) and answers. Printed per gap: the median time from a write on one side to
// the read on the other, both ways, with the host sleeping in poll() as the tool does, and
// with the host polling without sleeping (which shows how much of it is the host's own wake).
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

struct Handover {
    double hostToBoxUs = 0;
    double boxToHostUs = 0;
};

Handover Measure(int gapUs, bool hostSpins, int exchanges) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) std::exit(1);
    const int terminal = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
    if (terminal < 0) std::exit(1);
    termios tio{};
    ::tcgetattr(terminal, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(terminal, TCSANOW, &tio);

    std::atomic<int64_t> hostWrote{0}, boxWrote{0};
    std::vector<double> up, down;
    std::thread box([&] {
        std::vector<char> buffer(512, 2);
        for (int i = 0; i < exchanges; ++i) {
            pollfd pfd{master, POLLIN, 0};
            ::poll(&pfd, 1, -1);
            if (::read(master, buffer.data(), buffer.size()) <= 0) return;
            up.push_back(static_cast<double>(NowNs() - hostWrote) / 1000);
            // The line's quiet time: sleep most of it, spin the rest, as the simulated box does.
            const auto due = Clock::now() + std::chrono::microseconds(gapUs);
            std::this_thread::sleep_until(due - std::chrono::microseconds(200));
            while (Clock::now() < due) {
            }
            boxWrote = NowNs();
            if (::write(master, buffer.data(), 8) != 8) return;
        }
    });
    std::vector<char> frame(264, 1);
    for (int i = 0; i < exchanges; ++i) {
        hostWrote = NowNs();
        if (::write(terminal, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size()))
            break;
        pollfd pfd{terminal, POLLIN, 0};
        if (hostSpins)
            while (::poll(&pfd, 1, 0) == 0) {
            }
        else
            ::poll(&pfd, 1, -1);
        down.push_back(static_cast<double>(NowNs() - boxWrote) / 1000);
        if (::read(terminal, frame.data(), frame.size()) <= 0) break;
    }
    box.join();
    ::close(terminal);
    ::close(master);
    return {Median(up), Median(down)};
}

}  // namespace

int main(int argc, char** argv) {
    const int exchanges = argc > 1 ? std::atoi(argv[1]) : 200;
    std::printf("pseudo-terminal hand-over, median of %d exchanges (microseconds)\n", exchanges);
    std::printf("  quiet gap   host->box   box->host   box->host, host not sleeping\n");
    for (const int gapUs : {0, 2000, 23000}) {
        const Handover sleeping = Measure(gapUs, false, exchanges);
        const Handover spinning = Measure(gapUs, true, exchanges);
        std::printf("  %6.1f ms   %9.1f   %9.1f   %9.1f\n", gapUs / 1000.0, sleeping.hostToBoxUs,
                    sleeping.boxToHostUs, spinning.boxToHostUs);
    }
    std::printf("(a paced Update of a 73728-byte image makes about 617 exchanges, each after a "
                "quiet gap of 1-23 ms)\n");
    return 0;
}
