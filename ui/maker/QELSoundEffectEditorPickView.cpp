#include "ui/maker/QELSoundEffectEditorPickView.h"

#include <cmath>

QELSoundEffectEditorPickView::QELSoundEffectEditorPickView(QWidget* parent)
    : View(parent),
      uncleButton_(new QELSoundEffectEditButton(QELSoundEffectEditType::Uncle, this)),
      loliButton_(new QELSoundEffectEditButton(QELSoundEffectEditType::Loli, this)),
      fastButton_(new QELSoundEffectEditButton(QELSoundEffectEditType::Fast, this)),
      slowButton_(new QELSoundEffectEditButton(QELSoundEffectEditType::Slow, this)),
      buttons_{uncleButton_, loliButton_, fastButton_, slowButton_} {}

void QELSoundEffectEditorPickView::setButtons(std::vector<QELSoundEffectEditButton*> buttons) {
    buttons_ = std::move(buttons);
    layoutButtons();
}

std::vector<double> QELSoundEffectEditorPickView::buttonOrigins(double width, size_t count,
                                                                double buttonWidth) {
    std::vector<double> origins;
    if (count == 0) return origins;
    const double n = static_cast<double>(count);
    double x0 = (width - n * buttonWidth - kPreferredGap * (n - 1)) * 0.5;
    if (x0 < kMinEdgeMargin) x0 = kMinEdgeMargin;
    // One button has no gap to share.
    const double gap = count > 1 ? (width - n * buttonWidth - 2 * x0) / (n - 1) : 0;
    double x = x0;
    for (size_t i = 0; i < count; ++i) {
        origins.push_back(x);
        x += buttonWidth + gap;
    }
    return origins;
}

void QELSoundEffectEditorPickView::resizeEvent(QResizeEvent* event) {
    View::resizeEvent(event);
    layoutButtons();
}

void QELSoundEffectEditorPickView::layoutButtons() {
    if (buttons_.empty()) return;
    const auto origins = buttonOrigins(width(), buttons_.size(), buttons_.front()->width());
    for (size_t i = 0; i < buttons_.size(); ++i) {
        QELSoundEffectEditButton* button = buttons_[i];
        button->move(static_cast<int>(std::lround(origins[i])),
                     static_cast<int>(std::lround(height() * 0.5 - button->height() * 0.5)));
    }
}
