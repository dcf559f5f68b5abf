// Every command of the tool by resource id, in one table: the menu, the buttons, the lists,
// the command line and the tests all reach the same handler through it.
#pragma once

#include "host/Host.h"
#include "ui/main/CommandRouter.h"

namespace lumacrest {

// Binds every resource id to what it does. Commands that need the line, or would change the
// images, the device or the options of a run, are marked to be refused while one is under way.
void WireCommands(Host& h, CommandRouter& router);

}  // namespace lumacrest
