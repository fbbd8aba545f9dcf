#include "shutdownsignals.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <initializer_list>
#include <unistd.h>

namespace {

/// The signal received; written only by the handler, read by the read loop.
volatile std::sig_atomic_t g_nSignal = 0;
/// The pipe whose read end wakes an event loop: {read, write}; -1 while there is none.
int g_wakePipe[2] = {-1, -1};

extern "C" void recordSignal(int nSignal)
{
    g_nSignal = nSignal;
    if (g_wakePipe[1] >= 0) {
        const int nSavedErrno = errno; // the interrupted code may be about to look at it
        const char byte = 1;
        [[maybe_unused]] const ssize_t nWritten = ::write(g_wakePipe[1], &byte, 1);
        errno = nSavedErrno;
    }
}

/// Makes the wake pipe: both ends non-blocking (a full pipe already wakes the loop) and closed
/// in the children the process starts.
void makeWakePipe()
{
    if (g_wakePipe[0] >= 0 || ::pipe2(g_wakePipe, O_NONBLOCK | O_CLOEXEC) == 0)
        return;
    g_wakePipe[0] = g_wakePipe[1] = -1;
}

} // namespace

void ShutdownSignals::Install()
{
    makeWakePipe();
    struct sigaction action = {};
    action.sa_handler = recordSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a blocked read returns
    for (const int nSignal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(nSignal, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

bool ShutdownSignals::Requested()
{
    return g_nSignal != 0;
}

int ShutdownSignals::Signal()
{
    return g_nSignal;
}

int ShutdownSignals::ExitCode()
{
    return 128 + g_nSignal;
}

int ShutdownSignals::WakeDescriptor()
{
    return g_wakePipe[0];
}
