// Reply rows of the device operations (program mode, erase, block transfers, KeyCode, exit,
// reset) and the rules that continue the Update sequence from one stage to the next.
#pragma once

#include "app/Host.h"

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

// Sets resultPass and leaves program mode.
void ExitWith(Host& h, uint8_t result);

// What follows each stage of the Update sequence.
void AfterErase(Host& h);
void AfterBoot(Host& h);
void AfterFlash(Host& h);
void KeyCodeRule(Host& h);
void FinishRule(Host& h);

// The progress bar at i x 100 / n (100 when there is nothing to count).
void SetBlockProgress(Host& h, uint32_t i, uint32_t n);

void OnProgramModeReply(Host& h, const ReplyFrame& reply);   // 0x22
void OnChipEraseReply(Host& h, const ReplyFrame& reply);     // 0x11
void OnKeyCodeWritten(Host& h, const ReplyFrame& reply);     // 0x25
void OnKeyCodeChecked(Host& h, const ReplyFrame& reply);     // 0x26
void OnExitReply(Host& h, const ReplyFrame& reply);          // 0x0F
void OnResetReply(Host& h, const ReplyFrame& reply);         // 0x01
void OnWriteFlashBegun(Host& h, const ReplyFrame& reply);    // 0x12
void OnFlashBlockWritten(Host& h, const ReplyFrame& reply);  // 0x13
void OnFlashWriteEnded(Host& h, const ReplyFrame& reply);    // 0x14
void OnReadFlashBegun(Host& h, const ReplyFrame& reply);     // 0x15
void OnFlashBlockRead(Host& h, const ReplyFrame& reply);     // 0x16
void OnVerifyFlashBegun(Host& h, const ReplyFrame& reply);   // 0x17
void OnFlashBlockVerify(Host& h, const ReplyFrame& reply);   // 0x18
void OnWriteBootBegun(Host& h, const ReplyFrame& reply);     // 0x19
void OnBootBlockWritten(Host& h, const ReplyFrame& reply);   // 0x1A
void OnBootWriteEnded(Host& h, const ReplyFrame& reply);     // 0x1F
void OnReadBootBegun(Host& h, const ReplyFrame& reply);      // 0x1B
void OnBootBlockRead(Host& h, const ReplyFrame& reply);      // 0x1C
void OnVerifyBootBegun(Host& h, const ReplyFrame& reply);    // 0x1D
void OnBootBlockVerify(Host& h, const ReplyFrame& reply);    // 0x1E

}  // namespace lumacrest
