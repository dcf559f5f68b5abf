// Resource ids of the main window: dialog controls, menu commands, toolbar commands.
// Every command (menu, button, toolbar, CLI, tests) is routed by these numbers.
#pragma once

namespace lumacrest::id {

// System menu
constexpr int SysAbout = 16;

// Controls of the main dialog (resource 102)
constexpr int Progress = 1000;
constexpr int Log = 1001;
constexpr int LoadFile = 1002;
constexpr int Update = 1003;
constexpr int ComList = 1004;
constexpr int McuList = 1005;
constexpr int EraseChip = 1006;
constexpr int ProgramFlash = 1007;
constexpr int ProgramBoot = 1008;
constexpr int ProgramKeyCode = 1009;
constexpr int EnableProtect = 1010;
constexpr int ProgramSn = 1011;
constexpr int Counter = 1012;
constexpr int CheckKeyCode = 1013;
constexpr int SerialControl = 1015;
constexpr int Configer = 1016;
constexpr int MaxCounter = 1018;
constexpr int WebPage2 = 1020;
constexpr int DownloadPage = 1025;
constexpr int MakerPage = 1027;
constexpr int ProgressControl = 2001;

// Menu (resource 129)
constexpr int LoadFlashFile = 32771;
constexpr int LoadKeyCode = 32772;
constexpr int LoadProject = 32773;
constexpr int SaveProject = 32776;
constexpr int FlashBuffer = 32777;
constexpr int KeyCodeSet = 32778;
constexpr int SnSet = 32779;
constexpr int CheckSum = 32780;
constexpr int ChipErase = 32781;
constexpr int EraseSa0 = 32782;
constexpr int EraseSa1 = 32783;
constexpr int WriteFlash = 32784;
constexpr int VerifyFlash = 32785;
constexpr int UserHelp = 32788;
constexpr int About = 32789;
constexpr int WriteBoot = 32790;
constexpr int ReadBoot = 32791;
constexpr int VerifyBoot = 32792;
constexpr int ReadFlash = 32800;
constexpr int WriteKeyCode = 32801;
constexpr int SectorProtect = 32802;
constexpr int CheckKeyCodeCmd = 32803;
constexpr int LoadBootFile = 32804;
constexpr int BootBuffer = 32806;
constexpr int ConvertExToHex = 32807;
constexpr int ReserveP = 32808;
constexpr int ReserveJia = 32809;
constexpr int ReserveJie = 32810;
constexpr int VoltageSet = 32812;
constexpr int Combine = 32813;
constexpr int FileJiaMi = 32815;
constexpr int FileJieMi = 32816;

// Toolbar (bitmap 130); the toolbar is never shown, the commands stay routable
constexpr int TbReload = 32793;
constexpr int TbErase = 32794;
constexpr int TbWrite = 32795;
constexpr int TbVerify = 32796;
constexpr int TbRead = 32797;
constexpr int TbKeyCode = 32798;
constexpr int TbHelp = 32799;

}  // namespace lumacrest::id
