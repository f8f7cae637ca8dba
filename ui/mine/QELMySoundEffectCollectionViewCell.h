#pragma once

#include "core/catalogue/QELSoundEffect.h"
#include "ui/board/QELSoundEffectCollectionViewCell.h"

// One entry of the user's collection: the board's button, squarer and
// larger, with a mark on the user's own recordings. A long press announces
// the entry on the default notification centre.
class QELMySoundEffectCollectionViewCell : public QELSoundEffectCollectionViewCell,
                                           public QELCell<QELCollectionSoundEffect::Ref> {
public:
    static constexpr const char* LongPressNotificationName =
        "com.zentrik.quellio.mysoundeffectcollectionviewcell.longpress";
    // The notification's object is the entry's address (identity only); the
    // entry itself travels in the user info under this key.
    static constexpr const char* kLongPressItemUserInfoKey = "item";
    static constexpr double kTagSize = 20;
    static constexpr double kTagInset = 5;

    QELMySoundEffectCollectionViewCell();

    using QELSoundEffectCollectionViewCell::configWithItem;
    void configWithItem(const QELCollectionSoundEffect::Ref& item) override;
    const QELCollectionSoundEffect::Ref& item() const { return item_; }
    void setItem(QELCollectionSoundEffect::Ref item) { item_ = std::move(item); }
    platform::ImageView* customTag() const { return customTag_; }

    void setSelected(bool selected) override;
    void prepareForReuse() override;
    void onLongPress(platform::LongPressGestureRecognizer& recognizer);

protected:
    void layoutSubviews() override;

private:
    QELCollectionSoundEffect::Ref item_;
    platform::ImageView* customTag_;
};
