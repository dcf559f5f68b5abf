// What the core asks of the operator: message boxes, file dialogs and the modal dialogs.
// The Qt adapter shows real windows; the scripted adapter answers from a queue (tests, CLI).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace lumacrest {

struct BufferEditSession;
struct SnSetSession;

enum class MsgIcon {
    None,         // plain message box
    Error,        // the stop / error icon
    Information,  // the information icon
};

class Prompts {
  public:
    virtual ~Prompts() = default;

    virtual void MessageBox(const std::string& text, MsgIcon icon) = 0;
    // A question with Yes and No; true for Yes.
    virtual bool AskYesNo(const std::string& text) = 0;

    // File dialogs. `filter` is written the way the resources give it:
    // "Hex Files (*.hex)|*.hex|Bin Files (*.bin)|*.bin||". An empty optional is Cancel.
    virtual std::optional<std::string> OpenFile(const std::string& filter) = 0;
    virtual std::optional<std::string> SaveFile(const std::string& filter) = 0;

    // The About box (dialog 100).
    virtual void ShowAbout() = 0;

    // The LOAD_ADDRESS dialog: proposes 0x4000 each time; the address on OK, nothing on
    // Cancel.
    virtual std::optional<uint32_t> AskLoadAddress() = 0;

    // The buffer editor over `session` (its working copy, length, title and range fields).
    // Save and Fill act on the session while it is open; true when closed with OK, with the
    // edited bytes in the working copy.
    virtual bool EditBuffer(BufferEditSession& session) = 0;

    // The "SN_Setting" dialog over `session`; true when closed with OK and the values
    // passed its checks.
    virtual bool EditSerialNumber(SnSetSession& session) = 0;
};

// Documents and web pages handed to the desktop; failures are not reported.
class Shell {
  public:
    virtual ~Shell() = default;
    virtual void OpenDocument(const std::string& path, bool maximized) = 0;
    virtual void OpenUrl(const std::string& url) = 0;
};

}  // namespace lumacrest
