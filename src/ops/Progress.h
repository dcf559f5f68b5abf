// Progress of a block transfer as the bar shows it.
#pragma once

#include <algorithm>
#include <cstdint>

namespace lumacrest {

// i x 100 / n as a whole percentage, at most 100; 0 when there is nothing to count.
inline int Percent(uint64_t i, uint64_t n) {
    if (n == 0) return 0;
    return static_cast<int>(std::min<uint64_t>(i * 100 / n, 100));
}

}  // namespace lumacrest
