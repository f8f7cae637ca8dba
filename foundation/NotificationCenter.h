#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/Value.h"

namespace platform {

class RunLoop;

struct Notification {
    std::string name;
    // The posting object, compared by identity only; may be null.
    const void* object = nullptr;
    Value userInfo;  // a dictionary, or null
};

class NotificationCenter;

// Keeps one observation alive; destroying (or reset()) removes it.
class NotificationToken {
public:
    NotificationToken() = default;
    NotificationToken(NotificationToken&&) noexcept = default;
    NotificationToken& operator=(NotificationToken&& other) noexcept;
    NotificationToken(const NotificationToken&) = delete;
    NotificationToken& operator=(const NotificationToken&) = delete;
    ~NotificationToken() { reset(); }

    void reset();
    explicit operator bool() const { return static_cast<bool>(entry_); }

private:
    friend class NotificationCenter;
    struct Entry;
    NotificationToken(NotificationCenter* center, std::shared_ptr<Entry> entry)
        : center_(center), entry_(std::move(entry)) {}

    NotificationCenter* center_ = nullptr;
    std::shared_ptr<Entry> entry_;
};

// Delivers notifications synchronously, on the posting thread, to every
// observer registered for the name (an empty name observes all) and, when
// an observer gave one, only for that object.
class NotificationCenter {
public:
    using Handler = std::function<void(const Notification&)>;

    NotificationCenter() = default;
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    static NotificationCenter& defaultCenter();

    [[nodiscard]] NotificationToken addObserver(std::string name, const void* object, Handler handler);
    // A block observer bound to a queue: run at once when posted on that
    // queue's thread, otherwise posted to it.
    [[nodiscard]] NotificationToken addObserver(std::string name, const void* object, RunLoop& queue,
                                                Handler handler);

    void post(const Notification& notification);
    void post(std::string name, const void* object = nullptr, Value userInfo = {}) {
        post(Notification{std::move(name), object, std::move(userInfo)});
    }

    void removeObserver(NotificationToken& token) { token.reset(); }

private:
    friend class NotificationToken;
    NotificationToken add(std::string name, const void* object, RunLoop* queue, Handler handler);
    void remove(const std::shared_ptr<NotificationToken::Entry>& entry);

    std::mutex mutex_;
    std::vector<std::shared_ptr<NotificationToken::Entry>> entries_;
};

}  // namespace platform
