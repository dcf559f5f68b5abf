// Maintenance of the programmer itself: the firmware rewrite from update.dat, the loader
// (IAP) transfer, sector sums, the DataFlash download and the stored-settings report.
#pragma once

#include <cstdint>

#include "app/Host.h"
#include "ui/main/CommandRouter.h"

namespace lumacrest {

inline constexpr const char* kUpdateFileDatName = "update.dat";
inline constexpr const char* kOpenUpdateFileFailed = "******Open Update_File  failed******   ";
inline constexpr const char* kUpdateFailed =
    "******Update Failed ,Please Reboot Programmer and try again******";
inline constexpr uint32_t kFirmwareBlockSize = 256;
inline constexpr uint32_t kSettingsReportLength = 65;
// The kind a programmer reports while its firmware loader runs.
inline constexpr uint8_t kLoaderProgrammerKind = 5;

// Reads, checks and decrypts update.dat into the update buffer. False when the file cannot
// be opened, is empty, longer than the buffer or not a whole number of 256-byte blocks.
bool LoadUpdateFile(Host& h);

// Rewrites the programmer's firmware from update.dat. The identification of a
// maintenance-firmware programmer starts it with the port open; the menu command connects
// first. A file that cannot be used ends the run with its message box.
void StartProgrammerUpdate(Host& h);

// The loader transfer that Update runs, instead of the program options, on a programmer of
// kind 5. Entered with the port open and the controls disabled.
void StartIapErase(Host& h);
void StartIapTransfer(Host& h);
void SendIapDone(Host& h);

void OnProgrammerErased(Host& h, const ReplyFrame& reply);      // 0x04
void OnFirmwareBlockEchoed(Host& h, const ReplyFrame& reply);   // 0x02
void OnIapErased(Host& h, const ReplyFrame& reply);             // 0x42
void OnIapBlockWritten(Host& h, const ReplyFrame& reply);       // 0x41
void OnSectorSumRequest(Host& h, const ReplyFrame& reply);      // 0x44
void OnDataFlashBegin(Host& h, const ReplyFrame& reply);        // 0x06
void OnDataFlashFlashBlock(Host& h, const ReplyFrame& reply);   // 0x07
void OnDataFlashBootBlock(Host& h, const ReplyFrame& reply);    // 0x08
void OnStoredSettingsReport(Host& h, const ReplyFrame& reply);  // 0x09

void RegisterMaintenanceCommands(Host& h, CommandRouter& router);

}  // namespace lumacrest
