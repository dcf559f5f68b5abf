// The rewrite of the programmer's own firmware from update.dat: the erase, then 256-byte
// blocks each echoed back by the programmer.
#pragma once

#include <cstdint>
#include <string>

#include "ops/Codec.h"
#include "ops/Ops.h"

namespace lumacrest {

inline constexpr const char* kUpdateFileDatName = "update.dat";
inline constexpr const char* kOpenUpdateFileFailed = "******Open Update_File  failed******   ";
inline constexpr const char* kUpdateFailed =
    "******Update Failed ,Please Reboot Programmer and try again******";

// Reads, checks and decrypts update.dat into the update buffer. False when the file cannot
// be opened, is empty, longer than the buffer or not a whole number of 256-byte blocks; then
// `why` ("update.dat refused: ...") says which.
bool LoadUpdateFile(Ops& ops, std::string* why = nullptr);

// Rewrites the programmer's firmware from update.dat. The identification of a
// maintenance-firmware programmer starts it with the port open; the menu command connects
// first. A file that cannot be used ends the run with its message box.
void StartProgrammerUpdate(Ops& ops);

// The menu command: the operator confirms the rewrite on the port named, once; then as
// StartProgrammerUpdate.
std::string FirmwareRewriteQuestion(const Ops& ops);
void AskAndStartProgrammerUpdate(Ops& ops);

void OnProgrammerErased(Ops& ops, const ReplyFrame& reply);     // 0x04
void OnFirmwareBlockEchoed(Ops& ops, const ReplyFrame& reply);  // 0x02

}  // namespace lumacrest
