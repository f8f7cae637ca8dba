#include "ui/hotkeys/QELHotkeyCaptureDialog.h"

#include <QKeyEvent>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/hotkeys/QELGlobalHotkeys.h"
#include "ui/utils/QELCatalogueText.h"

namespace {

unsigned modifiersOf(Qt::KeyboardModifiers m) {
    unsigned out = 0;
    if (m & Qt::ControlModifier) out |= QELKeyCombo::Ctrl;
    if (m & Qt::AltModifier) out |= QELKeyCombo::Alt;
    if (m & Qt::ShiftModifier) out |= QELKeyCombo::Shift;
    if (m & Qt::MetaModifier) out |= QELKeyCombo::Super;
    return out;
}

// A modifier key's own bit: the desktop may report a modifier's press
// before, and its release after, the state includes it.
unsigned modifierKey(int key) {
    switch (key) {
        case Qt::Key_Control:
            return QELKeyCombo::Ctrl;
        case Qt::Key_Alt:
            return QELKeyCombo::Alt;
        case Qt::Key_Shift:
            return QELKeyCombo::Shift;
        case Qt::Key_Meta:
        case Qt::Key_Super_L:
        case Qt::Key_Super_R:
            return QELKeyCombo::Super;
        default:
            return 0;
    }
}

// The key as a combination names it; empty for a modifier or a key no
// combination can hold. Shift turns the digits into their signs (US keys).
std::string keyName(int key) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return std::string(1, char('a' + key - Qt::Key_A));
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return std::string(1, char('0' + key - Qt::Key_0));
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12) return "f" + std::to_string(key - Qt::Key_F1 + 1);
    static constexpr int kShiftedDigits[] = {
        Qt::Key_ParenRight, Qt::Key_Exclam,   Qt::Key_At,          Qt::Key_NumberSign,
        Qt::Key_Dollar,     Qt::Key_Percent,  Qt::Key_AsciiCircum, Qt::Key_Ampersand,
        Qt::Key_Asterisk,   Qt::Key_ParenLeft};
    for (int digit = 0; digit < 10; ++digit)
        if (key == kShiftedDigits[digit]) return std::string(1, char('0' + digit));
    return {};
}

QString pressedModifiers(unsigned modifiers) {
    const QString text = QString::fromStdString(QELKeyCombo{modifiers, ""}.text());
    return text.isEmpty() ? QELHotkeyCaptureDialog::tr("请按下组合键") : text + QStringLiteral("…");
}

}  // namespace

QELHotkeyCaptureDialog::QELHotkeyCaptureDialog(QELGlobalHotkeys* hotkeys, QELHotkey target,
                                               QWidget* parent)
    : QDialog(parent), hotkeys_(hotkeys), target_(std::move(target)) {
    setWindowTitle(tr("设置快捷键"));
    auto* layout = new QVBoxLayout(this);
    const QString name = target_.action == QELHotkey::Action::PlayFavorite
                             ? QString::fromStdString(target_.title)
                             : QELHotkeyTitle(target_);
    auto* prompt = new QLabel(tr("为「%1」按下组合键（Esc 取消）").arg(name));
    layout->addWidget(prompt);
    comboLabel_ = new QLabel(pressedModifiers(0));
    comboLabel_->setAlignment(Qt::AlignCenter);
    QFont big = comboLabel_->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    comboLabel_->setFont(big);
    layout->addWidget(comboLabel_);
    noteLabel_ = new QLabel();
    noteLabel_->setWordWrap(true);
    layout->addWidget(noteLabel_);
    setMinimumWidth(300);
    if (hotkeys_) hotkeys_->setHotkeys({});
}

QELHotkeyCaptureDialog::~QELHotkeyCaptureDialog() {
    release();
}

void QELHotkeyCaptureDialog::release() {
    if (hotkeys_) hotkeys_->setHotkeys(QELHotkeys().all());
    hotkeys_ = nullptr;
}

void QELHotkeyCaptureDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        reject();
        return;
    }
    const unsigned modifiers = modifiersOf(event->modifiers()) | modifierKey(event->key());
    const std::string key = keyName(event->key());
    shownComplete_ = !key.empty();
    if (key.empty()) {
        comboLabel_->setText(pressedModifiers(modifiers));
        return;
    }
    const QELKeyCombo pressed{modifiers, key};
    comboLabel_->setText(QString::fromStdString(pressed.text()));
    if (event->isAutoRepeat()) return;
    if (auto combo = QELKeyCombo::parse(pressed.text())) {
        take(*combo);
        return;
    }
    say(tr("需要 Ctrl、Alt、Shift 或 Super 加一个字母、数字或 F1–F12；Ctrl+Alt+F 键留给系统。"));
}

void QELHotkeyCaptureDialog::keyReleaseEvent(QKeyEvent* event) {
    // Letting go of a modifier before the key starts over; after it, the
    // combination stays in view next to what was said about it.
    if (!shownComplete_ && keyName(event->key()).empty())
        comboLabel_->setText(
            pressedModifiers(modifiersOf(event->modifiers()) & ~modifierKey(event->key())));
}

void QELHotkeyCaptureDialog::say(const QString& text) {
    noteLabel_->setText(text);
    // A wrapped line's height depends on the width, which a window's layout
    // does not grow for by itself.
    adjustSize();
}

void QELHotkeyCaptureDialog::take(const QELKeyCombo& combo) {
    const QString text = QString::fromStdString(combo.text());
    const auto all = QELHotkeys().all();
    const auto same = std::ranges::find(all, combo, &QELHotkey::combo);
    QELHotkey hotkey = target_;
    hotkey.combo = combo;
    if (same != all.end() && same->describe() != hotkey.describe()) {
        say(tr("%1 已用于「%2」，请换一个组合。")
                .arg(text, QString::fromStdString(same->describe())));
        return;
    }
    if (!hotkeys_) {
        QELHotkeys().set(hotkey);
        accept();
        return;
    }
    if (!hotkeys_->assign(hotkey)) {
        // Not kept: the user is here to choose one that works.
        if (same == all.end()) hotkeys_->clear(combo);
        hotkeys_->setHotkeys({});
        say(tr("%1 已被其他程序占用，请换一个组合。").arg(text));
        return;
    }
    release();
    accept();
}

QELHotkeyCaptureDialog* showHotkeyCapture(QELGlobalHotkeys* hotkeys, QELHotkey target,
                                          QWidget* parent) {
    auto* dialog =
        new QELHotkeyCaptureDialog(hotkeys, std::move(target), parent ? parent->window() : nullptr);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setModal(true);
    dialog->show();
    dialog->activateWindow();
    return dialog;
}
