#include "ui/mine/QELMySoundEffectsContactUsView.h"

#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "ui/platform/Palette.h"

using namespace platform;

QELMySoundEffectsContactUsView::QELMySoundEffectsContactUsView(QWidget* parent) : View(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    titleLabel_ = makeLabel(this, Font::t2(), Color::c4(), Qt::AlignCenter);
    titleLabel_->setText(contactText());
}

QString QELMySoundEffectsContactUsView::contactText() {
    const auto bytes = platform::readFile(platform::Paths::resourceDirectory() + "/contact.txt");
    if (!bytes) return {};
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(bytes->data()), qsizetype(bytes->size()));
    return text.section(QLatin1Char('\n'), 0, 0).trimmed();
}

void QELMySoundEffectsContactUsView::resizeEvent(QResizeEvent* event) {
    View::resizeEvent(event);
    titleLabel_->setGeometry(rect());
}
