#include "ui/statistics/QELStatistics.h"

#include <QCoreApplication>
#include <mutex>

#include "foundation/Fatal.h"
#include "ui/platform/ViewController.h"
#include "ui/statistics/QELTouchEventInfo.h"

namespace {

std::shared_ptr<QELStatisticsSink>& sharedSink() {
    static std::shared_ptr<QELStatisticsSink> sink = std::make_shared<QELStatisticsSink>();
    return sink;
}

// The logging action of one event type: sends the control's record for it.
void logControlEvent(platform::Control& control, QELTouchEventType type) {
    const auto infos = touchEventInfos(&control);
    const auto it = infos.find(type);
    if (it == infos.end() || !it->second) return;
    const QELTouchEventInfo& info = *it->second;
    if (!info.logEnabled || info.eventID.empty()) return;
    if (info.detail)
        QELStatisticsSink::shared().event(info.eventID, *info.detail);
    else
        QELStatisticsSink::shared().event(info.eventID);
}

platform::ControlAction loggingAction(QELTouchEventType type) {
    switch (type) {
        case QELTouchEventType::TouchUpOutside:
            return {"qel_onTouchUpOutsied:", [](platform::Control& c) {
                        logControlEvent(c, QELTouchEventType::TouchUpOutside);
                    }};
        case QELTouchEventType::TouchDown:
            return {"qel_onTouchDown:",
                    [](platform::Control& c) { logControlEvent(c, QELTouchEventType::TouchDown); }};
        case QELTouchEventType::TouchUpInside:
            break;
    }
    return {"qel_onTouchUpInside:",
            [](platform::Control& c) { logControlEvent(c, QELTouchEventType::TouchUpInside); }};
}

}  // namespace

QELStatisticsSink& QELStatisticsSink::shared() {
    return *sharedSink();
}

void QELStatisticsSink::setShared(std::shared_ptr<QELStatisticsSink> sink) {
    sharedSink() = sink ? std::move(sink) : std::make_shared<QELStatisticsSink>();
}

void installStatisticsHooks() {
    static std::once_flag once;
    std::call_once(once, [] {
        platform::Control::setAddTargetHook([](platform::Control& control, const void* target,
                                               const platform::ControlAction& added,
                                               platform::ControlEvents events) {
            // The logging pair's own registration ends the chain.
            if (target == &control && added.selector.starts_with("qel_")) return;
            const auto type = touchEventTypeForControlEvents(events);
            if (!type) return;
            control.addTarget(&control, loggingAction(*type), events);
        });
        platform::ViewController::setAppearanceHook(
            [](platform::ViewController& controller, platform::ViewController::Appearance a) {
                if (!controller.pageLogEnabled()) return;
                if (a == platform::ViewController::Appearance::WillAppear)
                    QELStatisticsSink::shared().beginLogPageView(controller.pageName());
                else if (a == platform::ViewController::Appearance::WillDisappear)
                    QELStatisticsSink::shared().endLogPageView(controller.pageName());
            });
    });
}

void setupStatistics() {
    TLAnalyticsConfig& config = TLAnalyticsConfig::sharedInstance();
    config.appKey = kStatisticsAppKey;
    config.channelId = kStatisticsChannel;
    const std::string version = QCoreApplication::applicationVersion().toStdString();
    if (version.empty()) platform::fatal("the application has no version");
    Tally::setAppVersion(version);
    Tally::startWithConfigure(config);
}
