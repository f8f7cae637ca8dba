#include <gtest/gtest.h>

#include "core/remote/QELHotkeys.h"
#include "support/TestSupport.h"

using Action = QELHotkey::Action;

TEST(Hotkeys, CombinationsParseToOneSpellingAndBareOrUnknownKeysAreRefused) {
    for (auto [in, out] : {std::pair{"ctrl+alt+1", "ctrl+alt+1"}, {"Shift+Ctrl+F12", "ctrl+shift+f12"},
                           {"super+shift+Q", "shift+super+q"}, {"control+meta+z", "ctrl+super+z"}}) {
        auto combo = QELKeyCombo::parse(in);
        ASSERT_TRUE(combo) << in;
        EXPECT_EQ(combo->text(), out);
    }
    for (auto bad : {"", "1", "ctrl+", "ctrl+ctrl+1", "hyper+1", "ctrl+f13", "ctrl+f0",
                     "ctrl+enter", "ctrl+alt+12", "+1", "ctrl+alt+f5"})
        EXPECT_FALSE(QELKeyCombo::parse(bad)) << bad;
}

TEST(Hotkeys, StopAllHasTheOnlyDefaultAndChangesPersist) {
    testsupport::TempDir dir;
    const std::string file = dir.file("defaults.plist");
    {
        platform::UserDefaults defaults(file);
        QELHotkeys hotkeys(defaults);
        auto initial = hotkeys.all();
        ASSERT_EQ(initial.size(), 1u);
        EXPECT_EQ(initial[0].action, Action::StopAll);

        hotkeys.set({*QELKeyCombo::parse("ctrl+alt+1"), Action::Play, "欢呼", "掌声"});
        hotkeys.set({*QELKeyCombo::parse("ctrl+alt+2"), Action::PlayFavorite, "", "我的"});
        // A combination names one thing: the newer assignment wins.
        hotkeys.set({*QELKeyCombo::parse("alt+ctrl+1"), Action::Play, "搞笑", "笑声"});
        EXPECT_TRUE(hotkeys.clear(*QELKeyCombo::parse(QELHotkeys::kDefaultStopAll)));
        EXPECT_FALSE(hotkeys.clear(*QELKeyCombo::parse("ctrl+alt+9")));
    }
    platform::UserDefaults reread(file);
    std::vector<std::string> seen;
    for (const auto& h : QELHotkeys(reread).all()) seen.push_back(h.combo.text() + " " + h.describe());
    EXPECT_EQ(seen, (std::vector<std::string>{"ctrl+alt+2 favorite:我的", "ctrl+alt+1 搞笑/笑声"}));
}
