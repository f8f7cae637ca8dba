#include "foundation/NotificationCenter.h"

#include <algorithm>
#include <atomic>

#include "foundation/RunLoop.h"

namespace platform {

struct NotificationToken::Entry {
    std::string name;
    const void* object;
    RunLoop* queue;
    NotificationCenter::Handler handler;
    // Cleared on removal so a delivery already under way skips this observer.
    std::atomic<bool> active{true};
};

NotificationToken& NotificationToken::operator=(NotificationToken&& other) noexcept {
    if (this != &other) {
        reset();
        center_ = other.center_;
        entry_ = std::move(other.entry_);
        other.center_ = nullptr;
    }
    return *this;
}

void NotificationToken::reset() {
    if (entry_ && center_) center_->remove(entry_);
    entry_.reset();
    center_ = nullptr;
}

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

NotificationToken NotificationCenter::addObserver(std::string name, const void* object,
                                                  Handler handler) {
    return add(std::move(name), object, nullptr, std::move(handler));
}

NotificationToken NotificationCenter::addObserver(std::string name, const void* object,
                                                  RunLoop& queue, Handler handler) {
    return add(std::move(name), object, &queue, std::move(handler));
}

NotificationToken NotificationCenter::add(std::string name, const void* object, RunLoop* queue,
                                          Handler handler) {
    auto entry = std::make_shared<NotificationToken::Entry>();
    entry->name = std::move(name);
    entry->object = object;
    entry->queue = queue;
    entry->handler = std::move(handler);
    std::lock_guard lock(mutex_);
    entries_.push_back(entry);
    return NotificationToken(this, entry);
}

void NotificationCenter::remove(const std::shared_ptr<NotificationToken::Entry>& entry) {
    entry->active = false;
    std::lock_guard lock(mutex_);
    entries_.erase(std::remove(entries_.begin(), entries_.end(), entry), entries_.end());
}

void NotificationCenter::post(const Notification& notification) {
    // Observers may add or remove observers while being told; deliver to a
    // snapshot taken at post time.
    std::vector<std::shared_ptr<NotificationToken::Entry>> targets;
    {
        std::lock_guard lock(mutex_);
        for (const auto& e : entries_) {
            if (!e->name.empty() && e->name != notification.name) continue;
            if (e->object && e->object != notification.object) continue;
            targets.push_back(e);
        }
    }
    for (const auto& e : targets) {
        if (!e->active) continue;
        if (e->queue && !e->queue->isCurrentThread()) {
            e->queue->post([e, notification] {
                if (e->active) e->handler(notification);
            });
        } else {
            e->handler(notification);
        }
    }
}

}  // namespace platform
