// The prompts of a station tile: no window of its own. Messages are kept for the tile to show,
// questions are answered No, and the file and load-address dialogs take the answers the
// station queued (the operator chose them once for every tile).
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "platform/Prompts.h"

namespace lumacrest {

class TilePrompts : public Prompts {
public:
    void MessageBox(const std::string& text, MsgIcon icon) override {
        (void)icon;
        lastMessage = text;
        if (onMessage) onMessage(text);
    }
    bool AskYesNo(const std::string& text) override {
        (void)text;
        return false;
    }
    std::optional<std::string> OpenFile(const std::string& filter) override { return Next(filter); }
    std::optional<std::string> SaveFile(const std::string& filter) override { return Next(filter); }
    void ShowAbout() override {}
    std::optional<uint32_t> AskLoadAddress() override {
        if (addresses_.empty()) return std::nullopt;
        std::optional<uint32_t> a = addresses_.front();
        addresses_.pop_front();
        return a;
    }
    bool EditBuffer(BufferEditSession& session) override {
        (void)session;
        return false;
    }
    bool EditSerialNumber(SnSetSession& session) override {
        (void)session;
        return false;
    }

    void QueueFile(std::string path) { files_.push_back(std::move(path)); }
    void QueueLoadAddress(std::optional<uint32_t> address) { addresses_.push_back(address); }
    void Clear() {
        files_.clear();
        addresses_.clear();
    }

    std::string lastMessage;
    std::function<void(const std::string&)> onMessage;

private:
    std::optional<std::string> Next(const std::string& filter) {
        (void)filter;
        if (files_.empty()) return std::nullopt;
        std::string f = std::move(files_.front());
        files_.pop_front();
        return f;
    }
    std::deque<std::string> files_;
    std::deque<std::optional<uint32_t>> addresses_;
};

}  // namespace lumacrest
