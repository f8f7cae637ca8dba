#include "ui/mine/QELMySoundEffectCollectionViewCell.h"

#include "foundation/NotificationCenter.h"
#include "ui/platform/Image.h"
#include "ui/platform/Palette.h"

using platform::Value;
using namespace platform;

namespace {
QPixmap tagImage(bool playing) {
    return imageNamed(playing ? QStringLiteral("customize_img_crack_play")
                              : QStringLiteral("customize_img_crack"),
                      QSizeF(QELMySoundEffectCollectionViewCell::kTagSize,
                             QELMySoundEffectCollectionViewCell::kTagSize));
}
}  // namespace

QELMySoundEffectCollectionViewCell::QELMySoundEffectCollectionViewCell() {
    customTag_ = new ImageView(contentView());
    customTag_->setImage(tagImage(false));
    setAppearanceConfiguration(5, HEXACOLOR(0x353535, 0.5), Color::c9());
    titleLabel()->setFont(Font::t4());
    titleLabel()->setWordWrap(true);
    customTag_->resize(static_cast<int>(kTagSize), static_cast<int>(kTagSize));
    customTag_->raise();
    addLongPressGestureRecognizer(
        [this](LongPressGestureRecognizer& recognizer) { onLongPress(recognizer); });
}

void QELMySoundEffectCollectionViewCell::layoutSubviews() {
    QELSoundEffectCollectionViewCell::layoutSubviews();
    customTag_->move(static_cast<int>(contentView()->width() - kTagInset - kTagSize),
                     static_cast<int>(kTagInset));
}

void QELMySoundEffectCollectionViewCell::configWithItem(const QELCollectionSoundEffect::Ref& item) {
    QELSoundEffectCollectionViewCell::configWithItem(item);
    item_ = item;
    customTag_->setVisible(item && item->isUserCustom());
    setAvailable(!item || item->isAvailable());
}

void QELMySoundEffectCollectionViewCell::setSelected(bool selected) {
    QELSoundEffectCollectionViewCell::setSelected(selected);
    customTag_->setImage(tagImage(selected));
}

void QELMySoundEffectCollectionViewCell::prepareForReuse() {
    QELSoundEffectCollectionViewCell::prepareForReuse();
    item_.reset();
}

void QELMySoundEffectCollectionViewCell::onLongPress(LongPressGestureRecognizer& recognizer) {
    if (recognizer.state() != LongPressGestureRecognizer::State::Began || !item_) return;
    NotificationCenter::defaultCenter().post(LongPressNotificationName, item_.get(),
                                             Value::Dictionary{{kLongPressItemUserInfoKey, item_}});
}
