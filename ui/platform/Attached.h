#pragma once

#include <QObject>
#include <memory>
#include <string>

namespace platform {

// Values attached to any object under a key, living as long as the object
// (the stand-in for associated objects). Main thread only.
void attachValue(QObject* object, const std::string& key, std::shared_ptr<void> value);
std::shared_ptr<void> attachedValue(const QObject* object, const std::string& key);

template <typename T>
std::shared_ptr<T> attached(const QObject* object, const std::string& key) {
    return std::static_pointer_cast<T>(attachedValue(object, key));
}

}  // namespace platform
