#include <QTest>

#include "ui/UiTest.h"
#include "ui/platform/NavigationController.h"
#include "ui/statistics/QELTouchEventInfo.h"

using namespace platform;

namespace {

class StatisticsTest : public uitest::UiTest {
protected:
    void tapInside() { QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(5, 5)); }
    void tapOutside() {
        QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(500, 500));
    }
    void touchDown() {
        QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(5, 5));
    }
    std::vector<std::string> events() const { return sink->events(); }
    ControlAction noop(const char* selector = "onTap:") {
        return {selector, [](Control&) {}};
    }

    Button button;
    const int target = 0;
    StatisticsTest() { button.resize(40, 40); }
};

TEST_F(StatisticsTest, DefaultRecordIsMadeAtFirstReadFromTheIdOfThatMoment) {
    button.addTarget(&target, noop(), ControlEventTouchUpInside);
    tapInside();
    const auto infos = touchEventInfos(&button);
    ASSERT_EQ(infos.size(), 1u);
    EXPECT_EQ(infos.at(QELTouchEventType::TouchUpInside)->eventID, "");
    setDefaultEventID(&button, "late");
    tapInside();
    EXPECT_TRUE(events().empty()) << "the empty default record stays";
}

TEST_F(StatisticsTest, DefaultIdSetBeforeTheFirstTapIsSentOnTouchUpInsideOnly) {
    setDefaultEventID(&button, "makeSound");
    button.addTarget(&target, noop(), ControlEventTouchUpInside);
    tapInside();
    tapInside();
    tapOutside();
    EXPECT_EQ(events(), (std::vector<std::string>{"event:makeSound", "event:makeSound"}));
}

TEST_F(StatisticsTest, CombinedMaskRegistersTheFirstTypesActionForTheWholeMask) {
    setDefaultEventID(&button, "makeSound");
    button.addTarget(&target, noop(), ControlEventTouchUpInside | ControlEventTouchDown);
    EXPECT_EQ(button.actionsForTarget(&button, ControlEventTouchDown),
              std::vector<std::string>{"qel_onTouchUpInside:"});
    tapInside();  // touch down and touch up inside both log the inside record
    EXPECT_EQ(events(), (std::vector<std::string>{"event:makeSound", "event:makeSound"}));
}

TEST_F(StatisticsTest, TouchDownOnlyControlUsesItsTouchDownRecordOtherEventsNone) {
    setDefaultEventID(&button, "ignored");
    button.addTarget(&target, noop(), ControlEventValueChanged);
    EXPECT_TRUE(button.actionsForTarget(&button, ControlEventValueChanged).empty());
    button.addTarget(&target, noop(), ControlEventTouchDown);
    EXPECT_TRUE(button.actionsForTarget(&button, ControlEventTouchUpInside).empty());
    EXPECT_EQ(button.actionsForTarget(&button, ControlEventTouchDown),
              std::vector<std::string>{"qel_onTouchDown:"});
    touchDown();
    EXPECT_TRUE(events().empty()) << "the default record is for touch up inside";
    setTouchEventInfos(&button,
                       {{QELTouchEventType::TouchDown,
                         QELTouchEventInfo::initWithEventID("down", "", std::nullopt, true)}});
    touchDown();
    EXPECT_EQ(events(), std::vector<std::string>{"event:down"});
}

TEST_F(StatisticsTest, CombinedUpMaskLogsTouchUpOutsideThroughTheInsideRecord) {
    const auto record =
        QELTouchEventInfo::initWithEventID("record_sound", "完成录音", std::nullopt, true);
    button.addTarget(&target, noop(), ControlEventTouchUpInside | ControlEventTouchUpOutside);
    setTouchEventInfos(&button, {{QELTouchEventType::TouchUpInside, record}});
    EXPECT_EQ(button.actionsForTarget(&button, ControlEventTouchUpOutside),
              std::vector<std::string>{"qel_onTouchUpInside:"});
    tapOutside();
    tapInside();
    EXPECT_EQ(events(), (std::vector<std::string>{"event:record_sound", "event:record_sound"}));
}

TEST_F(StatisticsTest, RecordsRespectDetailDisabledAndEmptyIds) {
    button.addTarget(&target, noop(), ControlEventTouchUpInside);
    QELTouchEventInfo::Detail detail{{"k", platform::Value(std::string("v"))}};
    auto info = QELTouchEventInfo::initWithEventID("withDetail", "", detail, true);
    setTouchEventInfos(&button, {{QELTouchEventType::TouchUpInside, info}});
    tapInside();
    ASSERT_EQ(events().size(), 1u);
    EXPECT_TRUE(events()[0].starts_with("event:withDetail:")) << events()[0];
    info->logEnabled = false;
    tapInside();
    info->logEnabled = true;
    info->eventID.clear();
    tapInside();
    EXPECT_EQ(events().size(), 1u);
}

TEST_F(StatisticsTest, TheTargetsOwnActionRunsBeforeTheLog) {
    std::vector<std::string> order;
    button.addTarget(&target, {"onTap:", [&](Control&) { order.push_back("own"); }},
                     ControlEventTouchUpInside);
    setDefaultEventID(&button, "x");
    tapInside();
    order.push_back(sink->log.empty() ? "" : sink->log.back());
    EXPECT_EQ(order, (std::vector<std::string>{"own", "event:x"}));
}

}  // namespace

class StatisticsTestScreen : public ViewController {
public:
    std::vector<std::string>* log = nullptr;
    void viewWillAppear(bool animated) override {
        ViewController::viewWillAppear(animated);
        log->push_back("own-will-appear");
    }
};
class StatisticsTestQuietScreen : public ViewController {
public:
    bool pageLogEnabled() const override { return false; }
};

namespace {

TEST_F(StatisticsTest, PageViewsFollowTheControllersOwnAppearanceCalls) {
    auto screen = std::make_shared<StatisticsTestScreen>();
    screen->log = &sink->log;
    EXPECT_EQ(screen->pageName(), "Quellio.StatisticsTestScreen");
    auto nav = std::make_shared<NavigationController>(nullptr);
    EXPECT_EQ(nav->pageName(), "NavigationController");

    screen->beginAppearanceTransition(true, false);
    screen->endAppearanceTransition();
    screen->beginAppearanceTransition(false, false);
    screen->endAppearanceTransition();
    const std::string page = screen->pageName();
    EXPECT_EQ(sink->log,
              (std::vector<std::string>{"begin:" + page, "own-will-appear", "end:" + page}))
        << "the base call logs; the override's own code after it runs afterwards";

    sink->log.clear();
    auto quiet = std::make_shared<StatisticsTestQuietScreen>();
    quiet->beginAppearanceTransition(true, false);
    quiet->endAppearanceTransition();
    EXPECT_TRUE(sink->log.empty());
}

}  // namespace
