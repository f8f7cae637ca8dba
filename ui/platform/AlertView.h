#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace platform {

// A small alert over the main window with a title, a message, a cancel
// button (index 0) and other buttons (indexes 1...). It does not block: the
// choice arrives through didDismissWithButtonIndex, after which the alert
// closes and deletes itself.
class AlertView : public QMessageBox {
public:
    AlertView(const QString& title, const QString& message, const QString& cancelButtonTitle,
              const QStringList& otherButtonTitles);

    std::function<void(int buttonIndex)> didDismissWithButtonIndex;

    // Shows the alert over the main window (or on its own without one).
    void showAlert();
    int numberOfButtons() const { return static_cast<int>(buttons_.size()); }
    QString buttonTitleAtIndex(int index) const;
    // As if the user had clicked the button.
    void dismissWithClickedButtonIndex(int index);

private:
    std::vector<QAbstractButton*> buttons_;
};

}  // namespace platform
