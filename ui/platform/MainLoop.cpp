#include "ui/platform/MainLoop.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QInputMethod>
#include <QPointer>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <memory>

#include "foundation/Application.h"
#include "foundation/NotificationCenter.h"
#include "foundation/RunLoop.h"
#include "ui/platform/ViewController.h"

namespace platform {

namespace {

class MainLoopDriver : public QObject {
public:
    explicit MainLoopDriver(QObject* parent) : QObject(parent), timer_(new QTimer(this)) {
        timer_->setSingleShot(true);
        timer_->setTimerType(Qt::PreciseTimer);
        connect(timer_, &QTimer::timeout, this, [this] { drain(); });
    }
    ~MainLoopDriver() override { RunLoop::main().bind({}); }

    // Any thread: at most one queued drain is pending at a time.
    void wake() {
        if (pending_->exchange(true)) return;
        QMetaObject::invokeMethod(
            this, [this] { drain(); }, Qt::QueuedConnection);
    }

    void drain() {
        pending_->store(false);
        RunLoop& loop = RunLoop::main();
        loop.runUntilIdle();
        if (const auto deadline = loop.nextTimerDeadline()) {
            const auto wait =
                std::chrono::ceil<std::chrono::milliseconds>(*deadline - loop.clock().now());
            timer_->start(static_cast<int>(std::max<int64_t>(0, wait.count())));
        } else {
            timer_->stop();
        }
    }

    std::shared_ptr<std::atomic<bool>> pending_ = std::make_shared<std::atomic<bool>>(false);

private:
    QTimer* timer_;
};

}  // namespace

void bindMainRunLoopToQt(QObject* context) {
    RunLoop& loop = RunLoop::main();
    loop.adoptCurrentThread();
    auto* driver = new MainLoopDriver(context);
    loop.bind([driver] { driver->wake(); });
    driver->wake();
}

void postKeyboardNotifications(QObject* context) {
    QInputMethod* input = QGuiApplication::inputMethod();
    if (!input) return;
    QObject::connect(input, &QInputMethod::keyboardRectangleChanged, context, [input] {
        QRectF rect = input->keyboardRectangle();
        if (rect.isEmpty()) {
            // Hidden: the keyboard's top is the bottom of the screen.
            rect = QRectF(0, screenHeight(), screenWidth(), 0);
        }
        Value::Dictionary info;
        info[kKeyboardFrameEndUserInfoKey] = Value(Value::Array{
            Value(rect.x()), Value(rect.y()), Value(rect.width()), Value(rect.height())});
        info[kKeyboardAnimationDurationUserInfoKey] = Value(0.25);
        NotificationCenter::defaultCenter().post(kKeyboardWillChangeFrameNotification, nullptr,
                                                 Value(std::move(info)));
    });
}

void postApplicationStateNotifications(QObject* context) {
    // A launched application is active, whether or not its window has the
    // focus yet; the window's later activation is no second start.
    auto active = std::make_shared<bool>(true);
    NotificationCenter::defaultCenter().post(kApplicationDidBecomeActiveNotification);
    auto onState = [active](Qt::ApplicationState state) {
        const bool nowActive = state == Qt::ApplicationActive;
        if (nowActive == *active) return;
        *active = nowActive;
        NotificationCenter::defaultCenter().post(nowActive
                                                     ? kApplicationDidBecomeActiveNotification
                                                     : kApplicationWillResignActiveNotification);
    };
    QObject::connect(qGuiApp, &QGuiApplication::applicationStateChanged, context, onState);
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, context, [] {
        NotificationCenter::defaultCenter().post(kApplicationWillTerminateNotification);
    });
}

}  // namespace platform
