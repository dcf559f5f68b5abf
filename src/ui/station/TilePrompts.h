// The prompts of a station tile: no window of its own. A question asked during a run is
// answered No (the station's operator is not there to answer every tile); nothing else is
// asked, since the station gives its hosts files and values, not dialogs.
#pragma once

#include <optional>
#include <string>

#include "platform/Prompts.h"

namespace lumacrest {

class TilePrompts : public Prompts {
public:
    void MessageBox(const std::string& text, MsgIcon icon) override {
        (void)text;
        (void)icon;
    }
    bool AskYesNo(const std::string& text) override {
        (void)text;
        return false;
    }
    std::optional<std::string> OpenFile(const std::string& filter) override {
        (void)filter;
        return std::nullopt;
    }
    std::optional<std::string> SaveFile(const std::string& filter) override {
        (void)filter;
        return std::nullopt;
    }
    void ShowAbout() override {}
    std::optional<uint32_t> AskLoadAddress() override { return std::nullopt; }
    bool EditBuffer(BufferEditSession& session) override {
        (void)session;
        return false;
    }
    bool EditSerialNumber(SnSetSession& session) override {
        (void)session;
        return false;
    }
};

}  // namespace lumacrest
