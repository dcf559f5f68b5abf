// Device operation steps: the start routines of every chip operation, the frames they build
// (operation header, program-mode header) and the program-mode entry and exit.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "link/CommandTable.h"
#include "ops/Ops.h"

namespace lumacrest {

// The largest page a block frame carries besides its block number; so does a block reply.
uint32_t MaxPageSize();

inline constexpr const char* kEnterProgramModeLine = "Enter Program Mode......";
inline constexpr const char* kEraseLineDirect = "Erase Device,Please Waiting...... ";
inline constexpr const char* kEraseLineResumed = "Erase Device,Please Waiting......";
inline constexpr const char* kWriteKeyCodeLine = "Write KeyCode......";
inline constexpr const char* kCheckKeyCodeLine = "KeyCode Verify......";
inline constexpr const char* kExitLine = "Eixt Program Mode......";
inline constexpr const char* kResetLine = "Reset Programger , Please Waitting ......   ";
inline constexpr const char* kNothingLoadedMessage =
    "******Operation refused: no image was loaded since the start, nothing programmed******   ";

// Why an operation on pages of `pageSize` bytes cannot run, or nothing when it can.
std::optional<std::string> PageSizeProblem(uint32_t pageSize, const char* area);

// Refuses the run (message, outcome) when a page of `pageSize` bytes does not fit a frame;
// true when it fits.
bool CheckPageFits(Ops& ops, uint32_t pageSize, const char* area);

// Refuses the run (message, outcome) before anything is sent when it would write the flash
// (or the boot) and nothing was loaded into that buffer since the start; true when it may go.
bool CheckLoaded(Ops& ops, bool flash, bool boot);

// Sends the shared command frame as `out` says; a frame the link refuses ends the run cleanly.
bool SendStep(Ops& ops, const Outgoing& out);

void EnterProgramMode(Ops& ops);
void ResumePendingOperation(Ops& ops);
// The exit frame with the result of `conclusion`; `waitMs` in place of its time-out.
void ExitProgramMode(Ops& ops, const Conclusion& conclusion,
                     std::optional<uint32_t> waitMs = std::nullopt);
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
