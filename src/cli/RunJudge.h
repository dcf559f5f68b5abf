// Decides from what the main window would show whether a run passed: a failure word
// appended to a log line, a failure line, or a stop/error message box fails it.
#pragma once

#include <string>

#include "platform/Prompts.h"
#include "ui/main/MainModel.h"

namespace lumacrest::cli {

class RunJudge : public MainModelObserver {
public:
    void LogAppended(const std::string& appended, bool cleared) override;
    void MessageShown(MsgIcon icon);

    bool Failed() const { return failed_; }
    const std::string& Reason() const { return reason_; }
    void Reset() {
        failed_ = false;
        reason_.clear();
    }

private:
    void Fail(const std::string& why);
    bool failed_ = false;
    std::string reason_;
};

}  // namespace lumacrest::cli
