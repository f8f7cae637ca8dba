#include "ui/platform/Attached.h"

#include <map>

namespace platform {

namespace {

// A child object carries the table, so it goes when its owner goes.
class AttachmentTable : public QObject {
public:
    explicit AttachmentTable(QObject* owner) : QObject(owner) { setObjectName(kName); }
    static constexpr QLatin1String kName{"platform.attachments"};
    std::map<std::string, std::shared_ptr<void>> values;
};

AttachmentTable* table(const QObject* object, bool create) {
    for (QObject* child : object->children()) {
        if (child->objectName() == AttachmentTable::kName)
            return static_cast<AttachmentTable*>(child);
    }
    return create ? new AttachmentTable(const_cast<QObject*>(object)) : nullptr;
}

}  // namespace

void attachValue(QObject* object, const std::string& key, std::shared_ptr<void> value) {
    AttachmentTable* t = table(object, value != nullptr);
    if (!t) return;
    if (value)
        t->values[key] = std::move(value);
    else
        t->values.erase(key);
}

std::shared_ptr<void> attachedValue(const QObject* object, const std::string& key) {
    const AttachmentTable* t = table(object, false);
    if (!t) return nullptr;
    auto it = t->values.find(key);
    return it == t->values.end() ? nullptr : it->second;
}

}  // namespace platform
