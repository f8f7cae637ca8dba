#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "foundation/Value.h"
#include "ui/platform/Control.h"

// The control events a statistics record is filed under.
enum class QELTouchEventType { TouchUpInside = 0, TouchUpOutside = 1, TouchDown = 2 };

std::string rawValue(QELTouchEventType type);
std::optional<QELTouchEventType> touchEventTypeFromRawValue(const std::string& raw);
// The first of touch up inside, touch up outside, touch down in `events`.
std::optional<QELTouchEventType> touchEventTypeForControlEvents(platform::ControlEvents events);

// What one control event sends to the analytics: nothing when disabled or
// when the id is empty; with `detail` as attributes when present.
class QELTouchEventInfo {
public:
    using Ref = std::shared_ptr<QELTouchEventInfo>;
    using Detail = platform::Value::Dictionary;

    QELTouchEventInfo(std::string eventID, std::string eventDescription,
                      std::optional<Detail> detail, bool logEnabled)
        : eventID(std::move(eventID)),
          eventDescription(std::move(eventDescription)),
          detail(std::move(detail)),
          logEnabled(logEnabled) {}
    static Ref initWithEventID(std::string eventID, std::string eventDescription,
                               std::optional<Detail> detail, bool logEnabled) {
        return std::make_shared<QELTouchEventInfo>(std::move(eventID), std::move(eventDescription),
                                                   std::move(detail), logEnabled);
    }

    std::string eventID;
    std::string eventDescription;
    std::optional<Detail> detail;
    bool logEnabled;
};

using QELTouchEventInfos = std::map<QELTouchEventType, QELTouchEventInfo::Ref>;

// The records and default event id every view carries. Reading the records
// of a view that has none creates, once, a touch-up-inside record from the
// default event id of that moment.
QELTouchEventInfos touchEventInfos(QWidget* view);
void setTouchEventInfos(QWidget* view, const QELTouchEventInfos& infos);
std::string defaultEventID(const QWidget* view);
void setDefaultEventID(QWidget* view, const std::string& eventID);
