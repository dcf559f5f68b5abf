// A range of target addresses, as the accounts of image loads keep them.
#pragma once

#include <cstdint>

namespace lumacrest {

// Target addresses `first` to `last`, both included.
struct AddressRange {
    uint64_t first = 0;
    uint64_t last = 0;
    uint64_t size() const { return last - first + 1; }
    bool operator==(const AddressRange&) const = default;
};

}  // namespace lumacrest
