#pragma once

// A private PulseAudio server for one test: its own runtime directory, a
// null sink "speakers" as the machine's output, stopped by its process id.
// The test process (and the tools it runs: pactl, parecord) talk to it
// through PULSE_RUNTIME_PATH, which this sets while the server lives.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "support/TestSupport.h"

extern char** environ;

namespace testsupport {

class PulseServer {
public:
    PulseServer() {
        ::setenv("XDG_RUNTIME_DIR", dir_.path().c_str(), 1);
        ::setenv("PULSE_RUNTIME_PATH", (dir_.path() + "/pulse").c_str(), 1);
        ::unsetenv("PULSE_SERVER");
        start();
    }
    ~PulseServer() {
        stop(SIGTERM);
        ::unsetenv("PULSE_RUNTIME_PATH");
        ::unsetenv("XDG_RUNTIME_DIR");
    }
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    // Whether it answers.
    bool ready() const { return ready_; }

    // Ends the server with `signal` and reaps it.
    void stop(int signal) {
        if (pid_ <= 0) return;
        ::kill(pid_, signal);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
        ready_ = false;
    }
    // A fresh server over the same runtime directory (a restart).
    void start() {
        std::vector<std::string> argv = {"pulseaudio",
                                         "-n",
                                         "--daemonize=no",
                                         "--exit-idle-time=-1",
                                         "--disallow-exit",
                                         "--use-pid-file=no",
                                         "--log-target=stderr",
                                         "--log-level=error",
                                         "-L",
                                         "module-native-protocol-unix auth-anonymous=1",
                                         "-L",
                                         "module-null-sink sink_name=speakers"};
        std::vector<char*> args;
        for (auto& a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        if (posix_spawnp(&pid_, "pulseaudio", nullptr, nullptr, args.data(), environ) != 0) {
            pid_ = -1;
            return;
        }
        // The server takes a moment to listen: ask until it answers.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (std::chrono::steady_clock::now() < deadline) {
            if (run("pactl info >/dev/null 2>&1") == 0) {
                ready_ = true;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    // `pactl ARGS`'s output.
    static std::string pactl(const std::string& args) {
        std::string out;
        run("pactl " + args + " 2>&1", &out);
        return out;
    }

    // Lines of `pactl list short modules` that carry the program's mark.
    static int ourModules() {
        std::string out;
        run("pactl list short modules | grep -c quellio.owner", &out);
        return std::atoi(out.c_str());
    }

private:
    TempDir dir_;
    pid_t pid_ = -1;
    bool ready_ = false;
};

}  // namespace testsupport
