// The window shows the host's messages as message boxes: an error with the stop icon, a note
// about something done with the information icon, a plain one without.
#pragma once

#include "host/HostEvents.h"
#include "platform/Prompts.h"

namespace lumacrest {

inline MsgIcon IconFor(MessageKind kind) {
    switch (kind) {
        case MessageKind::Error: return MsgIcon::Error;
        case MessageKind::Information: return MsgIcon::Information;
        case MessageKind::Plain: break;
    }
    return MsgIcon::None;
}

class MessageBoxes : public HostEvents {
public:
    explicit MessageBoxes(Prompts& prompts) : prompts_(prompts) {}
    void Message(const std::string& text, MessageKind kind) override {
        prompts_.MessageBox(text, IconFor(kind));
    }

private:
    Prompts& prompts_;
};

}  // namespace lumacrest
