#pragma once

#include <QLabel>

#include "core/catalogue/QELSoundEffect.h"
#include "ui/board/QELCollectionViewDataSource.h"

// A pill-shaped button of the board: the effect's title on a rounded
// background, which turns to the accent colour with a fading glow while
// the effect plays.
class QELSoundEffectCollectionViewCell : public platform::CollectionViewCell,
                                         public QELCell<QELSoundEffect::Ref> {
public:
    static constexpr double kGlowDuration = 1.0;
    static constexpr double kGlowOutset = 7.0;

    QELSoundEffectCollectionViewCell();
    ~QELSoundEffectCollectionViewCell() override;

    virtual void setAppearanceConfiguration(double cornerRadius, const QColor& backgroundColor,
                                            const QColor& selectedBackgroundColor);
    void setSelected(bool selected) override;
    void prepareForReuse() override;
    void configWithItem(const QELSoundEffect::Ref& soundEffect) override;
    // An effect whose sound file is gone is shown faded; it still takes taps,
    // which say why nothing plays.
    void setAvailable(bool available);
    bool isAvailable() const { return available_; }

    QLabel* titleLabel() const { return titleLabel_; }
    platform::ImageView* overlayView() const { return overlayView_; }
    const QPixmap& patternImage() const { return patternImage_; }
    const QPixmap& selectedPatternImage() const { return selectedPatternImage_; }

protected:
    void layoutSubviews() override;

private:
    // A title too long for the pill wraps, then gets smaller, rather than
    // losing its ends.
    void fitTitle();

    QLabel* titleLabel_;
    QPixmap patternImage_;
    QPixmap selectedPatternImage_;
    platform::ImageView* overlayView_;
    double cornerRadius_ = 0;
    QColor backgroundColor_, selectedBackgroundColor_;
    bool available_ = true;
};

// The title of one category above its buttons.
class QELSoundEffectCollecionHeaderView : public platform::CollectionReusableView,
                                          public QELCellHeaderView<std::string> {
public:
    QELSoundEffectCollecionHeaderView();
    void configWithItem(const std::string& title) override;
    QLabel* titleLabel() const { return titleLabel_; }

private:
    QLabel* titleLabel_;
};
