#pragma once

#include <memory>
#include <string>

// An optional class outside the SDK that wants to hear some settings. The
// host registers one under the name "TallyCompanion"; each method returns
// false when the companion does not answer it. Without a companion nothing
// happens.
class TallyCompanion {
public:
    virtual ~TallyCompanion() = default;
    virtual bool setDebugStatus(bool) { return false; }
    virtual bool setSendInterval(int /*seconds*/) { return false; }
    virtual bool setChannel(const std::string&) { return false; }

    static constexpr const char* kClassName = "TallyCompanion";

    // Registers (or, with nullptr, removes) a class by name; any thread.
    static void registerClass(const std::string& name, std::shared_ptr<TallyCompanion> companion);
    // The class registered as kClassName, or nullptr.
    static std::shared_ptr<TallyCompanion> lookUp();
};
