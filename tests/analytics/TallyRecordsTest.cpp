#include <gtest/gtest.h>

#include <tuple>

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
    auto k2 = list[1].asObject<TLANEkv>();
    auto err2 = list[2].asObject<TLANError>();
    auto t2 = list[3].asObject<TLANTerminate>();
    ASSERT_TRUE(e2 && k2 && err2 && t2);
    EXPECT_EQ(std::tie(e2->event_id, e2->label, e2->acc, e2->du, e2->ts, e2->session_id, e2->date),
              std::tie(e->event_id, e->label, e->acc, e->du, e->ts, e->session_id, e->date));
    EXPECT_EQ(std::tie(k2->type, k2->values), std::tie(k->type, k->values));
    EXPECT_EQ(err2->context, "boom");
    EXPECT_EQ(std::tie(t2->duration, t2->pageViews, t2->latitude, t2->longitude, t2->gps_time),
              std::tie(t->duration, t->pageViews, t->latitude, t->longitude, t->gps_time));
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
