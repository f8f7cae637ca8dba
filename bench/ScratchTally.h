#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>

#include "analytics/collect/TallyRuntime.h"
#include "foundation/Clock.h"
#include "foundation/NotificationCenter.h"
#include "foundation/RunLoop.h"
#include "foundation/UserDefaults.h"

// An analytics environment of a benchmark's own, on the real clock, in a
// scratch folder that goes when the object does: the user's files are
// neither read nor touched.
struct ScratchTally {
    explicit ScratchTally(const std::string& name)
        : dir(std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()))),
          created(std::filesystem::create_directories(dir)),
          loop(platform::Clock::system()),
          defaults((dir / "defaults.plist").string()) {
        env.clock = &platform::Clock::system();
        env.defaults = &defaults;
        env.runLoop = &loop;
        env.notificationCenter = &center;
        env.libraryDirectory = (dir / "Library").string();
        env.sharedUDIDDirectory = (dir / "SharedUDID").string();
    }
    ~ScratchTally() {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    ScratchTally(const ScratchTally&) = delete;
    ScratchTally& operator=(const ScratchTally&) = delete;

    std::filesystem::path dir;
    bool created;
    platform::RunLoop loop;
    platform::UserDefaults defaults;
    platform::NotificationCenter center;
    TallyEnvironment env;
};
