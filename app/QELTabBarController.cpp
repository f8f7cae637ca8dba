#include "app/QELTabBarController.h"

#include "core/playback/QELSoundEffectPlayer.h"
#include "core/settings/QELAudioRouting.h"
#include "ui/board/QELSoundEffectListViewController.h"
#include "ui/hotkeys/QELHotkeyListView.h"
#include "ui/maker/QELSoundEffectMakeViewController.h"
#include "ui/mine/QELMySoundEffectsViewController.h"
#include "ui/platform/Image.h"
#include "ui/platform/NavigationController.h"
#include "ui/platform/Palette.h"
#include "ui/settings/QELSettingsViewController.h"
#include "ui/statistics/QELStatistics.h"
#include "ui/utils/QELNavigationController.h"

using namespace platform;

namespace {

// Without titles the images sit 6 points lower, in the middle of the bar.
constexpr QMarginsF kTabImageInsets(0, 6, 0, -6);

void setTab(ViewController& controller, const char* image, const char* selectedImage) {
    TabBarItem& item = controller.tabBarItem();
    item.title.clear();
    item.image = imageNamed(QLatin1String(image));
    item.selectedImage = imageNamed(QLatin1String(selectedImage));
    item.imageInsets = kTabImageInsets;
}

// The settings screen, with the hotkeys' section, on top of `controller`'s
// navigation stack.
bool pushSettings(ViewController& controller, QELGlobalHotkeys* hotkeys) {
    NavigationController* navigation = controller.navigationController();
    if (!navigation) return false;
    auto settings = std::make_shared<QELSettingsViewController>(QELAudioRouting::shared());
    settings->view();
    settings->addSection(QELTabBarController::tr("快捷键"), new QELHotkeyListView(hotkeys));
    navigation->pushViewController(settings, true);
    return true;
}

}  // namespace

QELTabBarController::QELTabBarController()
    : soundEffectListViewController_(std::make_shared<QELSoundEffectListViewController>(
          std::make_shared<QELSoundEffectListViewModel>())),
      soundEffectMakeViewController_(std::make_shared<QELSoundEffectMakeViewController>(
          std::make_shared<QELSoundEffectMakeViewModel>())),
      mySoundEffectsViewController_(std::make_shared<QELMySoundEffectsViewController>(
          std::make_shared<QELMySoundEffectsViewModel>())) {
    setTab(*soundEffectListViewController_, "general_ic_sound_normal", "general_ic_sound_selected");
    setTab(*soundEffectMakeViewController_, "general_ic_crack_normal", "general_ic_crack_selected");
    setTab(*mySoundEffectsViewController_, "general_ic_mine_normal", "general_ic_mine_selected");
    setViewControllers({createNavigationController(soundEffectListViewController_),
                        createNavigationController(soundEffectMakeViewController_),
                        createNavigationController(mySoundEffectsViewController_)});
    setSelectedIndex(0);
    // The board's gear opens the settings; so does the maker's 设置 when no
    // microphone was found (the settings choose the input).
    std::weak_ptr<QELSoundEffectListViewController> board = soundEffectListViewController_;
    soundEffectListViewController_->navigationItem().rightBarButtonItem =
        std::make_shared<BarButtonItem>(
            BarButtonItem{{}, QStringLiteral("general_ic_settings_normal"), [board] {
                              if (auto controller = board.lock())
                                  pushSettings(*controller, controller->globalHotkeys());
                          }});
    std::weak_ptr<QELSoundEffectMakeViewController> maker = soundEffectMakeViewController_;
    soundEffectMakeViewController_->setSettingsOpener([maker, board] {
        auto controller = maker.lock();
        auto boardController = board.lock();
        return controller && boardController &&
               pushSettings(*controller, boardController->globalHotkeys());
    });
    // Stop all: whatever plays, wherever it was started.
    soundEffectListViewController_->navigationItem().leftBarButtonItem =
        std::make_shared<BarButtonItem>(BarButtonItem{
            {}, QStringLiteral("general_ic_stop_normal"),
            [] { QELSoundEffectPlayer::stopCurrentPlaying(); }});
}

QELTabBarController::~QELTabBarController() {
    setDelegate(nullptr);
}

void QELTabBarController::viewDidLoad() {
    TabBarController::viewDidLoad();
    static_cast<View*>(view())->setBackgroundColor(Color::c6());
    TabBar* bar = tabBar();
    bar->setBarTintColor(Color::c5());
    bar->setTintColor(Qt::transparent);
    bar->setTranslucent(false);
    setDelegate(this);
}

void QELTabBarController::didSelectViewController(TabBarController&, ViewController&) {
    QELStatisticsSink::shared().event(kEventClickTab);
}

void QELTabBarController::setGlobalHotkeys(QELGlobalHotkeys* hotkeys) {
    soundEffectListViewController_->setGlobalHotkeys(hotkeys);
    mySoundEffectsViewController_->setGlobalHotkeys(hotkeys);
}
