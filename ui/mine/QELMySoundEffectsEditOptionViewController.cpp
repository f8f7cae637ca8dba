#include "ui/mine/QELMySoundEffectsEditOptionViewController.h"

#include <QFontMetrics>

#include "ui/platform/Geometry.h"
#include "ui/platform/Palette.h"

using namespace platform;

void QELMySoundEffectsEditOptionViewController::viewDidLoad() {
    ViewController::viewDidLoad();
    if (auto* card = dynamic_cast<View*>(view())) card->setBackgroundColor(Color::c5());
    titleLabel_ = makeLabel(view(), Font::t4(), Color::c1(), Qt::AlignCenter);
    titleLabel_->setText(tr("你要做什么？"));
    titleLabel_->adjustSize();
    replaceButton_ = makeButton(tr("替换"), Color::c9());
    deleteButton_ = makeButton(tr("删除"), Color::c6());
    hotkeyButton_ = makeButton(tr("设置快捷键"), Color::c6());
    cancelButton_ = makeButton(tr("取消"), Color::c6());
    auto weak = weakSelf();
    auto action = [weak](const char* selector,
                         void (QELMySoundEffectsEditOptionViewController::*method)(Control&)) {
        return ControlAction{
            selector, [weak, method](Control& sender) {
                if (auto self = weak.lock())
                    (static_cast<QELMySoundEffectsEditOptionViewController&>(*self).*
                     method)(sender);
            }};
    };
    cancelButton_->addTarget(
        this, action("onDismiss:", &QELMySoundEffectsEditOptionViewController::onDismiss),
        ControlEventTouchUpInside);
    replaceButton_->addTarget(
        this, action("onReplace:", &QELMySoundEffectsEditOptionViewController::onReplace),
        ControlEventTouchUpInside);
    deleteButton_->addTarget(
        this, action("onDelete:", &QELMySoundEffectsEditOptionViewController::onDelete),
        ControlEventTouchUpInside);
    hotkeyButton_->addTarget(
        this, action("onHotkey:", &QELMySoundEffectsEditOptionViewController::onHotkey),
        ControlEventTouchUpInside);
    viewDidLayoutSubviews();
}

Button* QELMySoundEffectsEditOptionViewController::makeButton(const QString& title,
                                                              const QColor& background) {
    auto* button = new Button(view());
    button->setTitle(title);
    button->setFont(Font::t4());
    button->setTitleColor(Color::c1());
    button->setBackgroundColor(background);
    button->setCornerRadius(kButtonHeight / 2);
    return button;
}

void QELMySoundEffectsEditOptionViewController::viewDidLayoutSubviews() {
    if (!titleLabel_) return;
    const double W = view()->width();
    setCenterX(titleLabel_, W / 2);
    setTop(titleLabel_, kTitleTop);
    double y = bottom(titleLabel_) + kButtonsTop;
    for (Button* button : {replaceButton_, deleteButton_, hotkeyButton_, cancelButton_}) {
        button->setGeometry(static_cast<int>(kButtonInset), static_cast<int>(y),
                            static_cast<int>(W - 2 * kButtonInset),
                            static_cast<int>(kButtonHeight));
        y += kButtonHeight + kButtonGap;
    }
}

QSizeF QELMySoundEffectsEditOptionViewController::popover_contentSize() const {
    // The question's own height, whether or not the card is loaded yet.
    const double h =
        titleLabel_ ? titleLabel_->sizeHint().height() : QFontMetrics(Font::t4()).height();
    return QSizeF(screenWidth() - 60,
                  h + kTitleTop + kButtonsTop + 4 * kButtonHeight + 3 * kButtonGap + kBottomMargin);
}

void QELMySoundEffectsEditOptionViewController::onDismiss(Control&) {
    dismissPopover(*this);
}

void QELMySoundEffectsEditOptionViewController::onReplace(Control&) {
    if (auto callback = onReplace_) callback(*this);
    dismissPopover(*this);
}

void QELMySoundEffectsEditOptionViewController::onDelete(Control&) {
    if (auto callback = onDelete_) callback(*this);
    dismissPopover(*this);
}

void QELMySoundEffectsEditOptionViewController::onHotkey(Control&) {
    // The capture opens over the window once the card has gone.
    dismissPopover(*this, [callback = onHotkey_](ViewController& self) {
        if (callback) callback(static_cast<QELMySoundEffectsEditOptionViewController&>(self));
    });
}
