#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/collection/CollectionTestSupport.h"
#include "core/collection/QELMySoundEffectsViewModel.h"
#include "foundation/NotificationCenter.h"

using namespace collectiontest;
using platform::IndexPath;
using platform::Value;
using Storage = QELMySoundEffectStorage;
using Type = QELMySoundEffectsChangeType;

namespace {

// A view model over a storage of its own, with every callback logging what
// it was told and what the list and the file held at that moment.
class CollectionViewModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (auto name : {"A", "B", "C"}) storage.addSoundEffect(user(name));
        storage.flush();
        vm.setWillChangeContent([this](QELMySoundEffectsViewModel& m) {
            EXPECT_EQ(&m, &vm);
            log.push_back("will");
        });
        vm.setContentDidChanged([this](QELMySoundEffectsViewModel&, const IndexPath& ip, Type t) {
            log.push_back("changed " + ip.description() + " " + rawValue(t));
            itemsSeen = vm.dataProvider()->numberOfItemsInSection(0);
            fileSeen = namesInFile(storage.filePath());
        });
        vm.setDidChangeContent([this](QELMySoundEffectsViewModel&) { log.push_back("did"); });
    }

    std::vector<std::string> changed(const std::string& what) { return {"will", what, "did"}; }

    void post(const char* name, Value userInfo) {
        platform::NotificationCenter::defaultCenter().post(name, &storage, std::move(userInfo));
    }

    CollectionDir dir;
    platform::ManualClock clock;
    Storage storage{dir.path, clock};
    QELMySoundEffectsViewModel vm{storage};
    std::vector<std::string> log;
    int64_t itemsSeen = -1;
    std::vector<std::string> fileSeen;
};

}  // namespace

TEST_F(CollectionViewModelTest, TheListFollowsTheStorageAndFindsEntriesByIdentity) {
    auto provider = vm.dataProvider();
    EXPECT_EQ(provider->numberOfItemsInSection(0), 3);
    EXPECT_EQ(provider->objectAtIndexPath({0, 1}), storage.soundEffects()[1]);
    EXPECT_EQ(vm.objectAtIndexPath({0, 2}), storage.soundEffects()[2]);
    EXPECT_EQ(provider->indexPathOfObject(storage.soundEffects()[2]), (IndexPath{0, 2}));
    auto twin = QELCollectionSoundEffect::initWithSoundEffect(*storage.soundEffects()[2], clock);
    EXPECT_FALSE(provider->indexPathOfObject(twin)) << "equal in every field, yet not the entry";

    storage.setSoundEffects({});
    EXPECT_EQ(provider->numberOfItemsInSection(0), 0) << "no copy is kept";
}

TEST_F(CollectionViewModelTest, EachChangeReportsItsItemInsideTheDidChangeBeforeTheFileIsWritten) {
    auto clap = builtIn();
    vm.addSoundEffect(clap);
    storage.flush();
    EXPECT_EQ(log, changed("changed (0, 3) Add"));
    EXPECT_EQ(itemsSeen, 4);
    EXPECT_EQ(fileSeen, (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_TRUE(*vm.objectAtIndexPath({0, 3}) == *clap);
    EXPECT_EQ(vm.currentChangingIndexPath(), (IndexPath{0, 3}));

    log.clear();
    vm.removeSoundEffect(storage.soundEffects()[0]);
    storage.flush();
    EXPECT_EQ(log, changed("changed (0, 0) Delete"));
    EXPECT_EQ(itemsSeen, 3);
    EXPECT_EQ(fileSeen, (std::vector<std::string>{"A", "B", "C", "掌声"}));

    log.clear();
    vm.replaceSoundEffect(storage.soundEffects()[1], user("X"));
    EXPECT_EQ(log, changed("changed (0, 1) Replace"));
    EXPECT_EQ(vm.objectAtIndexPath({0, 1})->name(), "X");
    storage.flush();
    EXPECT_EQ(namesInFile(dir.path), (std::vector<std::string>{"B", "X", "掌声"}));
}

TEST_F(CollectionViewModelTest, ADestroyedModelHearsNothing) {
    int calls = 0;
    {
        QELMySoundEffectsViewModel gone(storage);
        gone.setContentDidChanged([&](auto&, auto&, auto) { ++calls; });
        gone.addSoundEffect(user("D"));
        EXPECT_EQ(calls, 1);
    }
    storage.addSoundEffect(user("E"));
    EXPECT_EQ(calls, 1) << "its registrations went with it";
}

using CollectionViewModelDeathTest = CollectionViewModelTest;

TEST_F(CollectionViewModelDeathTest, AnUnknownChangeTypeIsAProgrammingError) {
    EXPECT_DEATH(post(Storage::MySoundEffectAmountWillChangeNotification,
                      Value::Dictionary{{"type", "add"}}),
                 "unknown collection change type \"add\"");
}
