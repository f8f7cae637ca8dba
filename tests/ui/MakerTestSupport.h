#pragma once
// The maker screen in a window of its own, recording through an engine of
// the test's choosing into a temporary Library.

#include <QTest>
#include <filesystem>
#include <memory>

#include "audio/AudioEngine.h"
#include "support/TestSupport.h"
#include "ui/UiTest.h"
#include "ui/maker/QELSoundEffectMakeViewController.h"
#include "ui/utils/QELNavigationAlert.h"
#include "ui/utils/QELNavigationController.h"

namespace makerui {

// Notes the title of each navigation alert as it comes on screen.
class AlertTitles : public QObject {
public:
    AlertTitles() { QELNavigationAlertManager::alertView().installEventFilter(this); }
    ~AlertTitles() override { QELNavigationAlertManager::alertView().removeEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Show)
            titles.push_back(QELNavigationAlertManager::alertView().titleLabel()->text());
        return false;
    }
    QStringList titles;
};

class MakerScreen {
public:
    using Permission = platform::AudioSession::RecordPermission;

    MakerScreen(platform::AudioEngine& engine, Permission permission,
                QELSoundEffectEditor::Executor renders = {}, int width = 320, int height = 568)
        : storage(dir.file("Customcollection.info")), permission(permission) {
        viewModel =
            std::make_shared<QELSoundEffectMakeViewModel>(QELSoundEffectMakeViewModel::Environment{
                dir.file("record"), dir.file("Custom"), &storage, &engine, std::move(renders)});
        controller = std::make_shared<QELSoundEffectMakeViewController>(viewModel);
        controller->setRecordPermissionSource([this] { return this->permission; });
        controller->setSettingsOpener([this] {
            ++settingsOpened;
            return true;
        });
        window = std::make_unique<platform::Window>();
        window->resize(width, height);
        window->setRootViewController(createNavigationController(controller));
        window->show();
        uitest::drain();
    }

    ~MakerScreen() {
        window.reset();
        controller.reset();
        viewModel.reset();
        uitest::drain();
    }

    QELSoundEffectMakerView& view() const { return *controller->makerView(); }
    std::string recordDir() const { return dir.file("record"); }

    void press() { QTest::mousePress(view().recordButton(), Qt::LeftButton, {}, centre()); }
    void release(bool inside = true) {
        QTest::mouseRelease(view().recordButton(), Qt::LeftButton, {},
                            inside ? centre() : QPoint(-30, -30));
        uitest::drain();
    }
    // Time passing in display frames while the button is held.
    static void hold(double seconds, double step = kStep) {
        const int steps = static_cast<int>(seconds / step + 0.5);
        for (int i = 0; i < steps; ++i) uitest::advance(step);
    }
    void record(double seconds) {
        press();
        hold(seconds);
        release();
    }
    void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center()); }
    QString time() const { return view().timeLabel()->text(); }

    static constexpr double kStep = 0.05;
    testsupport::TempDir dir;
    QELMySoundEffectStorage storage;
    Permission permission;
    int settingsOpened = 0;
    std::shared_ptr<QELSoundEffectMakeViewModel> viewModel;
    std::shared_ptr<QELSoundEffectMakeViewController> controller;
    std::unique_ptr<platform::Window> window;

private:
    QPoint centre() const { return view().recordButton()->rect().center(); }
};

}  // namespace makerui
