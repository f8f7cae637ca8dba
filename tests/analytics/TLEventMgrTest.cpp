#include "TallyDataHarness.h"

using nlohmann::json;

class TLEventMgrTest : public TallyDataHarness {
protected:
    TLEventMgr& mgr() { return data->eventMgr(); }
    int64_t nowMs() { return static_cast<int64_t>(runtime.now() * 1000); }
};

TEST_F(TLEventMgrTest, PathKeysSkipEmptyItems) {
    EXPECT_EQ(TLEventMgr::keyForPath({"a", "", "b", "c"}), "a!b!c");
}

TEST_F(TLEventMgrTest, QuotaShortensThePathThenOverflows) {
    mgr().aggregate({"root"}, 1, nowMs(), "");
    for (int i = 1; i < 512; ++i) mgr().aggregate({"k" + std::to_string(i)}, 1, nowMs(), "");
    ASSERT_EQ(mgr().cells().size(), 512u);
    mgr().aggregate({"root", "child"}, 5, nowMs(), "l");
    EXPECT_TRUE(logged("root!child ag event max quota."));
    EXPECT_EQ(mgr().cells().at("root").valueSum, 6);
    EXPECT_EQ(mgr().cells().size(), 512u);
    mgr().aggregate({"new", "x"}, 1, nowMs(), "");
    EXPECT_TRUE(logged("WARNING new!x ag event overflow."));
    EXPECT_EQ(runtime.config().integerWithKey("agOverflowCount"), 1);
    EXPECT_EQ(runtime.config().integerWithKey("agOverflowFirstTS"), nowMs());
    const json cc = mgr().cc();
    EXPECT_EQ(cc["ve_meta"]["__ag_of"][0]["value"], 1);
    EXPECT_FALSE(runtime.config().integerWithKey("agOverflowCount"));
}

TEST_F(TLEventMgrTest, TimersSaveTheWindowAndCloseItAtTheBoundary) {
    startOffline();
    // Text that would break statements built by pasting values.
    const std::string key = "it's";
    const std::string label = "say \"hi\"; DROP TABLE agTable; --'";
    mgr().aggregate({key, "b"}, 2, nowMs(), label);
    mgr().aggregate({key, "b"}, 3, nowMs(), "second");
    clock.advanceSeconds(60);
    loop.runUntilIdle();
    EXPECT_EQ(mgr().db().count(TLCachedDB::kAgCachedTable), 1);
    // 1,700,000,000 s is 80 s into its window: the boundary comes at 280 s.
    clock.advanceSeconds(219);
    loop.runUntilIdle();
    EXPECT_EQ(mgr().db().count(TLCachedDB::kAgTable), 0);
    clock.advanceSeconds(1);
    loop.runUntilIdle();
    EXPECT_EQ(mgr().db().count(TLCachedDB::kAgTable), 1);
    EXPECT_EQ(mgr().db().count(TLCachedDB::kAgCachedTable), 0);
    EXPECT_TRUE(mgr().cells().empty());
    EXPECT_FALSE(runtime.config().integerWithKey("agCachedTW"));

    const json cc = mgr().cc();
    const json& cell = cc["ag"][key + "!b"][0];
    EXPECT_EQ(cell["v_sum"], 5);
    EXPECT_EQ(cell["count"], 2);
    EXPECT_EQ(cell["tw_num"], 4'722'222);  // 1,700,000,000 s in six-minute windows
    EXPECT_EQ(cell["labels"], json({label, "second"}));
    mgr().clearSent();
    EXPECT_TRUE(mgr().cc().is_null());
}

TEST_F(TLEventMgrTest, SavedCellsComeBackInTheSameWindow) {
    mgr().aggregate({"a"}, 4, nowMs(), "x");
    mgr().saveCache();
    mgr().start();  // a new session in the same process counts nothing twice
    EXPECT_EQ(mgr().cells().at("a").valueSum, 4);
    {
        TLEventMgr other(runtime);
        other.start();
        ASSERT_EQ(other.cells().size(), 1u);
        EXPECT_EQ(other.cells().at("a").valueSum, 4);
        EXPECT_EQ(other.cells().at("a").labels, std::vector<std::string>{"x"});
        other.saveCache();
    }
    // A later window: the saved cells are a finished window now.
    clock.advanceSeconds(400);
    TLEventMgr later(runtime);
    later.start();
    EXPECT_TRUE(later.cells().empty());
    EXPECT_EQ(later.db().count(TLCachedDB::kAgTable), 1);
}

TEST_F(TLEventMgrTest, MetaItemsInTheSameMillisecondAreAllKept) {
    mgr().recordMeta("__evp_file_of", 1, "a");
    mgr().recordMeta("__evp_file_of", 2, "");
    const json cc = mgr().cc();
    ASSERT_EQ(cc["ve_meta"]["__evp_file_of"].size(), 2u);
    EXPECT_EQ(cc["ve_meta"]["__evp_file_of"][0]["label"], "a");
    EXPECT_FALSE(cc["ve_meta"]["__evp_file_of"][1].contains("label"));
}
