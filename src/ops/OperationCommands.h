// The operator's device commands: the menu and toolbar operations and the Update button's
// automatic sequence, with the serial number written into the image before the run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ops/Ops.h"

namespace lumacrest {

inline constexpr const char* kSelectProgramOption = "******Please Select Program Option******   ";

// Why the serial number cannot be written into the image, or nothing when it can.
std::optional<std::string> SerialNumberProblem(const Ops& ops);

// Stores SnValue into the image at SnAddress, most significant byte first, and makes sure
// the pages written cover it. The caller has checked SerialNumberProblem.
void WriteSerialNumber(Ops& ops);

// The Update button: the port opened, what the programmer's kind does on Update.
void RunProgramOptions(Ops& ops);

// The program options of a device programmer: the serial number into the image, then the
// sequence from program mode on.
void StartProgramSequence(Ops& ops);

enum class SingleOperation {
    ChipErase,
    WriteFlash,
    ReadFlash,
    VerifyFlash,
    WriteBoot,
    ReadBoot,
    VerifyBoot,
    WriteKeyCode,
    CheckKeyCode,
};

// One menu or toolbar operation, a run of its own: it never continues an Update run.
// `verifyAfterWrite` is the toolbar's choice whether a write is followed by its verify.
void RunSingleOperation(Ops& ops, SingleOperation operation,
                        std::optional<bool> verifyAfterWrite = std::nullopt);

}  // namespace lumacrest
