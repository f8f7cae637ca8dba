#pragma once

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "core/collection/QELMySoundEffectsViewModel.h"
#include "core/playback/QELSoundEffectListViewModel.h"
#include "ui/UiTest.h"
#include "ui/mine/QELMySoundEffectsViewController.h"
#include "ui/platform/NavigationController.h"
#include "ui/platform/Palette.h"
#include "ui/utils/QELNavigationController.h"

namespace minetest {

// The collection screen in its tab's navigation, over a collection file of
// its own in a fresh Library.
class MineTest : public uitest::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        ASSERT_TRUE(home.isValid());
        const QString dir = home.path() + "/Library/UserCollections";
        QDir().mkpath(dir + "/Custom");
        collectionPath = (dir + "/Customcollection.info").toStdString();
        storage = std::make_unique<QELMySoundEffectStorage>(collectionPath, uitest::clock());
        model = std::make_shared<QELMySoundEffectsViewModel>(*storage);
        catalogue = std::make_shared<QELSoundEffectListViewModel>()->dataProvider();
        window = std::make_unique<platform::Window>();
        window->setBackgroundColor(platform::Color::c6());
        window->resize(320, 568);
        screen = std::make_shared<QELMySoundEffectsViewController>(model);
        window->setRootViewController(createNavigationController(screen));
        window->show();
        uitest::drain();
    }
    void TearDown() override {
        model->stop();
        window.reset();
        screen.reset();
        model.reset();
        storage.reset();
        UiTest::TearDown();
    }

    platform::CollectionView* grid() { return screen->collectionView(); }
    QELSoundEffect::Ref builtIn(int64_t row, int64_t section = 0) {
        return catalogue->objectAtIndexPath({section, row});
    }
    QELMySoundEffectCollectionViewCell* cell(int64_t row) {
        return dynamic_cast<QELMySoundEffectCollectionViewCell*>(
            grid()->cellForItemAtIndexPath({0, row}));
    }
    static void tapItem(platform::CollectionView* grid, const platform::IndexPath& ip) {
        QTest::mouseClick(grid->contentWidget(), Qt::LeftButton, {},
                          grid->layoutFrameForItem(ip).center().toPoint());
        uitest::drain();
    }
    static void tap(QWidget* widget) {
        QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
        uitest::drain();
    }
    // Holds the press on `row` for `seconds` of the run loop's clock.
    void press(int64_t row, double seconds) {
        QTest::mousePress(grid()->contentWidget(), Qt::LeftButton, {},
                          grid()->layoutFrameForItem({0, row}).center().toPoint());
        uitest::advance(seconds);
    }
    void release(int64_t row) {
        QTest::mouseRelease(grid()->contentWidget(), Qt::LeftButton, {},
                            grid()->layoutFrameForItem({0, row}).center().toPoint());
        uitest::drain();
    }
    std::vector<std::string> events() const { return sink->events(); }
    std::vector<std::string> names() const {
        std::vector<std::string> n;
        for (const auto& entry : storage->soundEffects()) n.push_back(entry->name());
        return n;
    }

    QTemporaryDir home;
    std::string collectionPath;
    std::unique_ptr<QELMySoundEffectStorage> storage;
    std::shared_ptr<QELMySoundEffectsViewModel> model;
    std::shared_ptr<QELSoundEffectListDataProvider> catalogue;
    std::unique_ptr<platform::Window> window;
    std::shared_ptr<QELMySoundEffectsViewController> screen;
};

}  // namespace minetest
