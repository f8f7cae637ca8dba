#include <gtest/gtest.h>

#include "foundation/Text.h"
#include "foundation/Value.h"

using platform::Value;

namespace {
struct Thing : platform::Object {
    int n = 0;
};
}  // namespace

TEST(Value, TypedAccessNeverConvertsAcrossKinds) {
    EXPECT_EQ(Value(3).asReal(), 3.0);
    EXPECT_EQ(Value(3.0).asInteger(), 3);
    EXPECT_FALSE(Value(3.5).asInteger());
    EXPECT_FALSE(Value(1e300).asInteger());
    EXPECT_FALSE(Value(true).asInteger()) << "a bool is not a number";
    EXPECT_FALSE(Value("3").asInteger());
    EXPECT_EQ(Value("x").asArray(), nullptr);
    EXPECT_EQ(Value(Value::Array{}).find("k"), nullptr);

    auto thing = std::make_shared<Thing>();
    Value v(thing);
    EXPECT_EQ(v.asObject<Thing>(), thing);
    EXPECT_EQ(v, Value(thing));
    EXPECT_NE(v, Value(std::make_shared<Thing>())) << "objects compare by identity";
    EXPECT_EQ(Value(Value::Dictionary{{"a", 1}}).description(), "{\"a\": 1}");
}

TEST(Text, CanonicalEquivalence) {
    EXPECT_TRUE(platform::canonicallyEqual("caf\xC3\xA9", "cafe\xCC\x81"));  // é vs e + combining acute
    EXPECT_TRUE(platform::canonicallyEqual("掌声", "掌声"));
    EXPECT_FALSE(platform::canonicallyEqual("UserCustom", "usercustom"));
    EXPECT_FALSE(platform::canonicallyEqual("\xFF", "\xFE")) << "invalid UTF-8 is only equal to itself";
    EXPECT_TRUE(platform::canonicallyEqual("\xFF", "\xFF"));
}
