#include "app/Commands.h"

#include "image/Checksums.h"
#include "image/CipherFiles.h"
#include "image/ExToHex.h"
#include "image/HexWriter.h"
#include "image/ImageLoading.h"
#include "image/ProjectFile.h"
#include "ops/Discovery.h"
#include "ops/FirmwareRewrite.h"
#include "ops/OperationCommands.h"
#include "ui/edit/BufferEdit.h"
#include "ui/main/CMainDlg.h"
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
    router.Add(id::CheckSum, [&h] { ShowChecksums(h); });
}

void WireOperations(Host& h, CommandRouter& router) {
    auto single = [&h, &router](int id, SingleOperation operation,
                                std::optional<bool> verify = std::nullopt) {
        router.Add(id, [&h, operation, verify] { RunSingleOperation(h, operation, verify); },
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
    router.Add(id::Update, [&h] { RunProgramOptions(h); }, kRefused);
    router.Add(id::ReserveP, [&h] { StartProgrammerUpdate(h); }, kRefused);
    router.Add(
        id::ComList, [&h] { OnSelchangeCom(h, h.ui.Combo(id::ComList).SelectedText()); },
        kRefused);
    router.Add(id::McuList, [&h] { OnSelchangeMcu(h); }, kRefused);
}

void WireEditing(Host& h, CommandRouter& router) {
    router.Add(id::FlashBuffer, [&h] { EditFlashBuffer(h); }, kRefused);
    router.Add(id::BootBuffer, [&h] { EditBootBuffer(h); }, kRefused);
    router.Add(id::KeyCodeSet, [&h] { EditKeyCode(h); }, kRefused);
    router.Add(id::TbKeyCode, [&h] { EditKeyCode(h); }, kRefused);
    router.Add(id::SnSet, [&h] { EditSerialNumber(h); }, kRefused);
}

// Commands that change the images, the device or the options a run uses, or write the files
// the programmer's maintenance reads, wait until the programmer is free.
constexpr int kRefusedFileCommands[] = {id::LoadFlashFile, id::LoadBootFile, id::LoadKeyCode,
                                        id::LoadProject,   id::TbReload,     id::ReserveJia,
                                        id::ReserveJie,    id::FileJiaMi,    id::FileJieMi};

}  // namespace

void WireCommands(Host& h, CommandRouter& router) {
    WireShell(h, router);
    RegisterImageLoadCommands(h, router);
    RegisterHexWriteCommands(h, router);
    RegisterProjectCommands(h, router);
    RegisterCipherFileCommands(h, router);
    RegisterExToHexCommands(h, router);
    WireEditing(h, router);
    WireOperations(h, router);
    for (int command : kRefusedFileCommands) router.Refuse(command);
}

}  // namespace lumacrest
