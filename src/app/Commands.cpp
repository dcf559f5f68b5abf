#include "app/Commands.h"

#include "app/CMainDlg.h"
#include "app/commands/BufferEditCommands.h"
#include "app/commands/FileDialogs.h"
#include "host/CipherFileCommands.h"
#include "host/DeviceCommands.h"
#include "host/ImageFileCommands.h"
#include "ops/Discovery.h"
#include "ops/FirmwareRewrite.h"
#include "ops/OperationCommands.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest {

namespace {

constexpr WhileBusy kRefused = WhileBusy::Refused;

void WireShell(Host& h, CommandRouter& router) {
    router.Add(id::About, [&h] { h.prompts().ShowAbout(); });
    router.Add(id::SysAbout, [&h] { h.prompts().ShowAbout(); });
    auto help = [&h] { h.shell().OpenDocument(h.programDir + "Help.pdf", true); };
    router.Add(id::UserHelp, help);
    router.Add(id::TbHelp, help);
    router.Add(id::MakerPage, [&h] { h.shell().OpenUrl(kMakerPageUrl); });
    router.Add(id::DownloadPage, [&h] { h.shell().OpenUrl(kDownloadPageUrl); });
    router.Add(id::WebPage2, [&h] { h.shell().OpenUrl(kSecondMakerPageUrl); });
    router.Add(id::CheckSum, [&h] { ShowChecksums(h.view, h.target); });
}

void WireOperations(Host& h, CommandRouter& router) {
    auto single = [&h, &router](int id, SingleOperation operation,
                                std::optional<bool> verify = std::nullopt) {
        router.Add(id, [&h, operation, verify] { RunSingleOperation(h.ops, operation, verify); },
                   kRefused);
    };
    single(id::ChipErase, SingleOperation::ChipErase);
    single(id::WriteFlash, SingleOperation::WriteFlash);
    single(id::ReadFlash, SingleOperation::ReadFlash);
    single(id::VerifyFlash, SingleOperation::VerifyFlash);
    single(id::WriteBoot, SingleOperation::WriteBoot);
    single(id::ReadBoot, SingleOperation::ReadBoot);
    single(id::VerifyBoot, SingleOperation::VerifyBoot);
    single(id::WriteKeyCode, SingleOperation::WriteKeyCode);
    single(id::CheckKeyCodeCmd, SingleOperation::CheckKeyCode);
    // The toolbar's write verifies; its other buttons never do.
    single(id::TbErase, SingleOperation::ChipErase, false);
    single(id::TbWrite, SingleOperation::WriteFlash, true);
    single(id::TbVerify, SingleOperation::VerifyFlash, false);
    single(id::TbRead, SingleOperation::ReadFlash, false);
    router.Add(id::Update, [&h] { RunProgramOptions(h.ops); }, kRefused);
    router.Add(id::ReserveP, [&h] { AskAndStartProgrammerUpdate(h.ops); }, kRefused);
    router.Add(
        id::ComList, [&h] { OnSelchangeCom(h.ops, h.view.SelectedPort()); },
        kRefused);
    router.Add(id::McuList, [&h] { (void)OnSelchangeMcu(h); }, kRefused);
}

void WireFiles(Host& h, CommandRouter& router) {
    router.Add(id::LoadFlashFile, [&h] { OnLoadFlashFile(h); }, kRefused);
    router.Add(id::LoadFile, [&h] { OnLoadRangeFile(h); }, kRefused);
    router.Add(id::LoadBootFile, [&h] { OnLoadBootFile(h); }, kRefused);
    router.Add(id::LoadKeyCode, [&h] { OnLoadKeyCode(h); }, kRefused);
    router.Add(id::TbReload, [&h] { (void)ReloadImageFiles(h); }, kRefused);
    router.Add(id::SaveProject, [&h] { OnSaveProject(h); });
    router.Add(id::LoadProject, [&h] { OnLoadProject(h); }, kRefused);
    router.Add(id::Combine, [&h] { OnCombine(h); });
    // Packaging and the encrypted images rewrite the geometry and the flash buffer.
    router.Add(id::ReserveJia, [&h] { OnPackageUpdate(h); }, kRefused);
    router.Add(id::ReserveJie, [&h] { OnUnpackUpdate(h); }, kRefused);
    router.Add(id::FileJiaMi, [&h] { (void)EncryptImageFile(h); }, kRefused);
    router.Add(id::FileJieMi, [&h] { OnDecryptImage(h); }, kRefused);
    router.Add(id::ConvertExToHex, [&h] { OnConvertExToHex(h); });
}

void WireEditing(Host& h, CommandRouter& router) {
    router.Add(id::FlashBuffer, [&h] { EditFlashBuffer(h); }, kRefused);
    router.Add(id::BootBuffer, [&h] { EditBootBuffer(h); }, kRefused);
    router.Add(id::KeyCodeSet, [&h] { EditKeyCode(h); }, kRefused);
    router.Add(id::TbKeyCode, [&h] { EditKeyCode(h); }, kRefused);
    router.Add(id::SnSet, [&h] { EditSerialNumber(h); }, kRefused);
}

}  // namespace

void WireCommands(Host& h, CommandRouter& router) {
    WireShell(h, router);
    WireFiles(h, router);
    WireEditing(h, router);
    WireOperations(h, router);
}

}  // namespace lumacrest
