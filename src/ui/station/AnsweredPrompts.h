// The operator's prompts with the next file dialog answered already: a file named on the
// command line is loaded the way its menu command loads it, its messages shown as usual.
#pragma once

#include <optional>
#include <string>

#include "platform/Prompts.h"

namespace lumacrest {

class AnsweredPrompts : public Prompts {
public:
    AnsweredPrompts(Prompts& operatorPrompts, std::string file)
        : p_(operatorPrompts), file_(std::move(file)) {}

    void MessageBox(const std::string& text, MsgIcon icon) override { p_.MessageBox(text, icon); }
    bool AskYesNo(const std::string& text) override { return p_.AskYesNo(text); }
    std::optional<std::string> OpenFile(const std::string& filter) override {
        if (!file_) return p_.OpenFile(filter);
        std::optional<std::string> f = std::move(file_);
        file_.reset();
        return f;
    }
    std::optional<std::string> SaveFile(const std::string& filter) override { return p_.SaveFile(filter); }
    void ShowAbout() override { p_.ShowAbout(); }
    std::optional<uint32_t> AskLoadAddress() override { return p_.AskLoadAddress(); }
    bool EditBuffer(BufferEditSession& session) override { return p_.EditBuffer(session); }
    bool EditSerialNumber(SnSetSession& session) override { return p_.EditSerialNumber(session); }

private:
    Prompts& p_;
    std::optional<std::string> file_;
};

}  // namespace lumacrest
