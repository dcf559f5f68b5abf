// The main window's menu (resource 129): pop-ups, items and their initial state.
#pragma once

#include <string>
#include <vector>

namespace lumacrest {

struct MenuItem {
    int id = 0;  // 0 = separator
    std::string text;
    bool enabled = false;  // state in the resource
};

struct MenuPopup {
    std::string text;
    bool enabled = true;  // state in the resource
    std::vector<MenuItem> items;
};

const std::vector<MenuPopup>& MainMenuResource();

// Text of the item added to the window menu (system menu on the original platform).
inline constexpr const char* kCaption = "Lumacrest V3.0";
inline constexpr const char* kAboutSysMenuText = "关于 VQN_Pro(&A)...";

}  // namespace lumacrest
