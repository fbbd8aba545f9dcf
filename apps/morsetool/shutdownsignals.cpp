#include "shutdownsignals.h"

#include <csignal>
#include <initializer_list>

namespace {

/// The signal received; written only by the handler, read by the read loop.
volatile std::sig_atomic_t g_nSignal = 0;

extern "C" void recordSignal(int nSignal)
{
    g_nSignal = nSignal;
}

} // namespace

void ShutdownSignals::Install()
{
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
