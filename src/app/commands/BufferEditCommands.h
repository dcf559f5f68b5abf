// Flash Buffer, Boot Buffer, KeyCode Set (and the toolbar's KeyCode button) and SN Set: the
// dialogs opened on copies, and what OK confirms copied back.
#pragma once

#include "host/Host.h"

namespace lumacrest {

void EditFlashBuffer(Host& h);
void EditBootBuffer(Host& h);
void EditKeyCode(Host& h);
void EditSerialNumber(Host& h);

}  // namespace lumacrest
