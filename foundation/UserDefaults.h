#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "foundation/Value.h"

namespace platform {

// Small persistent settings: one property list, written whole and atomically
// on every change so a flag survives a crash right after it was set.
class UserDefaults {
public:
    // The program's store: <Library>/Preferences/com.zentrik.quellio.plist.
    static UserDefaults& standard();

    explicit UserDefaults(std::string path);
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    Value objectForKey(const std::string& key) const;  // null when absent
    bool boolForKey(const std::string& key) const;     // false when absent or not a bool/number
    std::optional<int64_t> integerForKey(const std::string& key) const;
    std::optional<std::string> stringForKey(const std::string& key) const;

    // Stores a property-list value; a null value removes the key.
    void setObject(const Value& value, const std::string& key);
    void setBool(bool value, const std::string& key) { setObject(Value(value), key); }
    void removeObjectForKey(const std::string& key) { setObject(Value(), key); }

    // Writes the store now; false (and a debug error) when it cannot.
    bool synchronize();
    // Forgets the memory copy and reads the file again.
    void reload();

    // Runs `execution` unless the Boolean true is stored under `key`; stores
    // (and writes) true once an execution returns true, so an execution that
    // returns false runs again next time. The class-level form uses standard().
    static void executeOnceWithKey(const std::string& key, const std::function<bool()>& execution) {
        standard().executeOnce(key, execution);
    }
    void executeOnce(const std::string& key, const std::function<bool()>& execution);

    const std::string& path() const { return path_; }

private:
    bool writeLocked();

    std::string path_;
    mutable std::mutex mutex_;
    Value::Dictionary values_;
    // The file held something unreadable: keep it aside before overwriting.
    bool keepDamagedCopy_ = false;
};

}  // namespace platform
