#include "ui/platform/AlertView.h"

#include <QAbstractButton>
#include <QPushButton>

#include "ui/platform/ViewController.h"

namespace platform {

AlertView::AlertView(const QString& title, const QString& message, const QString& cancelButtonTitle,
                     const QStringList& otherButtonTitles)
    : QMessageBox(Window::main()) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);
    setWindowTitle(title);
    setText(title);
    setInformativeText(message);
    buttons_.push_back(addButton(cancelButtonTitle, QMessageBox::RejectRole));
    for (const QString& other : otherButtonTitles)
        buttons_.push_back(addButton(other, QMessageBox::AcceptRole));
    // Esc cancels; Return takes the first other choice, as a confirmation.
    setEscapeButton(buttons_.front());
    setDefaultButton(static_cast<QPushButton*>(buttons_.size() > 1 ? buttons_[1] : buttons_[0]));
    connect(this, &QMessageBox::buttonClicked, this, [this](QAbstractButton* clicked) {
        for (size_t i = 0; i < buttons_.size(); ++i) {
            if (buttons_[i] != clicked) continue;
            // Taken out first: the callback may show another alert.
            auto callback = std::move(didDismissWithButtonIndex);
            didDismissWithButtonIndex = nullptr;
            if (callback) callback(static_cast<int>(i));
            return;
        }
    });
}

void AlertView::showAlert() {
    open();
}

QString AlertView::buttonTitleAtIndex(int index) const {
    if (index < 0 || index >= numberOfButtons()) return {};
    return buttons_[static_cast<size_t>(index)]->text();
}

void AlertView::dismissWithClickedButtonIndex(int index) {
    if (index < 0 || index >= numberOfButtons()) return;
    buttons_[static_cast<size_t>(index)]->click();
}

}  // namespace platform
