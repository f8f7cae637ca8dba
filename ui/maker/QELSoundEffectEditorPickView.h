#pragma once

#include <vector>

#include "ui/maker/QELSoundEffectEditButton.h"
#include "ui/platform/View.h"

// The row of the four voice changes, centred 40 apart where the width
// allows, else spread evenly with at least kMinEdgeMargin at either end.
class QELSoundEffectEditorPickView : public platform::View {
public:
    static constexpr double kMinEdgeMargin = 10.0;
    static constexpr double kPreferredGap = 40.0;

    explicit QELSoundEffectEditorPickView(QWidget* parent = nullptr);

    QELSoundEffectEditButton* uncleButton() const { return uncleButton_; }
    QELSoundEffectEditButton* loliButton() const { return loliButton_; }
    QELSoundEffectEditButton* fastButton() const { return fastButton_; }
    QELSoundEffectEditButton* slowButton() const { return slowButton_; }
    const std::vector<QELSoundEffectEditButton*>& buttons() const { return buttons_; }
    void setButtons(std::vector<QELSoundEffectEditButton*> buttons);

    // The x of each button for a picker `width` wide with buttons
    // `buttonWidth` wide.
    static std::vector<double> buttonOrigins(double width, size_t count, double buttonWidth);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutButtons();
    QELSoundEffectEditButton* uncleButton_;
    QELSoundEffectEditButton* loliButton_;
    QELSoundEffectEditButton* fastButton_;
    QELSoundEffectEditButton* slowButton_;
    std::vector<QELSoundEffectEditButton*> buttons_;
};
