#include "x11/termination.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>

namespace {

// The signal that asked for the end; zero until one did.
volatile sig_atomic_t g_terminate = 0;
int g_wakePipe[2] = {-1, -1};

void OnTerminate(int signal) {
    g_terminate = signal;
    int saved = errno;
    if (g_wakePipe[1] >= 0) {
        ssize_t ignored = write(g_wakePipe[1], "x", 1);
        (void)ignored;
    }
    errno = saved;
}

}  // namespace

void InstallTerminationSignals() {
    if (pipe(g_wakePipe) == 0) {
        for (int fd : g_wakePipe) {
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
            fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
    }
    struct sigaction action = {};
    action.sa_handler = OnTerminate;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

int32_t TerminationRequested() {
    return g_terminate ? 1 : 0;
}

int TerminationWakeFd() {
    return g_wakePipe[0];
}

void DieOfTerminationSignal() {
    const int signal = g_terminate;
    if (signal == 0) {
        return;
    }
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    raise(signal);
}
