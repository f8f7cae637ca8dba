// The program as a user drives it: the real delegate, screens, collection
// files, analytics SDK and uploads. Stand-ins: Qt's offscreen platform and a
// manual clock for the main loop and the analytics, which times the pages.
#include "program/ProgramDriver.h"

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <functional>
#include <iostream>

#include "analytics/collect/TallyRuntime.h"
#include "analytics/upload/TallyDataPipeline.h"
#include "app/QELAppDelegate.h"
#include "app/QELTabBarController.h"
#include "audio/AudioEngine.h"
#include "core/catalogue/QELSoundEffect.h"
#include "core/collection/QELMySoundEffectsViewModel.h"
#include "core/playback/QELSoundEffectListViewModel.h"
#include "core/settings/QELAudioRouting.h"
#include "foundation/RunLoop.h"
#include "support/PulseServer.h"
#include "ui/board/QELSoundEffectListViewController.h"
#include "ui/mine/QELMySoundEffectsViewController.h"

using namespace platform;

namespace {

struct StepFailed {
    std::string why;
};

// Runs the main loop and Qt's events until nothing is left to do now.
void drain() {
    for (int i = 0; i < 100; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (RunLoop::main().runUntilIdle() == 0) break;
    }
    QCoreApplication::processEvents();
}

void require(bool ok, const std::string& why) {
    if (!ok) throw StepFailed{why};
}

// Keeps the program going until `done` holds: animations run on Qt's real
// time and background queues finish when they finish, so this waits, but
// never past `seconds`.
void until(const std::function<bool()>& done, const std::string& why, double seconds = 20) {
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(static_cast<int>(seconds * 1000));
    for (;;) {
        drain();
        if (done()) return;
        require(std::chrono::steady_clock::now() < deadline, "timed out waiting: " + why);
        QTest::qWait(10);
    }
}

void tap(QWidget* widget, QPoint at) {
    require(widget && widget->isVisible(), "the widget to tap is not on screen");
    QTest::mouseClick(widget, Qt::LeftButton, {}, at);
    drain();
}
void tapItem(CollectionView* grid, const IndexPath& ip) {
    tap(grid->contentWidget(), grid->layoutFrameForItem(ip).center().toPoint());
}

class Script {
public:
    Script(QELAppDelegate& delegate, ManualClock& clock) : delegate_(delegate), clock_(clock) {}

    void step(const std::string& name) {
        step_ = name;
        std::cout << "step: " << name << std::endl;
    }
    const std::string& currentStep() const { return step_; }

    QELTabBarController& tabs() {
        require(delegate_.tabBarController() != nullptr, "no tab bar");
        return *delegate_.tabBarController();
    }
    // The user looks at the screen for a while; the analytics count a page
    // view from one whole second.
    void dwell() {
        clock_.advanceSeconds(1.1);
        drain();
    }
    void selectTab(int index) {
        QWidget* button = tabs().tabBar()->button(index);
        tap(button, button->rect().center());
        require(tabs().selectedIndex() == index, "the tab did not change");
    }

    void first() {
        step("tap a board effect");
        auto& board = tabs().soundEffectListViewController();
        until([&] { return board.collectionView()->numberOfItemsInSection(0) > 0; },
              "the board's catalogue");
        tapItem(board.collectionView(), {0, 0});
        require(board.viewModel()->playingIndexPath() == IndexPath{0, 0}, "the effect plays");
        dwell();

        step("select the maker tab");
        selectTab(1);
        dwell();
        // A page counts once it is left.
        selectTab(0);
    }

    void share() {
        step("take turns with the command line");
        auto& mine = tabs().mySoundEffectsViewController();
        auto& storage = mine.viewModel()->storage();
        selectTab(2);
        for (int i = 0; i < kSharedAdds; ++i) {
            // Theirs, after each of ours.
            until([&] { return storage.soundEffects().size() == size_t(2 * i + 1); },
                  "the command line's addition " + std::to_string(i), 60);
            require(mine.collectionView()->numberOfItemsInSection(0) ==
                        static_cast<int64_t>(storage.soundEffects().size()),
                    "the screen shows every entry");
            // The last one straight before quitting: only the quit writes it.
            const std::string ours = "p" + std::to_string(i);
            storage.addSoundEffect(
                QELSoundEffect::customSoundEffectWithName(ours, "/" + ours + ".caf"));
            if (i + 1 < kSharedAdds) {
                require(storage.flush(), "the answer " + ours + " written");
                step("wrote " + ours);
            }
        }
    }

    // Through the sound server with the stored routing: the virtual
    // microphone comes up with the program.
    void route() {
        step("wait for the virtual microphone");
        until(
            [] {
                return QELAudioRouting::shared().virtualMicrophoneActive() &&
                       AudioEngine::shared().usesSoundServer();
            },
            "the virtual microphone");
        require(testsupport::PulseServer::ourModules() == 2, "our two modules on the server");
    }

private:
    QELAppDelegate& delegate_;
    ManualClock& clock_;
    std::string step_ = "launch";
};

}  // namespace

int driveProgram(int argc, char** argv, const std::string& phase) {
    // As app/main.cpp launches.
    QApplication application(argc, argv);
    QApplication::setApplicationName("Quellio");
    QApplication::setApplicationVersion(QUELLIO_VERSION);

    // The stand-ins, before the delegate looks for an engine of its own.
    static ManualClock clock(Clock::system().date());
    RunLoop::main().setClock(clock);
    // The analytics on the same clock: a page lasts as long as the script
    // says. Kept to the end of the process, like the SDK's own instance.
    TallyEnvironment environment = TallyEnvironment::process();
    environment.clock = &clock;
    static TallyRuntime* analytics = new TallyRuntime(environment);
    analytics->setPipeline(std::make_shared<TallyDataPipeline>(*analytics));
    TallyRuntime::Scope analyticsScope(*analytics);
    QELAppDelegate delegate;
    delegate.didFinishLaunching(application);

    Script script(delegate, clock);
    int failed = 0;
    // Inside the event loop, so that quitting runs the program's own
    // will-terminate path.
    QTimer::singleShot(0, &application, [&] {
        try {
            if (phase == "first") {
                script.first();
            } else if (phase == "share") {
                script.share();
            } else if (phase == "route") {
                script.route();
            } else {
                throw StepFailed{"unknown phase " + phase};
            }
            script.step("quit");
        } catch (const StepFailed& f) {
            std::cerr << "program driver: step \"" << script.currentStep() << "\" failed: " << f.why
                      << std::endl;
            failed = 1;
        }
        QCoreApplication::quit();
    });
    const int status = QApplication::exec();
    return failed ? failed : status;
}
