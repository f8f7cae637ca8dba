// Building one envelope from a full eight-hour period (5,000 events), and
// the upload throughput to a local tally-collector.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "analytics/api/Tally.h"
#include "analytics/collect/TLANBaseEvent.h"
#include "analytics/collect/TallyRuntime.h"
#include "analytics/collect/TallyUtility.h"
#include "analytics/support/TallyLog.h"
#include "analytics/upload/TallyDataPipeline.h"
#include "foundation/RunLoop.h"

#include "ScratchTally.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void fill(TallyInternal& collector, int events, double now) {
    const char* ids[] = {"playSound", "tabSwitch", "recordStart", "saveEffect"};
    for (int i = 0; i < events; ++i) {
        auto e = std::make_shared<TLANEvent>();
        e->event_id = ids[i % 4];
        e->label = "掌声 " + std::to_string(i % 97);
        e->ts = now - events + i;
        e->stamp("5B0A0C35F3C1A6F5E2B1D4C7A8E9F0D1");
        collector.events.push_back(std::move(e));
    }
    auto t = std::make_shared<TLANTerminate>();
    t->ts = now;
    t->duration = 1800;
    t->stamp("5B0A0C35F3C1A6F5E2B1D4C7A8E9F0D1");
    collector.terminates.push_back(std::move(t));
}

// tally-collector on a free port; its base URL, or empty.
std::string startCollector(const std::string& db, pid_t& pid, int& out) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    std::string exe = TALLY_COLLECTOR;
    std::vector<char*> argv = {exe.data(), const_cast<char*>("--db"), const_cast<char*>(db.c_str()),
                               nullptr};
    const int rc = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    out = fds[0];
    if (rc != 0) return {};
    std::string text;
    pollfd p{out, POLLIN, 0};
    while (text.find('\n') == std::string::npos && ::poll(&p, 1, 10'000) > 0) {
        char buf[256];
        const ssize_t n = ::read(out, buf, sizeof buf);
        if (n <= 0) break;
        text.append(buf, static_cast<size_t>(n));
    }
    const std::string prefix = "listening on ";
    if (text.rfind(prefix, 0) != 0) return {};
    return "http://" + text.substr(prefix.size(), text.find('\n') - prefix.size());
}

}  // namespace

int main() {
    ScratchTally scratch("tally-envelope-bench");
    setTallyLogSink([](const std::string&) {});
    platform::RunLoop& loop = scratch.loop;
    pid_t collectorPid = -1;
    int collectorOut = -1;
    {
        TallyRuntime runtime(scratch.env);
        TallyRuntime::Scope scope(runtime);
        auto pipeline = std::make_shared<TallyDataPipeline>(runtime);
        runtime.setPipeline(pipeline);
        pipeline->job().networkAvailable = [] { return false; };
        TLAnalyticsConfig config;
        config.appKey = "5f8e2a91c3d74b06e1a9c2d7";
        config.bCrashReportEnabled = false;
        config.primaryURL = config.alternateURL = "";
        Tally::startWithConfigure(config);
        loop.runUntilIdle();

        constexpr int kRuns = 20;
        constexpr int kEvents = TallyInternal::kMaxEventsPerPeriod;
        std::vector<double> samples;
        int32_t raw = 0;
        size_t deflated = 0;
        for (int run = 0; run < kRuns; ++run) {
            fill(runtime.internal(), kEvents, runtime.now());
            const auto t0 = Clock::now();
            const bool written = pipeline->envelope().makeEnvelopeData();
            samples.push_back(ms(Clock::now() - t0));
            if (!written) {
                std::printf("envelope not written\n");
                return 1;
            }
            raw = pipeline->envelope().length;
            deflated = std::filesystem::file_size(pipeline->envelope().lastFilePath);
            std::filesystem::remove(pipeline->envelope().lastFilePath);
        }
        std::sort(samples.begin(), samples.end());
        std::printf("envelope of %d events: median %.1f ms, max %.1f ms (target <= 50 ms)\n",
                    kEvents, samples[samples.size() / 2], samples.back());
        std::printf("payload %d bytes, envelope file %zu bytes (%.1f%%)\n", raw, deflated,
                    100.0 * static_cast<double>(deflated) / raw);

        // Upload: jobs of ten envelopes of 100 events each.
        const std::string url =
            startCollector((scratch.dir / "collector.db").string(), collectorPid, collectorOut);
        if (url.empty()) {
            std::printf("tally-collector did not start\n");
        } else {
            runtime.app().setEndpoints(url, {});
            constexpr int kJobs = 10;
            int sent = 0;
            double uploadMs = 0;
            for (int job = 0; job < kJobs; ++job) {
                for (int i = 0; i < 10; ++i) {
                    fill(runtime.internal(), 100, runtime.now());
                    pipeline->envelope().makeEnvelopeData();
                }
                const auto t0 = Clock::now();
                pipeline->beginPerformJob();
                pipeline->waitForSendQueue();
                uploadMs += ms(Clock::now() - t0);
                sent += 10 - static_cast<int>(TallyUtility::envelopeFiles(runtime).size());
            }
            std::printf("upload to tally-collector: %d envelopes in %.1f ms = %.0f envelopes/s\n",
                        sent, uploadMs, sent / (uploadMs / 1000));
        }
        loop.runUntilIdle();
    }
    if (collectorPid > 0) {
        ::kill(collectorPid, SIGTERM);
        ::waitpid(collectorPid, nullptr, 0);
        ::close(collectorOut);
    }
    setTallyLogSink({});
    return 0;
}
