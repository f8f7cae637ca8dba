#include "ui/mine/QELMySoundEffectEmptyView.h"

#include "ui/platform/Geometry.h"
#include "ui/platform/Image.h"
#include "ui/platform/Palette.h"

using namespace platform;

QELMySoundEffectEmptyView::QELMySoundEffectEmptyView(QWidget* parent) : View(parent) {
    // Only a picture: taps go through to what lies below.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    imageView_ = new ImageView(this);
    imageView_->setImage(imageNamed(QStringLiteral("mina_img_none")));
    imageView_->sizeToFit();
    titleLabel_ = makeLabel(this, Font::t2(), Color::c4(), Qt::AlignCenter);
    titleLabel_->setText(tr("空空的，这里什么都没有..."));
    titleLabel_->adjustSize();
}

void QELMySoundEffectEmptyView::resizeEvent(QResizeEvent* event) {
    View::resizeEvent(event);
    setCenterX(imageView_, width() / 2.0);
    setCenterY(imageView_, height() / 2.0 - 100);
    setCenterX(titleLabel_, width() / 2.0);
    setTop(titleLabel_, bottom(imageView_) + 15);
}
