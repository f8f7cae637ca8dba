#pragma once

#include <cstdint>

#include "foundation/IndexPath.h"

// The model of a sectioned list. Index paths are trusted: callers only ask
// for sections and rows inside the counts they were given.
template <typename Item>
class QELDataProvider {
public:
    using ItemType = Item;

    virtual ~QELDataProvider() = default;

    virtual Item objectAtIndexPath(const platform::IndexPath& indexPath) const = 0;
    virtual int64_t numberOfItemsInSection(int64_t section) const = 0;
    virtual int64_t numberOfSections() const = 0;
};
