#pragma once

#include <QCoreApplication>
#include <QDialog>
#include <QLabel>

#include "core/remote/QELHotkeys.h"

class QELGlobalHotkeys;

// A small window that takes a key combination for one effect: it shows the
// combination as it is pressed, Esc leaves it, and the first complete one
// is assigned as the settings screen and the command line assign it. One
// that is not usable, already fires something else or is held by another
// program is said so, and another may be pressed. While it is open the
// program's own hotkeys are released, so that pressing one is captured
// rather than fired.
class QELHotkeyCaptureDialog : public QDialog {
    Q_DECLARE_TR_FUNCTIONS(QELHotkeyCaptureDialog)

public:
    // `target` without its combination; `hotkeys` may be null (no grabs).
    QELHotkeyCaptureDialog(QELGlobalHotkeys* hotkeys, QELHotkey target, QWidget* parent = nullptr);
    ~QELHotkeyCaptureDialog() override;

    QLabel* comboLabel() const { return comboLabel_; }
    QLabel* noteLabel() const { return noteLabel_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    void take(const QELKeyCombo& combo);
    // Shows `text` under the combination; the dialog grows to hold it whole.
    void say(const QString& text);
    void release();

    QELGlobalHotkeys* hotkeys_;
    QELHotkey target_;
    QLabel* comboLabel_;
    QLabel* noteLabel_;
    bool shownComplete_ = false;
};

// Opens the capture for `target` over `parent`'s window; it deletes itself.
QELHotkeyCaptureDialog* showHotkeyCapture(QELGlobalHotkeys* hotkeys, QELHotkey target,
                                          QWidget* parent);
