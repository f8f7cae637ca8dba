#include "ui/maker/QELSoundEffectMakerView.h"

#include <algorithm>

#include "ui/platform/Geometry.h"
#include "ui/platform/Image.h"
#include "ui/platform/Palette.h"
#include "ui/platform/ViewController.h"

using namespace platform;

namespace {

Button* makeImageButton(QWidget* parent, const char* normal, const char* disabled,
                        const char* highlighted = nullptr) {
    auto* button = new Button(parent);
    button->setBackgroundImage(imageNamed(QString::fromLatin1(normal)), ControlState::Normal);
    button->setBackgroundImage(imageNamed(QString::fromLatin1(disabled)), ControlState::Disabled);
    if (highlighted)
        button->setBackgroundImage(imageNamed(QString::fromLatin1(highlighted)),
                                   ControlState::Highlighted);
    button->resize(button->sizeHint());
    return button;
}

}  // namespace

QELSoundEffectMakerView::QELSoundEffectMakerView(const QRect& frame, QWidget* parent)
    : View(parent) {
    setGeometry(frame);
    waveFormView_ = new QELWaveFormView(this);

    recordButton_ = makeImageButton(this, "crack_ic_record_normal", "crack_ic_record_disable",
                                    "crack_ic_record_selected");
    timeLabel_ = makeLabel(this, Font::t3(), Color::c3(), Qt::AlignCenter);
    discardButton_ = makeImageButton(this, "crack_ic_delete_normal", "crack_ic_delete_disable");
    saveButton_ = makeImageButton(this, "crack_ic_download_normal", "crack_ic_download_disable");

    // Over the wave: the controller shows one of the two.
    editPickView_ = new QELSoundEffectEditorPickView(this);
    editPickView_->raise();
    layoutControls();
}

void QELSoundEffectMakerView::resizeEvent(QResizeEvent* event) {
    View::resizeEvent(event);
    layoutControls();
}

double QELSoundEffectMakerView::upperHeight() const {
    // Half the window, as it is now; in a short window no more than the
    // room above the time, so the wave and the picker never run under it.
    return std::max(0.0, std::min(screenHeight() * 0.5, top(timeLabel_) - kUpperGap));
}

void QELSoundEffectMakerView::layoutControls() {
    recordButton_->resize(recordButton_->sizeHint());
    setCenterX(recordButton_, width() * 0.5);
    setBottom(recordButton_, height() - kRecordButtonBottomMargin);

    // Wide enough for any count, so a new text needs no new layout.
    timeLabel_->adjustSize();
    timeLabel_->resize(std::max(timeLabel_->width(), 100), timeLabel_->height());
    setCenterX(timeLabel_, centerX(recordButton_));
    setBottom(timeLabel_, top(recordButton_) - kTimeLabelSpacing);

    discardButton_->resize(discardButton_->sizeHint());
    setRight(discardButton_, left(recordButton_) - kSideButtonSpacing);
    setCenterY(discardButton_, centerY(recordButton_));

    saveButton_->resize(saveButton_->sizeHint());
    setLeft(saveButton_, right(recordButton_) + kSideButtonSpacing);
    setCenterY(saveButton_, centerY(recordButton_));

    waveFormView_->setGeometry(pixelRect(QRectF(15, 0, width() - 29, upperHeight())));
    editPickView_->setGeometry(pixelRect(QRectF(0, 0, width(), upperHeight())));
}
