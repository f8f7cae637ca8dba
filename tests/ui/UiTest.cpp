#include "ui/UiTest.h"

#include <unistd.h>
#include <QDir>
#include <QTest>

#include <cstdlib>
#include <filesystem>

#include "analytics/collect/TallyRuntime.h"
#include "audio/AudioEngine.h"
#include "foundation/RunLoop.h"
#include "ui/platform/Animation.h"

namespace uitest {

platform::ManualClock& clock() {
    static platform::ManualClock c;
    return c;
}

TallyEnvironment tallyEnvironment(platform::UserDefaults& defaults, const std::string& home) {
    TallyEnvironment env;
    env.clock = &clock();
    env.defaults = &defaults;
    env.runLoop = &platform::RunLoop::main();
    env.notificationCenter = &platform::NotificationCenter::defaultCenter();
    env.libraryDirectory = home + "/Library";
    env.sharedUDIDDirectory = home + "/SharedUDID";
    return env;
}

void drain() {
    for (int i = 0; i < 100; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (platform::RunLoop::main().runUntilIdle() == 0) break;
    }
    QCoreApplication::processEvents();
}

void advance(double seconds) {
    clock().advanceSeconds(seconds);
    drain();
}

std::string outputDir() {
    QDir().mkpath(QUELLIO_TEST_OUTPUT_DIR);
    return QUELLIO_TEST_OUTPUT_DIR;
}

void tap(QWidget* widget) {
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
    drain();
}

void tap(platform::CollectionView* grid, const platform::IndexPath& ip) {
    QTest::mouseClick(grid->contentWidget(), Qt::LeftButton, {},
                      grid->layoutFrameForItem(ip).center().toPoint());
    drain();
}

std::unique_ptr<platform::Window> showInWindow(std::shared_ptr<platform::ViewController> root,
                                               QSize size) {
    auto window = std::make_unique<platform::Window>();
    if (size.isValid()) window->resize(size);
    window->setRootViewController(std::move(root));
    window->show();
    drain();
    return window;
}

QImage screenshot(QWidget& window, const std::string& name) {
    const QImage shot = window.grab().toImage();
    const std::string path = outputDir() + "/" + name;
    EXPECT_TRUE(shot.save(QString::fromStdString(path))) << path;
    return shot;
}

QColor padColour(const QImage& shot, QWidget& window, platform::CollectionView* grid,
                 const platform::IndexPath& ip) {
    const QRectF frame = grid->layoutFrameForItem(ip);
    const QPoint top(static_cast<int>(frame.center().x()), static_cast<int>(frame.top()) + 3);
    return shot.pixelColor(grid->contentWidget()->mapTo(&window, top));
}

namespace {

// One application for the whole run; made when the first test starts, not
// when tests are merely listed.
class Environment : public ::testing::Environment {
public:
    void SetUp() override {
        if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        // CTest runs these tests side by side: a Library of each process's
        // own keeps one test's recordings and collection out of another's.
        const char* base = std::getenv("QUELLIO_HOME");
        home_ =
            std::filesystem::path(base ? base : std::filesystem::temp_directory_path().c_str()) /
            ("run-" + std::to_string(::getpid()));
        std::filesystem::create_directories(home_);
        ::setenv("QUELLIO_HOME", home_.c_str(), 1);
        static int argc = 1;
        static char name[] = "ui_tests";
        static char* argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
        QApplication::setApplicationVersion("0.1.0");
        platform::RunLoop::main().adoptCurrentThread();
        platform::RunLoop::main().setClock(clock());
        platform::AudioEngine::shared().startNull();
        installStatisticsHooks();
    }
    void TearDown() override {
        platform::AudioEngine::shared().stop();
        drain();
        delete app_;
        std::error_code ignored;
        std::filesystem::remove_all(home_, ignored);
    }

private:
    QApplication* app_ = nullptr;
    std::filesystem::path home_;
};

const auto* registered = ::testing::AddGlobalTestEnvironment(new Environment);

}  // namespace

void UiTest::SetUp() {
    sink = std::make_shared<RecordingSink>();
    QELStatisticsSink::setShared(sink);
    platform::setAnimationsInstant(true);
}

void UiTest::TearDown() {
    drain();
    QELStatisticsSink::setShared(nullptr);
}

}  // namespace uitest
