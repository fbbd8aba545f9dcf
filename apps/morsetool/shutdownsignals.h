#pragma once

/// SIGINT, SIGTERM and SIGHUP as a request to stop: the handler only records the signal (an
/// async-signal-safe store into an atomic flag) and the read loop polls it, finishes what was
/// read, saves and closes, and leaves with the usual exit code 128 + the signal's number.
/// An event loop that waits on something else watches WakeDescriptor() instead of polling.
/// SIGPIPE is ignored, so a closed standard output shows as a failed write (EPIPE) instead of
/// ending the process.
class ShutdownSignals
{
public:
    /// Installs the handlers, without SA_RESTART: a read that waits for input returns with
    /// EINTR, and the reader can look at requested().
    static void Install();
    /// Whether a stop was asked for.
    static bool Requested();
    /// The signal that asked for it; 0 when none.
    static int Signal();
    /// The exit code for the signal that asked for a stop (128 + its number).
    static int ExitCode();
    /// A descriptor that becomes readable when a stop is asked for, for an event loop to watch
    /// (the handler writes a byte to a pipe); -1 before Install() or when no pipe could be made.
    static int WakeDescriptor();
};
