#include "platform/qt/TerminationSignals.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>

namespace lumacrest {

namespace {
// A signal handler can only reach the program through these.
int g_signalPipe[2] = {-1, -1};  // written from the signal handler only
volatile sig_atomic_t g_terminating = 0;
volatile sig_atomic_t g_taken = 1;  // signals that reach the program; the next one ends it

void OnTerminationSignal(int sig) {
    // The first signal asks the program to wind down (end the run, save the settings); the
    // command line takes a second one too (the run ends at once, its record still written);
    // one more while that is still going on, say behind a message box, ends the program.
    if (g_terminating >= g_taken) {
        ::signal(sig, SIG_DFL);
        ::raise(sig);
        return;
    }
    g_terminating = g_terminating + 1;
    const char byte = static_cast<char>(sig);
    ssize_t ignored = ::write(g_signalPipe[1], &byte, 1);
    (void)ignored;
}
}  // namespace

TerminationSignals::TerminationSignals(int taken, QObject* parent) : QObject(parent) {
    g_taken = taken;
    // Close on exec: a program we start must not be able to fake a signal.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        if (::read(g_signalPipe[0], &byte, 1) == 1) emit terminationRequested(byte);
    });
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &action, nullptr);
}

int TerminationSignals::Descriptor() const {
    return g_signalPipe[0];
}

TerminationSignals::~TerminationSignals() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &action, nullptr);
}

}  // namespace lumacrest
