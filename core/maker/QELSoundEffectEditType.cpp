#include "core/maker/QELSoundEffectEditType.h"

const char* rawValue(QELSoundEffectEditType type) {
    switch (type) {
        case QELSoundEffectEditType::Uncle:
            return "Uncle";
        case QELSoundEffectEditType::Loli:
            return "Loli";
        case QELSoundEffectEditType::Fast:
            return "Fast";
        case QELSoundEffectEditType::Slow:
            return "Slow";
        case QELSoundEffectEditType::Origin:
            return "Origin";
    }
    return "";
}

const char* title(QELSoundEffectEditType type) {
    switch (type) {
        case QELSoundEffectEditType::Uncle:
            return "大叔";
        case QELSoundEffectEditType::Loli:
            return "萝莉";
        case QELSoundEffectEditType::Fast:
            return "快语速";
        case QELSoundEffectEditType::Slow:
            return "慢语速";
        case QELSoundEffectEditType::Origin:
            return "";
    }
    return "";
}

std::optional<QELSoundEffectEditType> editTypeFromRawValue(std::string_view raw) {
    for (auto type : kAllSoundEffectEditTypes) {
        if (raw == rawValue(type)) return type;
    }
    return std::nullopt;
}
