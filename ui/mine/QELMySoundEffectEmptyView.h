#pragma once

#include <QCoreApplication>
#include <QLabel>

#include "ui/platform/View.h"

// What an empty collection shows: an illustration and one line of text,
// a little above the middle.
class QELMySoundEffectEmptyView : public platform::View {
    Q_DECLARE_TR_FUNCTIONS(QELMySoundEffectEmptyView)

public:
    explicit QELMySoundEffectEmptyView(QWidget* parent = nullptr);
    platform::ImageView* imageView() const { return imageView_; }
    QLabel* titleLabel() const { return titleLabel_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    platform::ImageView* imageView_;
    QLabel* titleLabel_;
};
