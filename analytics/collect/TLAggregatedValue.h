#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/KeyedArchive.h"

// One key-path counter cell of a time window.
class TLAggregatedValue final : public platform::Coding {
public:
    static constexpr size_t kMaxLabels = 8;

    int64_t valueSum = 0;
    int64_t tsSum = 0;
    int32_t count = 0;
    int32_t twNum = 0;
    std::vector<std::string> labels;  // oldest first

    // An empty label is ignored; a known one moves to the end; a new one is
    // appended, dropping the oldest beyond kMaxLabels.
    void addLabel(const std::string& label);

    std::vector<std::string> archiveClassHierarchy() const override;
    void encodeWithCoder(platform::KeyedArchiver& coder) const override;
    static std::shared_ptr<TLAggregatedValue> initWithCoder(platform::KeyedUnarchiver& coder);
};
