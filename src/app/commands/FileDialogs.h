// The window's file commands: each asks for its file (and a load address) in the window's
// dialogs, then hands the answer to the host.
#pragma once

#include <chrono>

#include "host/ExToHexCommand.h"
#include "host/Host.h"

namespace lumacrest {

void OnLoadFlashFile(Host& h);   // menu Load Flash File
void OnLoadRangeFile(Host& h);   // the "Load File" button: raw range files from offset 0
void OnLoadBootFile(Host& h);    // menu Load Boot File
void OnLoadKeyCode(Host& h);     // menu Load KeyCode
void OnSaveProject(Host& h);     // menu Save Prj File
void OnLoadProject(Host& h);     // menu Load Prj File
void OnCombine(Host& h);         // menu Main && Boot Combine
void OnPackageUpdate(Host& h);   // Reserve_Jia
void OnUnpackUpdate(Host& h);    // Reserve_Jie
void OnDecryptImage(Host& h);    // File_JieMi
void OnConvertExToHex(Host& h, std::chrono::milliseconds timeout = kConverterTimeout);

}  // namespace lumacrest
