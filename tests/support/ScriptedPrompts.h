// Prompts answered without a window: file dialogs take queued answers, message boxes are
// recorded (and optionally passed on). Used by the tests, the benchmarks and the fuzz harnesses.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Prompts.h"

namespace lumacrest {

class ScriptedPrompts : public Prompts {
  public:
    struct Message {
        std::string text;
        MsgIcon icon;
    };

    void MessageBox(const std::string& text, MsgIcon icon) override;
    bool AskYesNo(const std::string& text) override;
    std::optional<std::string> OpenFile(const std::string& filter) override;
    std::optional<std::string> SaveFile(const std::string& filter) override;
    void ShowAbout() override { ++aboutShown; }
    std::optional<uint32_t> AskLoadAddress() override;
    bool EditBuffer(BufferEditSession& session) override;
    bool EditSerialNumber(SnSetSession& session) override;

    // The operator's part in the next buffer editor: acts on the session (edits the working
    // copy, sets fields, calls Save and Fill) and returns true for OK, false for Cancel.
    // With nothing queued the editor is cancelled.
    using BufferScript = std::function<bool(BufferEditSession&)>;
    void QueueBufferEdit(BufferScript script) { bufferScripts_.push_back(std::move(script)); }

    // One OK press of the next SN dialog with these values; std::nullopt answers Cancel. A
    // refused OK leaves the dialog open for the next queued answer; with none left it is
    // cancelled.
    void QueueSerialNumber(std::optional<std::pair<uint32_t, uint32_t>> valueAndAddress) {
        serialNumbers_.push_back(valueAndAddress);
    }

    // Queue the answer of the next LOAD_ADDRESS dialog; std::nullopt answers Cancel. With
    // nothing queued the dialog is answered OK with its proposal, 0x4000.
    void QueueLoadAddress(std::optional<uint32_t> answer) { addresses_.push_back(answer); }

    // Queue the answer of the next file dialog; std::nullopt answers Cancel.
    void QueueFile(std::optional<std::string> answer) { files_.push_back(std::move(answer)); }

    // Queue the answer of the next question; with nothing queued it is answered No.
    void QueueAnswer(bool yes) { answers_.push_back(yes); }

    std::vector<Message> messages;
    std::vector<std::string> questions;  // texts of the questions asked, in order
    std::vector<std::string> fileFilters;  // filters of the dialogs shown, in order
    int aboutShown = 0;
    int loadAddressAsked = 0;
    std::vector<std::string> bufferTitles;  // titles of the buffer editors opened, in order
    int serialNumberAsked = 0;
    std::function<void(const Message&)> onMessage;

  private:
    std::optional<std::string> NextFile(const std::string& filter);
    std::deque<std::optional<std::string>> files_;
    std::deque<bool> answers_;
    std::deque<std::optional<uint32_t>> addresses_;
    std::deque<BufferScript> bufferScripts_;
    std::deque<std::optional<std::pair<uint32_t, uint32_t>>> serialNumbers_;
};

class RecordingShell : public Shell {
  public:
    void OpenDocument(const std::string& path, bool maximized) override {
        opened.push_back(path);
        lastMaximized = maximized;
    }
    void OpenUrl(const std::string& url) override { urls.push_back(url); }
    std::vector<std::string> opened;
    std::vector<std::string> urls;
    bool lastMaximized = false;
};

}  // namespace lumacrest
