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
    std::vector<std::string> events() const { return sink->events(); }
    ControlAction noop() { return {"onTap:", [](Control&) {}}; }
    std::vector<std::string> actions(ControlEvent event) {
        return button.actionsForTarget(&button, event);
    }

    Button button;
    const int target = 0;
    StatisticsTest() { button.resize(40, 40); }
};

TEST_F(StatisticsTest, ADefaultIdIsSentOnTouchUpInsideOnlyWhenSetBeforeTheFirstTap) {
    setDefaultEventID(&button, "makeSound");
    button.addTarget(&target, noop(), ControlEventTouchUpInside);
    tapInside();
    tapOutside();
    EXPECT_EQ(events(), std::vector<std::string>{"event:makeSound"});

    // The record is made at the first read, from the id of that moment.
    Button late;
    late.resize(40, 40);
    late.addTarget(&target, noop(), ControlEventTouchUpInside);
    QTest::mouseClick(&late, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(touchEventInfos(&late).at(QELTouchEventType::TouchUpInside)->eventID, "");
    setDefaultEventID(&late, "late");
    QTest::mouseClick(&late, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(events().size(), 1u) << "the empty default record stays";
}

// A mask of several events registers the action of its first type for all.
TEST_F(StatisticsTest, EachEventLogsThroughTheRecordItsMaskRegistered) {
    setDefaultEventID(&button, "makeSound");
    button.addTarget(&target, noop(), ControlEventValueChanged);
    EXPECT_TRUE(actions(ControlEventValueChanged).empty());
    button.addTarget(&target, noop(),
                     ControlEventTouchUpInside | ControlEventTouchUpOutside | ControlEventTouchDown);
    for (ControlEvent e : {ControlEventTouchDown, ControlEventTouchUpOutside})
        EXPECT_EQ(actions(e), std::vector<std::string>{"qel_onTouchUpInside:"});
    tapInside();  // touch down and touch up inside
    tapOutside();  // touch down and touch up outside
    EXPECT_EQ(events(), std::vector<std::string>(4, "event:makeSound"));

    // Touch down alone logs its own record; the default is not for it.
    Button down;
    down.resize(40, 40);
    setDefaultEventID(&down, "ignored");
    down.addTarget(&target, noop(), ControlEventTouchDown);
    EXPECT_EQ(down.actionsForTarget(&down, ControlEventTouchDown),
              std::vector<std::string>{"qel_onTouchDown:"});
    EXPECT_TRUE(down.actionsForTarget(&down, ControlEventTouchUpInside).empty());
    QTest::mouseClick(&down, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(events().size(), 4u);
    setTouchEventInfos(&down, {{QELTouchEventType::TouchDown,
                                QELTouchEventInfo::initWithEventID("down", "", std::nullopt, true)}});
    QTest::mouseClick(&down, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(events().back(), "event:down");
}

TEST_F(StatisticsTest, RecordsRespectDetailDisabledAndEmptyIdsAfterTheTargetsOwnAction) {
    bool loggedFirst = false;
    button.addTarget(&target, {"onTap:", [&](Control&) { loggedFirst = !sink->log.empty(); }},
                     ControlEventTouchUpInside);
    QELTouchEventInfo::Detail detail{{"k", platform::Value(std::string("v"))}};
    auto info = QELTouchEventInfo::initWithEventID("withDetail", "", detail, true);
    setTouchEventInfos(&button, {{QELTouchEventType::TouchUpInside, info}});
    tapInside();
    ASSERT_EQ(events().size(), 1u);
    EXPECT_TRUE(events()[0].starts_with("event:withDetail:")) << events()[0];
    EXPECT_FALSE(loggedFirst) << "the target's own action runs first";
    info->logEnabled = false;
    tapInside();
    info->logEnabled = true;
    info->eventID.clear();
    tapInside();
    EXPECT_EQ(events().size(), 1u);
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
