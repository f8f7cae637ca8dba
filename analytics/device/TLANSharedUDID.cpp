#include "analytics/device/TLANSharedUDID.h"

#include <cctype>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <random>
#include <typeinfo>

#include "analytics/device/TLANUtil.h"
#include "analytics/support/TallyLog.h"
#include "foundation/Files.h"
#include "foundation/PropertyList.h"

using platform::Value;

namespace {

constexpr const char* kKey = "SharedUDID";
constexpr const char* kAppUID = "SharedUDID_appUID";
constexpr const char* kSlot = "SharedUDID_slot";
constexpr const char* kCreated = "SharedUDID_createdTS";
constexpr const char* kOptOut = "SharedUDID_optOutTS";

bool isIdentifier(const Value* v) {
    const std::string* s = v ? v->asString() : nullptr;
    if (!s || s->size() != 40) return false;
    for (char c : *s) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

std::string dateText(const Value& v) {
    auto date = v.asDate();
    if (!date) return v.description();
    const auto seconds = static_cast<std::time_t>(date->unixSeconds());
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S +0000", &tm);
    return text;
}

std::string freshValue() {
    std::random_device device;
    const auto tail = static_cast<unsigned long>(static_cast<uint32_t>(device()));
    return TLANUtil::md5Lower(TLANUtil::uuidString()) + TLFormat("%08lx", tail);
}

}  // namespace

TLANSharedUDID::TLANSharedUDID(platform::UserDefaults& defaults, platform::Clock& clock,
                               std::string slotDirectory)
    : defaults_(defaults), clock_(clock), slotDirectory_(std::move(slotDirectory)) {}

std::string TLANSharedUDID::defaultSlotDirectory() {
    if (const char* home = std::getenv("QUELLIO_HOME"); home && *home) {
        return std::string(home) + "/SharedUDID";
    }
    std::string data;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) {
        data = xdg;
    } else {
        const char* home = std::getenv("HOME");
        data = std::string(home ? home : "/tmp") + "/.local/share";
    }
    return data + "/SharedUDID";
}

std::string TLANSharedUDID::slotPath(int slot) const {
    return slotDirectory_ + "/" + kSlotPrefix + std::to_string(slot);
}

std::string TLANSharedUDID::value(std::string* message) {
    std::lock_guard lock(mutex_);
    if (cached_) {
        if (message) *message = "SharedUDID in cache from first call";
        return *cached_;
    }
    try {
        std::string v = compute(message);
        cached_ = v;
        return v;
    } catch (const std::exception& e) {
        const std::string text = TLFormat("Exception occurred: %s, %s", typeid(e).name(), e.what());
        TLLog("%s", text.c_str());
        if (message) *message = text;
        return {};
    }
}

std::string TLANSharedUDID::compute(std::string* message) {
    const Value stored = defaults_.objectForKey(kKey);
    const bool hadLocal = stored.isDictionary();
    Value::Dictionary local = hadLocal ? *stored.asDictionary() : Value::Dictionary{};

    std::string appUID;
    if (auto it = local.find(kAppUID); it != local.end() && it->second.isString()) {
        appUID = *it->second.asString();
    } else {
        appUID = TLANUtil::uuidString();
        local[kAppUID] = Value(appUID);
    }

    std::vector<std::string> found;
    int firstFree = -1;
    int ownSlot = -1;
    for (int i = 0; i < kSlotCount; ++i) {
        const std::string path = slotPath(i);
        std::error_code ec;
        std::optional<Value> root;
        if (std::filesystem::exists(path, ec)) root = platform::PropertyList::readFile(path);
        const Value::Dictionary* slot = root ? root->asDictionary() : nullptr;
        if (!slot) {
            // Missing or damaged: free for whoever needs a slot.
            if (firstFree < 0) firstFree = i;
            continue;
        }
        const Value* owner = root->find(kAppUID);
        if (owner && owner->asString() && *owner->asString() == appUID) ownSlot = i;
        const Value* v = root->find(kKey);
        if (isIdentifier(v)) found.push_back(*v->asString());
    }

    const Value* localValue = hadLocal ? &local[kKey] : nullptr;
    const bool haveLocalValue = isIdentifier(localValue);
    std::string value;
    if (haveLocalValue) {
        value = *localValue->asString();
    } else {
        value = found.empty() ? freshValue() : found.front();
        local[kKey] = Value(value);
        local[kCreated] = Value(clock_.date());
    }
    const int slot = ownSlot >= 0 ? ownSlot : firstFree;
    if (slot >= 0) {
        Value::Dictionary mine{{kKey, Value(value)}, {kAppUID, Value(appUID)}};
        if (auto it = local.find(kCreated); it != local.end()) mine[kCreated] = it->second;
        if (auto it = local.find(kOptOut); it != local.end()) mine[kOptOut] = it->second;
        platform::createDirectories(slotDirectory_);
        if (platform::PropertyList::writeFile(slotPath(slot), Value(std::move(mine)),
                                              platform::PropertyList::Format::Binary)) {
            local[kSlot] = Value(kSlotPrefix + std::to_string(slot));
        }
    }
    defaults_.setObject(Value(local), kKey);

    if (auto it = local.find(kOptOut); it != local.end() && !it->second.isNull()) {
        if (message) {
            *message =
                TLFormat("Application with unique id %s is opted-out from SharedUDID as of %s",
                         appUID.c_str(), dateText(it->second).c_str());
        }
        return TLFormat("%040x", 0);
    }
    bool discrepancy = false;
    if (haveLocalValue) {
        for (const std::string& other : found) discrepancy = discrepancy || other != value;
    }
    if (message) {
        *message = discrepancy
                       ? "Found a discrepancy between stored SharedUDID (reliable) and redundant "
                         "copies; one of the apps on the device is most likely corrupting the "
                         "SharedUDID protocol"
                       : "SharedUDID succesfully retrieved";
    }
    return value;
}

void TLANSharedUDID::setOptOut(bool optOut) {
    std::lock_guard lock(mutex_);
    const Value stored = defaults_.objectForKey(kKey);
    Value::Dictionary local = stored.isDictionary() ? *stored.asDictionary() : Value::Dictionary{};
    if (optOut) {
        local[kOptOut] = Value(clock_.date());
    } else {
        local.erase(kOptOut);
    }
    defaults_.setObject(Value(std::move(local)), kKey);
    cached_.reset();
}
