#pragma once

#include <QCoreApplication>
#include <memory>

#include "ui/platform/TabBarController.h"

class QELGlobalHotkeys;
class QELSoundEffectListViewController;
class QELSoundEffectMakeViewController;
class QELMySoundEffectsViewController;

// The window's root: the board, the maker and the user's collection, each in
// its own navigation controller, behind a bar of image-only tabs. Every tab
// the user picks is counted.
class QELTabBarController : public platform::TabBarController,
                            public platform::TabBarControllerDelegate {
    Q_DECLARE_TR_FUNCTIONS(QELTabBarController)

public:
    QELTabBarController();
    ~QELTabBarController() override;

    void viewDidLoad() override;
    void didSelectViewController(platform::TabBarController& tabBarController,
                                 platform::ViewController& controller) override;

    QELSoundEffectListViewController& soundEffectListViewController() {
        return *soundEffectListViewController_;
    }
    QELSoundEffectMakeViewController& soundEffectMakeViewController() {
        return *soundEffectMakeViewController_;
    }
    QELMySoundEffectsViewController& mySoundEffectsViewController() {
        return *mySoundEffectsViewController_;
    }

    // Where the screens' hotkey assignments and the settings take effect.
    void setGlobalHotkeys(QELGlobalHotkeys* hotkeys);

private:
    std::shared_ptr<QELSoundEffectListViewController> soundEffectListViewController_;
    std::shared_ptr<QELSoundEffectMakeViewController> soundEffectMakeViewController_;
    std::shared_ptr<QELMySoundEffectsViewController> mySoundEffectsViewController_;
};
