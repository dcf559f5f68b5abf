#include "cli/RunJudge.h"

namespace lumacrest::cli {

namespace {
// Results appended to the current line that mean the run failed.
constexpr const char* kFailureResults[] = {"Failed", "Failed.", "Fail", "Error", "Timer Over "};
// Whole lines that mean the run failed.
constexpr const char* kFailureLines[] = {"Can Not Find Programmer  ", "ADP Error.",
                                         "KeyCode Verify......Failed",
                                         "KeyCode is enable, Can not be rewrited"};
}  // namespace

void RunJudge::Fail(const std::string& why) {
    if (!failed_) reason_ = why;
    failed_ = true;
}

void RunJudge::LogAppended(const std::string& appended, bool /*cleared*/) {
    if (!appended.empty() && appended[0] == '\n') {
        const std::string line = appended.substr(1);
        for (const char* failure : kFailureLines)
            if (line == failure) Fail(line);
        return;
    }
    for (const char* failure : kFailureResults)
        if (appended == failure) Fail(appended);
}

void RunJudge::MessageShown(MsgIcon icon) {
    if (icon == MsgIcon::Error) Fail("error message");
}

}  // namespace lumacrest::cli
