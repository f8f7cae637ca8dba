#include "ui/statistics/QELTouchEventInfo.h"

#include "ui/platform/Attached.h"

namespace {
constexpr const char* kTouchEventInfosKey = "QELTouchEventInfos";
constexpr const char* kDefaultEventIDKey = "QELDefaultEventID";
// Stored keyed by raw value, as the records are archived on the view.
using Stored = std::map<std::string, QELTouchEventInfo::Ref>;
}  // namespace

std::string rawValue(QELTouchEventType type) {
    switch (type) {
        case QELTouchEventType::TouchUpInside:
            return "TouchUpInside";
        case QELTouchEventType::TouchUpOutside:
            return "TouchUpOutside";
        case QELTouchEventType::TouchDown:
            return "TouchDown";
    }
    return {};
}

std::optional<QELTouchEventType> touchEventTypeFromRawValue(const std::string& raw) {
    for (auto type : {QELTouchEventType::TouchUpInside, QELTouchEventType::TouchUpOutside,
                      QELTouchEventType::TouchDown})
        if (rawValue(type) == raw) return type;
    return std::nullopt;
}

std::optional<QELTouchEventType> touchEventTypeForControlEvents(platform::ControlEvents events) {
    if (events & platform::ControlEventTouchUpInside) return QELTouchEventType::TouchUpInside;
    if (events & platform::ControlEventTouchUpOutside) return QELTouchEventType::TouchUpOutside;
    if (events & platform::ControlEventTouchDown) return QELTouchEventType::TouchDown;
    return std::nullopt;
}

QELTouchEventInfos touchEventInfos(QWidget* view) {
    QELTouchEventInfos infos;
    if (auto stored = platform::attached<Stored>(view, kTouchEventInfosKey)) {
        for (const auto& [key, info] : *stored)
            if (auto type = touchEventTypeFromRawValue(key)) infos[*type] = info;
        return infos;
    }
    const std::string id = defaultEventID(view);
    auto info = QELTouchEventInfo::initWithEventID(id, id, std::nullopt, true);
    platform::attachValue(
        view, kTouchEventInfosKey,
        std::make_shared<Stored>(Stored{{rawValue(QELTouchEventType::TouchUpInside), info}}));
    infos[QELTouchEventType::TouchUpInside] = info;
    return infos;
}

void setTouchEventInfos(QWidget* view, const QELTouchEventInfos& infos) {
    auto stored = std::make_shared<Stored>();
    for (const auto& [type, info] : infos) (*stored)[rawValue(type)] = info;
    platform::attachValue(view, kTouchEventInfosKey, std::move(stored));
}

std::string defaultEventID(const QWidget* view) {
    auto id = platform::attached<std::string>(view, kDefaultEventIDKey);
    return id ? *id : std::string();
}

void setDefaultEventID(QWidget* view, const std::string& eventID) {
    platform::attachValue(view, kDefaultEventIDKey, std::make_shared<std::string>(eventID));
}
