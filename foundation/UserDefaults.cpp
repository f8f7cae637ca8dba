#include "foundation/UserDefaults.h"

#include <filesystem>

#include "foundation/DebugLog.h"
#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "foundation/PropertyList.h"

namespace platform {

UserDefaults& UserDefaults::standard() {
    static UserDefaults defaults(Paths::libraryDirectory() + "/Preferences/com.zentrik.quellio.plist");
    return defaults;
}

UserDefaults::UserDefaults(std::string path) : path_(std::move(path)) { reload(); }

void UserDefaults::reload() {
    std::lock_guard lock(mutex_);
    values_.clear();
    keepDamagedCopy_ = false;
    std::error_code ec;
    if (!std::filesystem::exists(path_, ec)) return;
    std::string error;
    auto root = PropertyList::readFile(path_, &error);
    if (!root) {
        // A damaged store starts empty rather than stopping the program.
        QEL_DEBUG_ERROR("user defaults unreadable: " + error);
        keepDamagedCopy_ = true;
        return;
    }
    if (auto* dict = root->asDictionary()) {
        values_ = std::move(*dict);
    } else {
        QEL_DEBUG_ERROR("user defaults root is not a dictionary: " + path_);
        keepDamagedCopy_ = true;
    }
}

Value UserDefaults::objectForKey(const std::string& key) const {
    std::lock_guard lock(mutex_);
    auto it = values_.find(key);
    return it == values_.end() ? Value() : it->second;
}

bool UserDefaults::boolForKey(const std::string& key) const {
    Value v = objectForKey(key);
    if (auto b = v.asBool()) return *b;
    if (auto i = v.asInteger()) return *i != 0;
    return false;
}

std::optional<int64_t> UserDefaults::integerForKey(const std::string& key) const {
    return objectForKey(key).asInteger();
}

std::optional<std::string> UserDefaults::stringForKey(const std::string& key) const {
    Value v = objectForKey(key);
    if (auto* s = v.asString()) return *s;
    return std::nullopt;
}

void UserDefaults::setObject(const Value& value, const std::string& key) {
    std::lock_guard lock(mutex_);
    if (value.isNull()) {
        values_.erase(key);
    } else {
        values_[key] = value;
    }
    writeLocked();
}

void UserDefaults::executeOnce(const std::string& key, const std::function<bool()>& execution) {
    // Only the Boolean true counts as done: a number or text under the key
    // from elsewhere must not suppress the execution.
    if (objectForKey(key).asBool() == true) return;
    if (execution()) setBool(true, key);  // setObject writes the store at once
}

bool UserDefaults::synchronize() {
    std::lock_guard lock(mutex_);
    return writeLocked();
}

bool UserDefaults::writeLocked() {
    std::string error;
    if (keepDamagedCopy_) {
        keepDamagedCopy_ = false;
        if (!keepDamagedCopy(path_, &error))
            QEL_DEBUG_ERROR("cannot keep a copy of the damaged user defaults: " + error);
    }
    const std::string dir = std::filesystem::path(path_).parent_path().string();
    if (!createDirectories(dir, &error) ||
        !PropertyList::writeFile(path_, Value(values_), PropertyList::Format::Binary, &error)) {
        QEL_DEBUG_ERROR("cannot write user defaults: " + error);
        return false;
    }
    return true;
}

}  // namespace platform
