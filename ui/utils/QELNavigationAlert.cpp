#include "ui/utils/QELNavigationAlert.h"

#include <QPointer>

#include "foundation/RunLoop.h"
#include "ui/platform/Animation.h"
#include "ui/platform/Geometry.h"
#include "ui/platform/NavigationController.h"
#include "ui/platform/Palette.h"
#include "ui/platform/ViewController.h"

using namespace platform;

QELNavigationAlert::QELNavigationAlert(QString title)
    : title(std::move(title)),
      backgroundColor(Color::c7()),
      font(Font::t3()),
      titleColor(Color::c9()) {}

QELNavigationAlertView::QELNavigationAlertView() {
    contentView_ = new View(this);
    titleLabel_ = new QLabel(contentView_);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    updateConstraints();
    hide();
}

QSize QELNavigationAlertView::sizeHint() const {
    return QSize(static_cast<int>(screenWidth()), kHeight);
}

QRectF QELNavigationAlertView::contentFrame() const {
    return QRectF(0, isShowingContent_ ? 0 : -height(), width(), height());
}

void QELNavigationAlertView::updateConstraints() {
    contentView_->setGeometry(pixelRect(contentFrame()));
    titleLabel_->setGeometry(contentView_->rect());
}

QELNavigationAlertView::~QELNavigationAlertView() {
    // The slides' completions use this view and pass the queue on: end
    // them while the view is whole, not from the base class's destructor.
    // Ending the slide in starts the slide out, hence the loop.
    while (runningAnimationCount(this) > 0) removeAllAnimations(this);
}

void QELNavigationAlertView::resizeEvent(QResizeEvent* event) {
    View::resizeEvent(event);
    // A running slide owns the panel's position.
    if (runningAnimationCount(this) == 0) updateConstraints();
    titleLabel_->resize(width(), height());
    contentView_->resize(width(), height());
}

void QELNavigationAlertView::showAlert(const QELNavigationAlert& alert,
                                       std::function<void()> completion) {
    alert_ = alert;
    contentView_->setBackgroundColor(alert.backgroundColor);
    titleLabel_->setAlignment(Qt::AlignCenter);
    setTextColor(titleLabel_, alert.titleColor);
    titleLabel_->setFont(alert.font);
    titleLabel_->setText(alert.title);
    show();
    raise();
    updateConstraints();
    isShowingContent_ = true;
    const double duration = alert.duration;
    animate(
        kSlideDuration, 0, AnimationCurve::EaseInOut,
        [this](AnimationChanges& c) { c.frame(contentView_, contentFrame()); },
        [this, duration, completion = std::move(completion)](bool) mutable {
            isShowingContent_ = false;
            animate(
                kSlideDuration, duration, AnimationCurve::EaseInOut,
                [this](AnimationChanges& c) { c.frame(contentView_, contentFrame()); },
                [this, completion = std::move(completion)](bool) {
                    hide();
                    if (completion) completion();
                },
                this);
        },
        this);
}

std::mutex QELNavigationAlertManager::mutex_;
std::deque<QELNavigationAlert> QELNavigationAlertManager::queue_;
bool QELNavigationAlertManager::showing_ = false;

QELNavigationAlertView& QELNavigationAlertManager::alertView() {
    // Kept for the process; a bar that goes away takes its subviews with it,
    // so a destroyed view is made again.
    static QPointer<QELNavigationAlertView> view;
    if (!view) view = new QELNavigationAlertView();
    return *view;
}

void QELNavigationAlertManager::showAlert(const QELNavigationAlert& alert) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(alert);
    }
    showNextAlert(true, {});
}

void QELNavigationAlertManager::clearAlertQueue() {
    std::lock_guard lock(mutex_);
    queue_.clear();
}

size_t QELNavigationAlertManager::queuedCount() {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

bool QELNavigationAlertManager::isShowing() {
    std::lock_guard lock(mutex_);
    return showing_;
}

void QELNavigationAlertManager::showNextAlert(bool onlyIfIdle, std::function<void()> completion) {
    std::optional<QELNavigationAlert> next;
    {
        std::lock_guard lock(mutex_);
        if (queue_.empty()) {
            showing_ = false;
        } else if (!(showing_ && onlyIfIdle)) {
            // Taking the alert and raising the flag in one step keeps two
            // threads from both finding the manager idle.
            showing_ = true;
            next = std::move(queue_.front());
            queue_.pop_front();
        }
    }
    if (!next) {
        if (completion) completion();
        return;
    }
    MainQueue::async([alert = std::move(*next), completion = std::move(completion)]() mutable {
        followCurrentAlertContainer();
        alertView().showAlert(alert, [completion = std::move(completion)]() mutable {
            showNextAlert(false, std::move(completion));
        });
    });
}

namespace {

// The bar of the screen that appeared last.
QPointer<NavigationBar>& currentAlertBar() {
    static QPointer<NavigationBar> bar;
    return bar;
}

void hangAlertView(NavigationBar* bar) {
    QELNavigationAlertView& alertView = QELNavigationAlertManager::alertView();
    if (QWidget* previous = alertView.parentWidget()) {
        for (QObject* child : previous->children()) {
            auto* other = dynamic_cast<NavigationBar*>(child);
            if (other && other != bar && other->hangingView() == &alertView)
                other->releaseHangingView();
        }
    }
    const bool shown = !alertView.isHidden();
    bar->hangView(&alertView, QELNavigationAlertView::kHeight);
    alertView.setVisible(shown);  // a new parent hides it
}

bool alertOnScreenElsewhere(NavigationBar* bar) {
    const QELNavigationAlertView& alertView = QELNavigationAlertManager::alertView();
    return !alertView.isHidden() && alertView.parentWidget() &&
           alertView.parentWidget() != bar->parentWidget();
}

}  // namespace

void becomeCurrentAlertContainer(NavigationBar* bar) {
    currentAlertBar() = bar;
    // An alert on screen stays with the screen it was shown on for its whole
    // time; the next one comes here.
    if (alertOnScreenElsewhere(bar)) return;
    hangAlertView(bar);
}

void resignCurrentAlertContainer(NavigationBar* bar) {
    if (currentAlertBar() == bar) currentAlertBar() = nullptr;
    QELNavigationAlertView& alertView = QELNavigationAlertManager::alertView();
    if (bar->hangingView() == &alertView && alertView.isHidden()) bar->releaseHangingView();
}

void followCurrentAlertContainer() {
    if (NavigationBar* bar = currentAlertBar()) hangAlertView(bar);
}
