#include <gtest/gtest.h>

#include "foundation/UserDefaults.h"
#include "support/TestSupport.h"

using platform::UserDefaults;
using platform::Value;

namespace {

// Executions that count their runs and report done or not done.
struct Counter {
    int runs = 0;
    std::function<bool()> done() {
        return [this] { return ++runs > 0; };
    }
    std::function<bool()> notDone() {
        return [this] { return ++runs < 0; };
    }
};

}  // namespace

TEST(UserDefaultsOnce, RunsUntilAnExecutionReportsDoneAndRemembersItAcrossRestarts) {
    testsupport::TempDir dir;
    const std::string path = dir.file("Preferences/once.plist");
    Counter c;
    {
        UserDefaults d(path);
        d.executeOnce("hint", c.notDone());
        d.executeOnce("hint", c.notDone());
        EXPECT_EQ(c.runs, 2) << "not done: runs again";
        EXPECT_TRUE(d.objectForKey("hint").isNull()) << "nothing stored for an unfinished run";
        // Only the boolean true counts as done.
        for (const Value& stored : {Value(1), Value("YES"), Value(false)}) {
            d.setObject(stored, "hint");
            d.executeOnce("hint", c.notDone());
        }
        EXPECT_EQ(c.runs, 5);
        d.executeOnce("hint", c.done());
        d.executeOnce("hint", c.done());
        EXPECT_EQ(c.runs, 6);
    }
    UserDefaults restarted(path);
    restarted.executeOnce("hint", c.done());
    EXPECT_EQ(c.runs, 6) << "done survives a restart";
    EXPECT_EQ(restarted.objectForKey("hint"), Value(true));
}

TEST(UserDefaultsOnce, ClassLevelFormUsesTheStandardStoreAndWritesAtOnce) {
    const std::string key = "UserDefaultsOnceTest.classLevel";
    UserDefaults::standard().removeObjectForKey(key);
    Counter c;
    UserDefaults::executeOnceWithKey(key, c.done());
    UserDefaults::executeOnceWithKey(key, c.done());
    EXPECT_EQ(c.runs, 1);
    UserDefaults reread(UserDefaults::standard().path());
    EXPECT_EQ(reread.objectForKey(key), Value(true));
}
