#pragma once

#include <QFont>
#include <QRectF>

#include "core/maker/QELSoundEffectEditType.h"
#include "ui/platform/Control.h"

// One voice change of the picker: its picture above its title; selected, the
// title turns bold and white over a short underline.
class QELSoundEffectEditButton : public platform::Button {
public:
    static constexpr double kImageTitleSpacing = 10;
    static constexpr double kContentBottomInset = 7;
    static constexpr double kUnderlineGap = 5;
    static constexpr QSizeF kUnderlineSize{24, 2};

    explicit QELSoundEffectEditButton(QELSoundEffectEditType editType, QWidget* parent = nullptr);

    QELSoundEffectEditType editType() const { return editType_; }
    platform::View* bottomView() const { return bottomView_; }
    void setSelected(bool selected) override;

    QString titleText() const;
    QFont titleFont() const;
    QColor titleColor() const;
    QRectF imageRect() const;
    QRectF titleRect() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutBottomView();
    const QELSoundEffectEditType editType_;
    platform::View* bottomView_;
    QPixmap picture_;
};
