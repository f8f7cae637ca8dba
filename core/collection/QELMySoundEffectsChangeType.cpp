#include "core/collection/QELMySoundEffectsChangeType.h"

const char* rawValue(QELMySoundEffectsChangeType type) {
    switch (type) {
        case QELMySoundEffectsChangeType::Add:
            return "Add";
        case QELMySoundEffectsChangeType::Replace:
            return "Replace";
        case QELMySoundEffectsChangeType::Delete:
            return "Delete";
    }
    return "";
}

std::optional<QELMySoundEffectsChangeType> changeTypeFromRawValue(std::string_view raw) {
    for (auto type : {QELMySoundEffectsChangeType::Add, QELMySoundEffectsChangeType::Replace,
                      QELMySoundEffectsChangeType::Delete}) {
        if (raw == rawValue(type)) return type;
    }
    return std::nullopt;
}
