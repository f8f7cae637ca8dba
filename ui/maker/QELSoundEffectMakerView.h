#pragma once

#include <QLabel>

#include "ui/maker/QELSoundEffectEditorPickView.h"
#include "ui/maker/QELWaveFormView.h"
#include "ui/platform/Control.h"

// The maker's screen: the wave (or, in its place, the voice-change picker)
// in the upper half; the record button near the bottom with the elapsed
// time above it, discard to its left and save to its right. It only lays
// itself out; its controller decides what is shown and enabled.
class QELSoundEffectMakerView : public platform::View {
public:
    static constexpr double kRecordButtonBottomMargin = 80;
    static constexpr double kTimeLabelSpacing = 40;
    static constexpr double kSideButtonSpacing = 40;

    explicit QELSoundEffectMakerView(const QRect& frame, QWidget* parent = nullptr);

    QELWaveFormView* waveFormView() const { return waveFormView_; }
    platform::Button* recordButton() const { return recordButton_; }
    QLabel* timeLabel() const { return timeLabel_; }
    platform::Button* discardButton() const { return discardButton_; }
    platform::Button* saveButton() const { return saveButton_; }
    QELSoundEffectEditorPickView* editPickView() const { return editPickView_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutControls();
    QELWaveFormView* waveFormView_;
    platform::Button* recordButton_;
    QLabel* timeLabel_;
    platform::Button* discardButton_;
    platform::Button* saveButton_;
    QELSoundEffectEditorPickView* editPickView_;
    double upperHeight_;
};
