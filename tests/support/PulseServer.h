#pragma once

// A private PulseAudio server for one test: its own runtime directory, a
// null sink "speakers" as the machine's output, stopped by its process id.
// The test process (and the tools it runs: pactl, parecord) talk to it
// through PULSE_RUNTIME_PATH, which this sets while the server lives.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

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
        const std::string cmd =
            "exec pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit "
            "--use-pid-file=no --log-target=stderr --log-level=error "
            "-L 'module-native-protocol-unix auth-anonymous=1' "
            "-L 'module-null-sink sink_name=speakers'";
        const char* argv[] = {"sh", "-c", cmd.c_str(), nullptr};
        if (posix_spawnp(&pid_, "sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
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

// `frames` of mono float32 from `source`, recorded in the background.
class Recording {
public:
    Recording(const std::string& source, const std::string& path, size_t frames) : path_(path) {
        const std::string cmd =
            "parecord --raw --format=float32le --channels=1 --rate=44100 "
            "--latency-msec=5 -d '" +
            source + "' | head -c " + std::to_string(frames * 4) + " > '" + path + "'";
        const char* argv[] = {"sh", "-c", cmd.c_str(), nullptr};
        if (posix_spawnp(&pid_, "sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
            pid_ = -1;
        }
    }
    ~Recording() { samples(); }
    // Waits for the recording to end.
    std::vector<float> samples() {
        if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
        return readFloats(path_);
    }

private:
    std::string path_;
    pid_t pid_ = -1;
};

// Waits until the server has `n` recording streams, so nothing played after
// this is missed.
inline void awaitRecorders(int n) {
    for (int i = 0; i < 500; ++i) {
        std::string out;
        testsupport::run("pactl list short source-outputs | wc -l", &out);
        if (std::atoi(out.c_str()) >= n) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    FAIL() << "the recorders did not connect";
}

inline size_t onset(const std::vector<float>& s) {
    for (size_t i = 0; i < s.size(); ++i) {
        if (std::fabs(s[i]) > 0.02f) return i;
    }
    return s.size();
}

// The best normalised correlation of `sound`'s first half second with
// `recording`, near where both start, and the gain at that point. The
// recording may have begun a moment after the sound did.
inline std::pair<double, double> findIn(const std::vector<float>& recording,
                                        const std::vector<float>& sound) {
    const long n = std::min<long>(44100 / 2, static_cast<long>(sound.size()));
    const long guess = static_cast<long>(onset(recording)) - static_cast<long>(onset(sound));
    double best = 0;
    double gain = 0;
    for (long lag = guess - 2048; lag <= guess + 2048; ++lag) {
        if (lag + n > static_cast<long>(recording.size())) continue;
        double dot = 0, a = 0, b = 0;
        for (long i = std::max(0L, -lag); i < n; ++i) {
            const double r = recording[lag + i];
            dot += r * sound[i];
            a += r * r;
            b += double(sound[i]) * sound[i];
        }
        const double c = (a > 0 && b > 0) ? dot / std::sqrt(a * b) : 0;
        if (c > best) {
            best = c;
            gain = std::sqrt(a / b);
        }
    }
    return {best, gain};
}

}  // namespace testsupport
