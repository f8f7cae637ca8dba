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
    // The least room between the upper half and the time below it.
    static constexpr double kUpperGap = 10;

    explicit QELSoundEffectMakerView(const QRect& frame, QWidget* parent = nullptr);

    QELWaveFormView* waveFormView() const { return waveFormView_; }
    platform::Button* recordButton() const { return recordButton_; }
    QLabel* timeLabel() const { return timeLabel_; }
    platform::Button* discardButton() const { return discardButton_; }
    platform::Button* saveButton() const { return saveButton_; }
    QELSoundEffectEditorPickView* editPickView() const { return editPickView_; }
    // The height of the wave and of the picker.
    double upperHeight() const;

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
};
