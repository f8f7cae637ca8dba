#include "ui/board/QELSoundEffectCollectionViewCell.h"

#include "ui/platform/Animation.h"
#include "ui/platform/Geometry.h"
#include "ui/platform/Image.h"
#include "ui/platform/Palette.h"
#include "ui/utils/QELCatalogueText.h"

using namespace platform;

QELSoundEffectCollectionViewCell::QELSoundEffectCollectionViewCell() {
    titleLabel_ = makeLabel(contentView(), Font::t3(), Color::c2(), Qt::AlignCenter);
    titleLabel_->setWordWrap(true);
    // The glow reaches beyond the pill.
    setClipsToBounds(false);
    overlayView_ = new ImageView(this);
    overlayView_->stackUnder(contentView());
    setAlpha(overlayView_, 0);
}

void QELSoundEffectCollectionViewCell::layoutSubviews() {
    CollectionViewCell::layoutSubviews();
    const QSizeF size = frame().size();
    if (size.isEmpty()) return;
    titleLabel_->setGeometry(10, 0, contentView()->width() - 20, contentView()->height());
    fitTitle();
    // The images follow the frame, which the layout may change with the width.
    if (patternImage_.isNull() || patternImage_.deviceIndependentSize() != size) {
        if (backgroundColor_.isValid())
            setAppearanceConfiguration(cornerRadius_, backgroundColor_, selectedBackgroundColor_);
        else
            setAppearanceConfiguration(size.height() * 0.5, HEXACOLOR(0x474747, 0.5), Color::c9());
    }
    // The glow stays centred on the pill; scaled, it may grow 7 points each
    // way, which the cell's overflow margin leaves room for.
    overlayView_->resize(overlayView_->image().deviceIndependentSize().toSize() +
                         QSize(2 * overflowMargin(), 2 * overflowMargin()));
    const QRect content = contentView()->geometry();
    overlayView_->move(content.x() + (content.width() - overlayView_->width()) / 2,
                       content.y() + (content.height() - overlayView_->height()) / 2);
}

QELSoundEffectCollectionViewCell::~QELSoundEffectCollectionViewCell() {
    // The glow's completion uses the overlay: end it while the cell is whole.
    removeAllAnimations(overlayView_);
}

void QELSoundEffectCollectionViewCell::setAppearanceConfiguration(
    double cornerRadius, const QColor& backgroundColor, const QColor& selectedBackgroundColor) {
    cornerRadius_ = cornerRadius;
    backgroundColor_ = backgroundColor;
    selectedBackgroundColor_ = selectedBackgroundColor;
    const QSizeF size = frame().size().isEmpty() ? QSizeF(contentView()->size()) : frame().size();
    patternImage_ = roundedRectImage(size, backgroundColor, cornerRadius);
    selectedPatternImage_ = roundedRectImage(size, selectedBackgroundColor, cornerRadius);
    overlayView_->setImage(roundedRectImage(size, HEXACOLOR(0xEB866E, 0.3), cornerRadius));
    contentView()->setBackgroundPattern(isSelected() ? selectedPatternImage_ : patternImage_);
}

void QELSoundEffectCollectionViewCell::setSelected(bool selected) {
    CollectionViewCell::setSelected(selected);
    removeAllAnimations(overlayView_);
    contentView()->setBackgroundPattern(selected ? selectedPatternImage_ : patternImage_);
    if (!selected) {
        setAlpha(overlayView_, 0);
        overlayView_->setScale({1, 1});
        setTextColor(titleLabel_, available_ ? Color::c2() : Color::c3());
        return;
    }
    overlayView_->setScale({1, 1});
    setAlpha(overlayView_, 1);
    const double w = contentView()->width(), h = contentView()->height();
    ImageView* overlay = overlayView_;
    animate(
        kGlowDuration, 0, AnimationCurve::EaseOut,
        [&](AnimationChanges& c) {
            c.value(1, (w + 2 * kGlowOutset) / w, [overlay, w, h](double sx) {
                const double progress = (sx - 1) / (2 * kGlowOutset / w);
                overlay->setScale({sx, 1 + progress * 2 * kGlowOutset / h});
            });
            c.alpha(overlay, 0);
        },
        [overlay](bool) {
            overlay->setScale({1, 1});
        },
        overlayView_);
    setTextColor(titleLabel_, Color::c1());
}

void QELSoundEffectCollectionViewCell::prepareForReuse() {
    CollectionViewCell::prepareForReuse();
    removeAllAnimations(contentView());
    removeAllAnimations(overlayView_);
}

void QELSoundEffectCollectionViewCell::configWithItem(const QELSoundEffect::Ref& soundEffect) {
    titleLabel_->setText(QELEffectTitle(*soundEffect));
    fitTitle();
    setAvailable(true);
}

void QELSoundEffectCollectionViewCell::fitTitle() {
    constexpr int kSmallest = 9;
    const QRect room = titleLabel_->contentsRect();
    if (room.isEmpty()) return;
    QFont font = Font::t3();  // sized in pixels
    auto fits = [&] {
        const QRect needed = QFontMetrics(font).boundingRect(
            room, Qt::AlignCenter | Qt::TextWordWrap, titleLabel_->text());
        return needed.width() <= room.width() && needed.height() <= room.height();
    };
    while (!fits() && font.pixelSize() > kSmallest) font.setPixelSize(font.pixelSize() - 1);
    titleLabel_->setFont(font);
}

void QELSoundEffectCollectionViewCell::setAvailable(bool available) {
    available_ = available;
    setTextColor(titleLabel_, available ? Color::c2() : Color::c3());
    setAlpha(contentView(), available ? 1.0 : 0.35);
}

QELSoundEffectCollecionHeaderView::QELSoundEffectCollecionHeaderView() {
    titleLabel_ = makeLabel(this, Font::t2(), Color::c3());
    titleLabel_->move(15, 15);
}

void QELSoundEffectCollecionHeaderView::configWithItem(const std::string& title) {
    titleLabel_->setText(QELCategoryTitle(title));
    titleLabel_->adjustSize();
}
