// Device operation steps: the start routines of every chip operation, the frames they build
// (operation header, program-mode header) and the program-mode entry and exit.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ops/Ops.h"

namespace lumacrest {

inline constexpr uint32_t kOperationHeaderLength = 15;
inline constexpr uint32_t kProgramModeHeaderLength = 40;
// A block frame carries the two block-number bytes and one page; so does a block reply.
inline constexpr uint32_t kMaxPageSize = 298;

inline constexpr const char* kEnterProgramModeLine = "Enter Program Mode......";
inline constexpr const char* kEraseLineDirect = "Erase Device,Please Waiting...... ";
inline constexpr const char* kEraseLineResumed = "Erase Device,Please Waiting......";
inline constexpr const char* kWriteKeyCodeLine = "Write KeyCode......";
inline constexpr const char* kCheckKeyCodeLine = "KeyCode Verify......";
inline constexpr const char* kExitLine = "Eixt Program Mode......";
inline constexpr const char* kResetLine = "Reset Programger , Please Waitting ......   ";
inline constexpr const char* kNothingLoadedMessage =
    "******Operation refused: no image was loaded since the start, nothing programmed******   ";

// Fills payload bytes 0-9 of the shared command frame: page size, DeviceType,
// freshEntryFlag, autoSequence, DeviceByte1, DeviceByte2, BootPageSize (16-bit values high
// byte first). Bytes 10 and up keep what earlier frames left.
void FillOperationHeader(Ops& ops, uint32_t pageSize);

// The 40-byte program-mode header: the operation header with FlashPageSize, the adapter code
// in byte 10, the sector count in byte 11 when `withSectorCount`, the KeyCode in 15-30.
void FillProgramModeHeader(Ops& ops, bool withSectorCount);

// Why an operation on pages of `pageSize` bytes cannot run, or nothing when it can.
std::optional<std::string> PageSizeProblem(uint32_t pageSize, const char* area);

// Refuses the run (message, outcome) when a page of `pageSize` bytes does not fit a frame;
// true when it fits.
bool CheckPageFits(Ops& ops, uint32_t pageSize, const char* area);

// Refuses the run (message, outcome) before anything is sent when it would write the flash
// (or the boot) and nothing was loaded into that buffer since the start; true when it may go.
bool CheckLoaded(Ops& ops, bool flash, bool boot);

// Sends the shared command frame; a frame the link refuses ends the run cleanly.
bool SendStep(Ops& ops, uint8_t code, uint32_t length, uint32_t timeoutMs, uint32_t replyLength);

void EnterProgramMode(Ops& ops);
void ResumePendingOperation(Ops& ops);
inline constexpr uint32_t kExitTimeoutMs = 5000;
// The exit frame with the result of `conclusion`.
void ExitProgramMode(Ops& ops, const Conclusion& conclusion, uint32_t timeoutMs = kExitTimeoutMs);
void ResetProgrammer(Ops& ops);

void StartChipErase(Ops& ops);
void StartWriteFlash(Ops& ops);
void StartReadFlash(Ops& ops);
void StartVerifyFlash(Ops& ops);
void StartWriteBoot(Ops& ops);
void StartReadBoot(Ops& ops);
void StartVerifyBoot(Ops& ops);
void StartWriteKeyCode(Ops& ops);
void StartCheckKeyCode(Ops& ops);

}  // namespace lumacrest
