// What the operator is shown of a run that has ended: a large word (PASS or FAIL), where it
// failed and why, the serial number the chip got and the seconds it took; and the shift's
// counts of chips. The station's tiles and the classic window show the same.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ops/Run.h"

namespace lumacrest {

struct VerdictFace {
    bool passed = false;
    std::string word;    // "PASS" or "FAIL"
    std::string where;   // "at flash verify"; empty on a pass
    std::string reason;  // the run's own words; empty on a pass
    std::optional<uint32_t> serialNumber;
    std::string seconds;  // "12.3 s"

    // The detail under the word, one item a line: where and why, "SN 1234", the seconds.
    std::string Detail() const;
    bool operator==(const VerdictFace&) const = default;
};

// The face of an ended run. A pass of a connect is no verdict on a chip: nothing then.
std::optional<VerdictFace> FaceOf(const Outcome& outcome);

// A run that programmed (or failed to program) a chip: the Update sequence, unless it was
// refused before anything reached the programmer (no image loaded, no stage chosen).
bool IsChipRun(const Outcome& outcome);

// Passed and failed chips since the counts were last reset. A run after a failed one on the
// same programmer is taken as a retry of the same chip: the first-pass yield is the share of
// first attempts that passed.
struct ShiftCounts {
    uint64_t passed = 0;
    uint64_t failed = 0;
    uint64_t firstAttempts = 0;
    uint64_t firstAttemptsPassed = 0;

    // Counts a chip run; `retry` when the run before it on this programmer failed.
    void Count(bool pass, bool retry);
    ShiftCounts& operator+=(const ShiftCounts& other);
    uint64_t Runs() const { return passed + failed; }
    // "97.5 %", or "-" before the first chip.
    std::string FirstPassYield() const;
    // "Passed 12   Failed 1   First-pass yield 92.3 %"
    std::string Line() const;
    bool operator==(const ShiftCounts&) const = default;
};

}  // namespace lumacrest
