// The command line shows no dialogs: its answers come as values on the command line. A
// question a run asks is answered No, and any dialog is cancelled.
#pragma once

#include "platform/Prompts.h"

namespace lumacrest::cli {

class NoDialogs : public Prompts {
public:
    void MessageBox(const std::string&, MsgIcon) override {}
    bool AskYesNo(const std::string&) override { return false; }
    std::optional<std::string> OpenFile(const std::string&) override { return std::nullopt; }
    std::optional<std::string> SaveFile(const std::string&) override { return std::nullopt; }
    void ShowAbout() override {}
    std::optional<uint32_t> AskLoadAddress() override { return std::nullopt; }
    bool EditBuffer(BufferEditSession&) override { return false; }
    bool EditSerialNumber(SnSetSession&) override { return false; }
};

}  // namespace lumacrest::cli
