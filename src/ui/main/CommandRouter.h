// Commands routed by resource id: the menu, the buttons, list selection changes, the CLI
// and the tests all go through here.
#pragma once

#include <functional>
#include <map>

namespace lumacrest {

// What a command does while the programmer is busy.
enum class WhileBusy {
    Runs,     // it does not touch the line or what a run uses
    Refused,  // it needs the line, or would change the images, device or options of a run
};

class CommandRouter {
public:
    using Handler = std::function<void()>;

    void Add(int id, Handler handler, WhileBusy busy = WhileBusy::Runs) {
        handlers_[id] = {std::move(handler), busy};
    }
    bool Has(int id) const { return handlers_.count(id) != 0; }
    bool RefusedWhileBusy(int id) const {
        auto it = handlers_.find(id);
        return it != handlers_.end() && it->second.busy == WhileBusy::Refused;
    }
    // Runs the handler of `id`; an id without a handler does nothing. Returns whether a
    // handler ran.
    bool Dispatch(int id) const {
        auto it = handlers_.find(id);
        if (it == handlers_.end()) return false;
        Handler handler = it->second.run;  // a handler may replace itself while running
        handler();
        return true;
    }

private:
    struct Entry {
        Handler run;
        WhileBusy busy;
    };
    std::map<int, Entry> handlers_;
};

}  // namespace lumacrest
