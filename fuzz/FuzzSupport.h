#pragma once

#include <cmath>
#include <functional>

#include "foundation/Value.h"

namespace fuzzsupport {

using platform::Value;

struct Equality {
    // XML keeps whole seconds of a date.
    bool wholeSecondDates = false;
    // How two objects compare; identity when empty.
    std::function<bool(const platform::ObjectRef&, const platform::ObjectRef&)> sameObject;
};

// Deep equality in which NaN equals NaN: a round trip must keep every value.
inline bool same(const Value& a, const Value& b, const Equality& eq) {
    if (a.type() != b.type()) return false;
    switch (a.type()) {
        case Value::Type::Real: {
            const double x = *a.asReal(), y = *b.asReal();
            return x == y || (std::isnan(x) && std::isnan(y));
        }
        case Value::Type::Date: {
            double x = a.asDate()->secondsSinceReferenceDate;
            const double y = b.asDate()->secondsSinceReferenceDate;
            if (eq.wholeSecondDates) x = std::floor(x);
            return x == y || (std::isnan(x) && std::isnan(y));
        }
        case Value::Type::Array: {
            const auto &x = *a.asArray(), &y = *b.asArray();
            if (x.size() != y.size()) return false;
            for (size_t i = 0; i < x.size(); ++i) {
                if (!same(x[i], y[i], eq)) return false;
            }
            return true;
        }
        case Value::Type::Dictionary: {
            const auto &x = *a.asDictionary(), &y = *b.asDictionary();
            if (x.size() != y.size()) return false;
            for (auto i = x.begin(), j = y.begin(); i != x.end(); ++i, ++j) {
                if (i->first != j->first || !same(i->second, j->second, eq)) return false;
            }
            return true;
        }
        case Value::Type::Object:
            return eq.sameObject ? eq.sameObject(*a.asObjectRef(), *b.asObjectRef()) : a == b;
        default:
            return a == b;
    }
}

}  // namespace fuzzsupport
