#include "ui/station/Verdict.h"

#include <cstdio>

namespace lumacrest {

std::string VerdictFace::Detail() const {
    std::string d;
    auto line = [&d](const std::string& text) {
        if (text.empty()) return;
        if (!d.empty()) d += '\n';
        d += text;
    };
    line(where);
    line(reason);
    if (serialNumber) line("SN " + std::to_string(*serialNumber));
    line(seconds);
    return d;
}

bool IsChipRun(const Outcome& outcome) {
    return outcome.kind == RunKind::Update && outcome.verdict != Verdict::Refused;
}

std::optional<VerdictFace> FaceOf(const Outcome& outcome) {
    const bool connect = outcome.kind == RunKind::Identify || outcome.kind == RunKind::Scan;
    if (outcome.kind == RunKind::None || (connect && outcome.Passed())) return std::nullopt;
    VerdictFace f;
    f.passed = outcome.Passed();
    f.word = f.passed ? "PASS" : "FAIL";
    if (!f.passed) {
        f.where = std::string("at ") + StageName(outcome.stage);
        f.reason = outcome.text;
    }
    f.serialNumber = outcome.serialNumber;
    char text[32];
    const uint64_t ms = outcome.endedMs >= outcome.startedMs ? outcome.endedMs - outcome.startedMs : 0;
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(ms) / 1000.0);
    f.seconds = text;
    return f;
}

void ShiftCounts::Count(bool pass, bool retry) {
    (pass ? passed : failed) += 1;
    if (retry) return;
    ++firstAttempts;
    if (pass) ++firstAttemptsPassed;
}

ShiftCounts& ShiftCounts::operator+=(const ShiftCounts& other) {
    passed += other.passed;
    failed += other.failed;
    firstAttempts += other.firstAttempts;
    firstAttemptsPassed += other.firstAttemptsPassed;
    return *this;
}

std::string ShiftCounts::FirstPassYield() const {
    if (firstAttempts == 0) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %%",
                  100.0 * static_cast<double>(firstAttemptsPassed) / static_cast<double>(firstAttempts));
    return text;
}

std::string ShiftCounts::Line() const {
    return "Passed " + std::to_string(passed) + "   Failed " + std::to_string(failed) +
           "   First-pass yield " + FirstPassYield();
}

}  // namespace lumacrest
