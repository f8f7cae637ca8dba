#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QImage>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Clock.h"
#include "ui/platform/CollectionView.h"
#include "ui/platform/ViewController.h"
#include "ui/statistics/QELStatistics.h"
#include "ui/utils/QELNavigationAlert.h"

struct TallyEnvironment;
namespace platform {
class UserDefaults;
}

namespace uitest {

// What reached the analytics: "event:<id>", "event:<id>:<attributes>",
// "begin:<page>", "end:<page>".
class RecordingSink : public QELStatisticsSink {
public:
    void event(const std::string& id) override { log.push_back("event:" + id); }
    void event(const std::string& id, const Tally::Attributes& attributes) override {
        log.push_back("event:" + id + ":" + platform::Value(attributes).description());
    }
    void beginLogPageView(const std::string& page) override { log.push_back("begin:" + page); }
    void endLogPageView(const std::string& page) override { log.push_back("end:" + page); }
    // The log's events alone.
    std::vector<std::string> events() const {
        std::vector<std::string> e;
        for (const auto& line : log)
            if (line.starts_with("event:")) e.push_back(line);
        return e;
    }
    std::vector<std::string> log;
};

// Notes the title of each navigation alert as it comes on screen, and
// whether it came inside a window rather than as a window of its own.
class AlertTitles : public QObject {
public:
    AlertTitles() { qApp->installEventFilter(this); }
    ~AlertTitles() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* view = dynamic_cast<QELNavigationAlertView*>(watched);
        if (view && event->type() == QEvent::Show) {
            titles.push_back(view->titleLabel()->text());
            inWindow = !view->isWindow();
        }
        return false;
    }
    QStringList titles;
    bool inWindow = false;
};

// The process's manual clock, driving the main run loop and the null audio
// output.
platform::ManualClock& clock();
// The program's analytics on that clock, the main loop and notifications,
// keeping its files under `home`.
TallyEnvironment tallyEnvironment(platform::UserDefaults& defaults, const std::string& home);
// Runs the main loop (and Qt's queued events) until nothing is left.
void drain();
// Advances the manual clock and drains.
void advance(double seconds);

// Every test starts with a fresh recorder as the statistics sink, instant
// animations, and the hooks installed.
class UiTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::shared_ptr<RecordingSink> sink;
};

std::string outputDir();

// A click in the middle of `widget`, or of the grid's item at `ip`, and
// what follows from it.
void tap(QWidget* widget);
void tap(platform::CollectionView* grid, const platform::IndexPath& ip);

// A window showing `root`, laid out at `size` (the window's own when empty).
std::unique_ptr<platform::Window> showInWindow(std::shared_ptr<platform::ViewController> root,
                                               QSize size = {});

// Grabs `window` and saves it as `name` in outputDir() for people to look at;
// returns the picture so that a test checks what they would look for.
QImage screenshot(QWidget& window, const std::string& name);
// The colour a pad of `grid` shows in `shot` (of `window`), in its middle just
// under its top edge, clear of its title.
QColor padColour(const QImage& shot, QWidget& window, platform::CollectionView* grid,
                 const platform::IndexPath& ip);

}  // namespace uitest
