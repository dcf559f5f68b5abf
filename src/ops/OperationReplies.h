// Reply rows of the device operations (program mode, erase, block transfers, KeyCode, exit,
// reset) and the rules that continue the Update sequence from one stage to the next.
#pragma once

#include "ops/Ops.h"

namespace lumacrest {

inline constexpr const char* kKeyCodeVerifyFailedLine = "KeyCode Verify......Failed";
inline constexpr const char* kAdapterErrorLine = "ADP Error.";
inline constexpr const char* kKeyCodePassLine = "KeyCode Verify......Pass";
inline constexpr const char* kKeyCodeNotEnabledLine = "KeyCode Verify......KeyCode is not enable.";
inline constexpr const char* kKeyCodeLockedLine = "KeyCode is enable, Can not be rewrited";
inline constexpr const char* kWriteFlashLine = "Write FLASH......";
inline constexpr const char* kReadFlashLine = "Read FLASH......";
inline constexpr const char* kVerifyFlashLine = "Verify FLASH......";
inline constexpr const char* kWriteBootLine = "Write Boot......";
inline constexpr const char* kVerifyBootLine = "Verify Boot......";
// The pause after the boot verify of the Update sequence, before the flash stage.
inline constexpr uint32_t kBootSettleMs = 500;
inline constexpr int kBootSettleTimerId = 101;

// Leaves program mode with the result of `conclusion`, which the run ends with once the exit
// is answered.
void ExitWith(Ops& ops, const Conclusion& conclusion);

// What follows each stage of the Update sequence.
void AfterErase(Ops& ops);
void AfterBoot(Ops& ops);
void AfterFlash(Ops& ops);
void KeyCodeRule(Ops& ops);
void FinishRule(Ops& ops);

// The progress bar at i x 100 / n (Percent: 0 when there is nothing to count).
void SetBlockProgress(Ops& ops, uint32_t i, uint32_t n);

void OnProgramModeReply(Ops& ops, const ReplyFrame& reply);   // 0x22
void OnChipEraseReply(Ops& ops, const ReplyFrame& reply);     // 0x11
void OnKeyCodeWritten(Ops& ops, const ReplyFrame& reply);     // 0x25
void OnKeyCodeChecked(Ops& ops, const ReplyFrame& reply);     // 0x26
void OnExitReply(Ops& ops, const ReplyFrame& reply);          // 0x0F
void OnResetReply(Ops& ops, const ReplyFrame& reply);         // 0x01
void OnWriteFlashBegun(Ops& ops, const ReplyFrame& reply);    // 0x12
void OnFlashBlockWritten(Ops& ops, const ReplyFrame& reply);  // 0x13
void OnFlashWriteEnded(Ops& ops, const ReplyFrame& reply);    // 0x14
void OnReadFlashBegun(Ops& ops, const ReplyFrame& reply);     // 0x15
void OnFlashBlockRead(Ops& ops, const ReplyFrame& reply);     // 0x16
void OnVerifyFlashBegun(Ops& ops, const ReplyFrame& reply);   // 0x17
void OnFlashBlockVerify(Ops& ops, const ReplyFrame& reply);   // 0x18
void OnWriteBootBegun(Ops& ops, const ReplyFrame& reply);     // 0x19
void OnBootBlockWritten(Ops& ops, const ReplyFrame& reply);   // 0x1A
void OnBootWriteEnded(Ops& ops, const ReplyFrame& reply);     // 0x1F
void OnReadBootBegun(Ops& ops, const ReplyFrame& reply);      // 0x1B
void OnBootBlockRead(Ops& ops, const ReplyFrame& reply);      // 0x1C
void OnVerifyBootBegun(Ops& ops, const ReplyFrame& reply);    // 0x1D
void OnBootBlockVerify(Ops& ops, const ReplyFrame& reply);    // 0x1E

}  // namespace lumacrest
