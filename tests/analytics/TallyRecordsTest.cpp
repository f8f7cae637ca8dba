#include <gtest/gtest.h>

#include "analytics/collect/TLANBaseEvent.h"
#include "analytics/collect/TLAggregatedValue.h"
#include "analytics/support/TallyLog.h"
#include "foundation/KeyedArchive.h"
#include "foundation/PropertyList.h"

using platform::KeyedArchiver;
using platform::KeyedUnarchiver;
using platform::Value;

namespace {

Value roundTrip(const Value& root) {
    auto bytes = KeyedArchiver::archivedDataWithRootObject(root);
    EXPECT_TRUE(bytes);
    auto back = KeyedUnarchiver::unarchiveObjectWithData(*bytes, TLANBaseEvent::archiveClasses());
    EXPECT_TRUE(back);
    return back ? *back : Value();
}

// The field names of the first archived object of `className`.
std::vector<std::string> archivedKeys(const Value& root, const std::string& className) {
    auto bytes = KeyedArchiver::archivedDataWithRootObject(root);
    auto plist = platform::PropertyList::parse(*bytes);
    const auto& objects = *plist->find("$objects")->asArray();
    for (const Value& o : objects) {
        const Value* cls = o.find("$class");
        if (!cls) continue;
        const Value& meta = objects.at(cls->asUid()->value);
        if (*meta.find("$classname")->asString() != className) continue;
        std::vector<std::string> keys;
        for (const auto& [k, v] : *o.asDictionary()) {
            if (k != "$class") keys.push_back(k);
        }
        return keys;
    }
    return {};
}

}  // namespace

TEST(TallyRecords, EveryFieldIsArchivedUnderSelfDotItsName) {
    auto e = std::make_shared<TLANEvent>();
    EXPECT_EQ(archivedKeys(Value(e), "TLANEvent"),
              (std::vector<std::string>{"self.acc", "self.date", "self.du", "self.event_id",
                                        "self.label", "self.sendingFlag", "self.session_id",
                                        "self.time", "self.ts", "self.type", "self.values"}));
    auto t = std::make_shared<TLANTerminate>();
    auto keys = archivedKeys(Value(t), "TLANTerminate");
    for (const char* k : {"self.duration", "self.pageViews", "self.latitude", "self.longitude",
                          "self.gps_time", "self.session_id"}) {
        EXPECT_NE(std::find(keys.begin(), keys.end(), k), keys.end()) << k;
    }
}

TEST(TallyRecords, RecordsSurviveTheKeyedArchive) {
    auto e = std::make_shared<TLANEvent>();
    e->event_id = "playSound";
    e->label = "声";
    e->acc = 3;
    e->du = 1500;
    e->ts = 1'700'000'000.25;
    e->stamp("SID");
    auto k = std::make_shared<TLANEkv>();
    k->type = "gkv";
    k->id = "level";
    k->values = {{"a", Value("b")}, {"n", Value(2)}};
    auto err = std::make_shared<TLANError>();
    err->context = "boom";
    auto t = std::make_shared<TLANTerminate>();
    t->duration = 60;
    t->pageViews = {Value(Value::Array{Value("board"), Value(5)})};
    t->latitude = 1.5;
    t->longitude = -2.5;
    t->gps_time = 7;

    Value back = roundTrip(Value(Value::Array{Value(e), Value(k), Value(err), Value(t)}));
    const auto& list = *back.asArray();
    ASSERT_EQ(list.size(), 4u);
    auto e2 = list[0].asObject<TLANEvent>();
    ASSERT_TRUE(e2);
    EXPECT_EQ(e2->event_id, "playSound");
    EXPECT_EQ(e2->label, "声");
    EXPECT_EQ(e2->acc, 3);
    EXPECT_EQ(e2->du, 1500);
    EXPECT_EQ(e2->ts, e->ts);
    EXPECT_EQ(e2->session_id, "SID");
    EXPECT_EQ(e2->date, e->date);
    auto k2 = list[1].asObject<TLANEkv>();
    ASSERT_TRUE(k2);
    EXPECT_EQ(k2->type, "gkv");
    EXPECT_EQ(k2->values, k->values);
    EXPECT_EQ(list[2].asObject<TLANError>()->context, "boom");
    auto t2 = list[3].asObject<TLANTerminate>();
    ASSERT_TRUE(t2);
    EXPECT_EQ(t2->pageViews, t->pageViews);
    EXPECT_TRUE(t2->hasLocation());
}

TEST(TallyRecords, PayloadAttributesCutLongLabelsWithAWarning) {
    std::vector<std::string> lines;
    setTallyLogSink([&](const std::string& l) { lines.push_back(l); });
    TLANEvent e;
    e.event_id = "tap";
    e.ts = 12.5;
    e.label = std::string(300, 'x');
    auto a = e.attributes();
    EXPECT_EQ(a.at("id"), Value("tap"));
    EXPECT_EQ(a.at("ts"), Value(12500));
    EXPECT_FALSE(a.count("du"));
    EXPECT_EQ(a.at("tap"), Value(std::string(256, 'x')));
    // An event named like a field keeps the field.
    e.event_id = "id";
    e.label = "short";
    EXPECT_EQ(e.attributes().at("id"), Value("id"));
    setTallyLogSink({});
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0],
              "(Warning) Tally event label (" + std::string(300, 'x') + ") max bytes length > 256");
}

TEST(TallyRecords, AggregationCellsKeepTheEightNewestLabels) {
    TLAggregatedValue cell;
    for (int i = 0; i < 9; ++i) cell.addLabel(std::to_string(i));
    cell.addLabel("");
    cell.addLabel("3");
    EXPECT_EQ(cell.labels, (std::vector<std::string>{"1", "2", "4", "5", "6", "7", "8", "3"}));
}
