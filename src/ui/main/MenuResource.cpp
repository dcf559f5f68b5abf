#include "ui/main/MenuResource.h"

#include "ui/main/ResourceIds.h"

namespace lumacrest {

const std::vector<MenuPopup>& MainMenuResource() {
    static const std::vector<MenuPopup> menu = {
        {"&File",
         true,
         {
             {id::LoadFlashFile, "Load Flash File", true},
             {id::LoadBootFile, "Load Boot File", false},
             {id::LoadKeyCode, "Load KeyCode", false},
             {0, "", false},
             {id::LoadProject, "Load Prj File", false},
             {id::SaveProject, "Save Prj File", false},
         }},
        {"&Edit",
         true,
         {
             {id::FlashBuffer, "Flash Buffer", true},
             {id::BootBuffer, "Boot Buffer", false},
             {id::KeyCodeSet, "KeyCode Set", false},
             {id::SnSet, "SN Set", false},
             {0, "", false},
             {id::CheckSum, "CheckSum", false},
         }},
        {"&Operation",
         false,
         {
             {id::ChipErase, "Chip Erase", false},
             {id::EraseSa0, "Erase SA0", false},
             {id::EraseSa1, "Erase SA1", false},
             {0, "", false},
             {id::WriteFlash, "Write Flash", false},
             {id::ReadFlash, "Read Flash", false},
             {id::VerifyFlash, "Verify Flash", false},
             {0, "", false},
             {id::WriteBoot, "Write Boot", false},
             {id::ReadBoot, "Read Boot", false},
             {id::VerifyBoot, "Verify Boot", false},
             {0, "", false},
             {id::WriteKeyCode, "Write_KeyCode", false},
             {id::CheckKeyCodeCmd, "Check_KeyCode", false},
             {0, "", false},
             {id::SectorProtect, "Sector Protect", false},
             {id::VoltageSet, "Voltage Set", false},
         }},
        {"&Tool",
         true,
         {
             {id::Combine, "Main && Boot Combine", false},
             {id::ConvertExToHex, "Convert Ex To Hex", true},
             {0, "", false},
             {id::ReserveP, "Reserve_P", false},
             {id::ReserveJia, "Reserve_Jia", false},
             {id::ReserveJie, "Reserve_Jie", false},
             {id::FileJiaMi, "File_JiaMi", false},
             {id::FileJieMi, "File_JieMi", false},
         }},
        {"&Help",
         false,
         {
             {id::UserHelp, "User Help", false},
             {id::About, "About", false},
         }},
    };
    return menu;
}

}  // namespace lumacrest
