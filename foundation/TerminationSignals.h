#pragma once

namespace platform {

// Turns the signals that ask a program to end (SIGTERM, SIGINT, SIGHUP)
// into bytes on a pipe, so the main loop can end the program its ordinary
// way. The handler does nothing but write the signal's number; whoever
// watches the pipe reads it with take(). Each signal's handler lasts for one
// delivery, and take() puts the default action back for all of them: a
// second request while the program is ending ends it at once.
class TerminationSignals {
public:
    // Installs the handlers (once per process; later calls do nothing) and
    // returns the pipe's read end, non-blocking, or -1 when no pipe could
    // be made.
    static int install();
    // The read end, or -1 before install().
    static int fd();
    // The first signal waiting on the pipe, or 0 when none; reading one
    // restores the default actions. Any thread; meant for the one that
    // watches fd().
    static int take();
    // Whether a signal has arrived since install().
    static bool received();
};

}  // namespace platform
