#pragma once

#include <QLabel>

#include "ui/platform/View.h"

// One line under the collection naming the official user chat group.
class QELMySoundEffectsContactUsView : public platform::View {
public:
    static constexpr int kHeight = 44;
    // The group and its number belong to the deployment, not the code:
    // the first line of the resource "contact.txt".
    static QString contactText();

    explicit QELMySoundEffectsContactUsView(QWidget* parent = nullptr);
    QLabel* titleLabel() const { return titleLabel_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QLabel* titleLabel_;
};
