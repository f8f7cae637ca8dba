#pragma once

#include <QCoreApplication>
#include <QWidget>

class QELGlobalHotkeys;
class QVBoxLayout;

// The settings screen's list of hotkeys: each combination, what it fires
// and a button that clears it. A favourite that is gone and a combination
// another program holds are marked; without X11 the list says hotkeys do
// not work here.
class QELHotkeyListView : public QWidget {
    Q_DECLARE_TR_FUNCTIONS(QELHotkeyListView)

public:
    explicit QELHotkeyListView(QELGlobalHotkeys* hotkeys, QWidget* parent = nullptr);
    void reload();

private:
    QELGlobalHotkeys* hotkeys_;
    QVBoxLayout* rows_;
};
