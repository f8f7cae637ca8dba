#include "ui/hotkeys/QELHotkeyListView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "core/collection/QELMySoundEffectStorage.h"
#include "core/remote/QELHotkeys.h"
#include "ui/hotkeys/QELGlobalHotkeys.h"
#include "ui/utils/QELCatalogueText.h"

QELHotkeyListView::QELHotkeyListView(QELGlobalHotkeys* hotkeys, QWidget* parent)
    : QWidget(parent), hotkeys_(hotkeys), rows_(new QVBoxLayout(this)) {
    rows_->setContentsMargins(0, 0, 0, 0);
    reload();
}

void QELHotkeyListView::reload() {
    while (QLayoutItem* item = rows_->takeAt(0)) {
        if (QWidget* w = item->widget()) w->deleteLater();
        delete item;
    }
    if (!hotkeys_ || !hotkeys_->available()) {
        auto* note = new QLabel(tr("此桌面不支持全局快捷键（需要 X11，或提供全局快捷键的桌面门户）。"));
        note->setWordWrap(true);
        rows_->addWidget(note);
    }
    const auto& favorites = QELMySoundEffectStorage::sharedStorage().soundEffects();
    for (const QELHotkey& hotkey : QELHotkeys().all()) {
        QString text = QString::fromStdString(hotkey.combo.text() + "  ") + QELHotkeyTitle(hotkey);
        if (hotkey.action == QELHotkey::Action::PlayFavorite &&
            std::ranges::none_of(favorites,
                                 [&](const auto& e) { return e->name() == hotkey.title; }))
            text += tr("（已删除）");
        if (hotkeys_ && hotkeys_->isTaken(hotkey.combo)) text += tr("（已被其他程序占用）");
        auto* row = new QWidget();
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* label = new QLabel(text);
        label->setObjectName(QString::fromStdString(hotkey.combo.text()));
        layout->addWidget(label, 1);
        auto* clear = new QPushButton(tr("清除"));
        const QELKeyCombo combo = hotkey.combo;
        QObject::connect(clear, &QPushButton::clicked, this, [this, combo] {
            if (hotkeys_)
                hotkeys_->clear(combo);
            else
                QELHotkeys().clear(combo);
            reload();
        });
        layout->addWidget(clear);
        rows_->addWidget(row);
    }
}
