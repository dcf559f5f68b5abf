// lumacrest-sim: a simulated programmer box behind a pseudo-terminal. The terminal is linked
// at the path given with --link, so that Ports.dat can map a COM name to it. Every event is
// printed on standard output, one line each.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sim/ProgrammerBox.h"

using lumacrest::sim::BoxConfig;
using lumacrest::sim::Chunk;
using lumacrest::sim::ProgrammerBox;

namespace {

volatile sig_atomic_t g_stop = 0;

void OnSignal(int) {
    g_stop = 1;
}

bool WriteAll(int fd, const std::vector<uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN) {
                ::usleep(1000);
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(lumacrest::sim::BoxUsage().c_str(), stdout);
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

    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        std::perror("lumacrest-sim: pseudo-terminal");
        return 1;
    }
    const char* slaveName = ::ptsname(master);
    if (!slaveName) {
        std::perror("lumacrest-sim: ptsname");
        return 1;
    }
    const std::string slavePath = slaveName;
    // Holding the terminal side open keeps the box alive across the host's closes, and lets
    // the line be raw before the host opens it.
    const int slave = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY);
    if (slave < 0) {
        std::perror("lumacrest-sim: open terminal");
        return 1;
    }
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, B115200);
    ::tcsetattr(slave, TCSANOW, &tio);

    ::unlink(link.c_str());
    if (::symlink(slavePath.c_str(), link.c_str()) != 0) {
        std::fprintf(stderr, "lumacrest-sim: cannot link %s: %s\n", link.c_str(),
                     std::strerror(errno));
        return 1;
    }
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    ProgrammerBox box(config);
    box.onEvent = [](const std::string& text) {
        std::printf("lumacrest-sim: %s\n", text.c_str());
        std::fflush(stdout);
    };
    std::printf("lumacrest-sim: ready %s -> %s\n", link.c_str(), slavePath.c_str());
    std::fflush(stdout);

    std::vector<uint8_t> buffer(4096);
    while (!g_stop) {
        pollfd pfd{master, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, 200);
        if (ready <= 0) continue;
        if (!(pfd.revents & POLLIN)) {
            ::usleep(10000);
            continue;
        }
        const ssize_t n = ::read(master, buffer.data(), buffer.size());
        if (n <= 0) continue;
        for (const Chunk& chunk : box.Receive(buffer.data(), static_cast<std::size_t>(n))) {
            if (chunk.delayMs) ::usleep(chunk.delayMs * 1000);
            if (!WriteAll(master, chunk.bytes)) break;
        }
    }
    ::unlink(link.c_str());
    ::close(slave);
    ::close(master);
    return 0;
}
