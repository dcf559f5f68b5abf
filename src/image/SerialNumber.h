// The serial number written into the image before each Update with Program SN.
#pragma once

#include <cstdint>
#include <set>

namespace lumacrest {

// The numbers of several programmers working at once: the counter only moves forward; a number
// a failed chip gives back waits for the next chip and is used only then, so no number is ever
// on two chips.
class SerialNumberPool {
public:
    explicit SerialNumberPool(uint32_t next) : next_(next) {}
    // The number for the next chip.
    uint32_t Take() {
        if (!free_.empty()) {
            const uint32_t n = *free_.begin();
            free_.erase(free_.begin());
            return n;
        }
        return next_++;
    }
    void GiveBack(uint32_t n) { free_.insert(n); }
    // The next number never used.
    uint32_t Next() const { return next_; }

private:
    uint32_t next_;
    std::set<uint32_t> free_;
};

struct SerialNumber {
    uint32_t SnValue = 0;
    uint32_t SnAddress = 0;
    uint32_t SnWidth = 1;
    uint8_t SnLittleEndian = 1;
    uint32_t SnInBoot = 0;
    uint8_t SnAdvance = 1;
    // Set while several programmers share the numbers; SnValue is then the last one taken.
    SerialNumberPool* pool = nullptr;
};

}  // namespace lumacrest
