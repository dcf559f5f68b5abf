// Commands routed by resource id: the menu, the buttons, list selection changes, the CLI
// and the tests all go through here.
#pragma once

#include <functional>
#include <map>

namespace lumacrest {

class CommandRouter {
public:
    using Handler = std::function<void()>;

    void Add(int id, Handler handler) { handlers_[id] = std::move(handler); }
    bool Has(int id) const { return handlers_.count(id) != 0; }
    // Runs the handler of `id`; an id without a handler does nothing. Returns whether a
    // handler ran.
    bool Dispatch(int id) const {
        auto it = handlers_.find(id);
        if (it == handlers_.end()) return false;
        Handler handler = it->second;  // a handler may replace itself while running
        handler();
        return true;
    }

private:
    std::map<int, Handler> handlers_;
};

}  // namespace lumacrest
