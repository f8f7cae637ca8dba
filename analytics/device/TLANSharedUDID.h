#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "foundation/Clock.h"
#include "foundation/UserDefaults.h"
#include "foundation/Value.h"

// A device identifier shared by the applications of one user: 40
// hexadecimal digits. Each application keeps its copy in its own defaults
// under "SharedUDID" and one of 100 slot files in a directory they all
// share ("org.SharedUDID.slot.0" to "…99"), each a property list holding that
// application's dictionary; an application that finds no copy of its own
// adopts one from the slots, so the value survives a reinstall.
class TLANSharedUDID {
public:
    static constexpr int kSlotCount = 100;
    static constexpr const char* kSlotPrefix = "org.SharedUDID.slot.";

    // `slotDirectory` is shared between applications; see defaultSlotDirectory().
    TLANSharedUDID(platform::UserDefaults& defaults, platform::Clock& clock,
                   std::string slotDirectory);

    // $QUELLIO_HOME/SharedUDID when that is set (tests, portable installs),
    // else <XDG data home>/SharedUDID, beside every application's own folder.
    static std::string defaultSlotDirectory();

    // The value; `message` receives how it was found. Within one object the
    // first value found is kept. Any thread.
    std::string value(std::string* message = nullptr);

    // Opting out makes value() answer forty zeros from the next call on. The
    // opt-out is kept in the local dictionary and mirrored into the slot.
    void setOptOut(bool optOut);

private:
    std::string compute(std::string* message);
    std::string slotPath(int slot) const;

    platform::UserDefaults& defaults_;
    platform::Clock& clock_;
    std::string slotDirectory_;
    std::mutex mutex_;
    std::optional<std::string> cached_;
};
