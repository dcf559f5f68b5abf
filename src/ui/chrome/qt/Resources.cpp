#include <QtGlobal>

static void InitLumacrestResources() { Q_INIT_RESOURCE(lumacrest); }

namespace lumacrest {
void InitChromeResources() {
    static bool done = false;
    if (!done) {
        InitLumacrestResources();
        done = true;
    }
}
}  // namespace lumacrest
