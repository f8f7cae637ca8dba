#include "analytics/api/TallyCompanion.h"

#include <map>
#include <mutex>

namespace {

std::mutex& registryMutex() {
    static std::mutex m;
    return m;
}

std::map<std::string, std::shared_ptr<TallyCompanion>>& registry() {
    static std::map<std::string, std::shared_ptr<TallyCompanion>> classes;
    return classes;
}

}  // namespace

void TallyCompanion::registerClass(const std::string& name,
                                   std::shared_ptr<TallyCompanion> companion) {
    std::lock_guard lock(registryMutex());
    if (companion) {
        registry()[name] = std::move(companion);
    } else {
        registry().erase(name);
    }
}

std::shared_ptr<TallyCompanion> TallyCompanion::lookUp() {
    std::lock_guard lock(registryMutex());
    auto it = registry().find(kClassName);
    return it == registry().end() ? nullptr : it->second;
}
