#include "analytics/collect/TLAggregatedValue.h"

#include <algorithm>

using platform::Value;

void TLAggregatedValue::addLabel(const std::string& label) {
    if (label.empty()) return;
    labels.erase(std::remove(labels.begin(), labels.end(), label), labels.end());
    labels.push_back(label);
    if (labels.size() > kMaxLabels) labels.erase(labels.begin());
}

std::vector<std::string> TLAggregatedValue::archiveClassHierarchy() const {
    return {"TLAggregatedValue", "NSObject"};
}

void TLAggregatedValue::encodeWithCoder(platform::KeyedArchiver& coder) const {
    coder.encodeInt64(valueSum, "self.valueSum");
    coder.encodeInt64(tsSum, "self.tsSum");
    coder.encodeInt64(count, "self.count");
    coder.encodeInt64(twNum, "self.twNum");
    Value::Array list(labels.begin(), labels.end());
    coder.encodeObject(Value(std::move(list)), "self.labels");
}

std::shared_ptr<TLAggregatedValue> TLAggregatedValue::initWithCoder(platform::KeyedUnarchiver& c) {
    auto cell = std::make_shared<TLAggregatedValue>();
    auto valueSum = c.decodeInt64ForKey("self.valueSum");
    auto tsSum = c.decodeInt64ForKey("self.tsSum");
    auto count = c.decodeInt64ForKey("self.count");
    auto twNum = c.decodeInt64ForKey("self.twNum");
    if (!valueSum || !tsSum || !count || !twNum) return nullptr;
    cell->valueSum = *valueSum;
    cell->tsSum = *tsSum;
    cell->count = static_cast<int32_t>(*count);
    cell->twNum = static_cast<int32_t>(*twNum);
    Value labels = c.decodeObjectForKey("self.labels");
    if (auto* list = labels.asArray()) {
        for (const Value& l : *list) {
            if (auto* s = l.asString()) cell->addLabel(*s);
        }
    }
    return cell;
}
