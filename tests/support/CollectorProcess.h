#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/TestSupport.h"

// The collector's path; each suite that uses this header defines it.
#ifndef TALLY_COLLECTOR
#error "TALLY_COLLECTOR must name the tally-collector program"
#endif

extern char** environ;

// A process of the test's own, spawned with its stdout on a pipe and
// stopped by its id when the object goes away.
class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& argv,
                 const std::vector<std::string>& extraEnv = {}) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        std::vector<std::string> envStrings(extraEnv);
        for (char** e = environ; *e; ++e) envStrings.emplace_back(*e);
        std::vector<char*> env;
        for (auto& e : envStrings) env.push_back(e.data());
        env.push_back(nullptr);
        if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), env.data()) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        out_ = fds[0];
    }
    ~ChildProcess() {
        kill(SIGTERM);
        if (out_ >= 0) ::close(out_);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool running() const { return pid_ > 0; }

    // Sends `signal` and leaves the process be.
    void signal(int signal) {
        if (pid_ > 0) ::kill(pid_, signal);
    }

    // Sends `signal` and reaps the process; its wait status.
    int kill(int signal) {
        if (pid_ <= 0) return status_;
        ::kill(pid_, signal);
        ::waitpid(pid_, &status_, 0);
        pid_ = -1;
        return status_;
    }

    // Waits at most `timeout` for the process to end, collecting its output
    // meanwhile (a full pipe would stall it). Its wait status, or -1 when it
    // had to be killed.
    int waitForExit(std::chrono::milliseconds timeout, std::string* output = nullptr) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        int status = -1;
        while (pid_ > 0) {
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                status_ = status;
                break;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                kill(SIGKILL);
                status = -1;
                break;
            }
            // Wakes for output, or after a while to look for the end again.
            readOutput(static_cast<int>(std::min<long>(left.count(), 50)));
        }
        // What is left in the pipe once the process has gone.
        while (out_ >= 0 && readOutput(0)) {
        }
        if (output) *output = std::exchange(buffer_, {});
        return status;
    }

    // The next line of output starting with `prefix`, waiting at most
    // `timeout`; empty when none came.
    std::string waitForLine(const std::string& prefix,
                            std::chrono::milliseconds timeout = std::chrono::seconds(15)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            for (size_t nl; (nl = buffer_.find('\n')) != std::string::npos;) {
                std::string line = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                if (line.rfind(prefix, 0) == 0) return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || out_ < 0 || !readOutput(static_cast<int>(left.count())))
                return {};
        }
    }

private:
    // Adds what the process printed, waiting at most `ms` (just waiting once
    // its output has ended); false when nothing came.
    bool readOutput(int ms) {
        pollfd p{out_, POLLIN, 0};
        if (::poll(&p, out_ >= 0 ? 1 : 0, ms) <= 0) return false;
        char chunk[4096];
        const ssize_t n = ::read(out_, chunk, sizeof chunk);
        if (n <= 0) {
            ::close(out_);
            out_ = -1;
            return false;
        }
        buffer_.append(chunk, static_cast<size_t>(n));
        return true;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    int status_ = 0;
    std::string buffer_;
};

// tally-collector on a free loopback port.
class CollectorProcess {
public:
    CollectorProcess(const std::string& db, std::vector<std::string> options = {})
        : db_(db), process_(arguments(db, std::move(options))) {
        const std::string line = process_.waitForLine("listening on ");
        if (!line.empty()) url_ = "http://" + line.substr(std::string("listening on ").size());
    }

    const std::string& url() const { return url_; }
    ChildProcess& process() { return process_; }

    // The uploads stored so far, oldest first.
    std::vector<nlohmann::json> uploads() const {
        std::string out;
        testsupport::run(std::string(TALLY_COLLECTOR) + " --dump --db " + db_, &out);
        std::vector<nlohmann::json> rows;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);)
            rows.push_back(nlohmann::json::parse(line));
        return rows;
    }

private:
    static std::vector<std::string> arguments(const std::string& db, std::vector<std::string> o) {
        std::vector<std::string> argv = {TALLY_COLLECTOR, "--db", db};
        argv.insert(argv.end(), o.begin(), o.end());
        return argv;
    }

    std::string db_;
    ChildProcess process_;
    std::string url_;
};
