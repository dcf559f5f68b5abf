// Starting and ending runs: the one ending every run goes through, the one answer to "is the
// programmer busy", and the serial number a failed chip gives back.
#pragma once

#include <optional>
#include <string>

#include "ops/Ops.h"
#include "ops/Run.h"

namespace lumacrest {

inline constexpr const char* kProgrammerBusy =
    "******A programmer operation is running: try again when it has finished******   ";

enum class PortAfter : uint8_t { Close, KeepOpen };

struct Ending {
    // The controls the run leaves behind; nothing: as they are.
    std::optional<ControlState> controls = ControlState::Idle;
    PortAfter port = PortAfter::Close;
    // The rules give the serial number back for this ending (a time-out, a refused frame, a
    // connect that failed between stages, the program closing).
    bool giveSerialNumberBack = false;
};

// Starts a run; the run before it must have ended.
void BeginRun(Ops& ops, RunKind kind, Stage stage);

// Ends the run under way with the outcome it has come to (its first failure, or a pass): the
// reply timer stops, the serial number goes back at most once where the ending says so, the
// port closes and the controls are set as the ending says, and the outcome is kept.
void End(Ops& ops, const Ending& ending = {});

// A failure of the run: `word` is appended to the current log line ("Failed", "Timer Over "),
// or `line` is logged as a line of its own; that line is what the run failed with.
void FailWord(Ops& ops, const std::string& word, Verdict verdict = Verdict::Failed);
void FailLine(Ops& ops, const std::string& line);
// A failure shown as a message box (with the error icon unless said otherwise).
void FailMessage(Ops& ops, const std::string& text, Verdict verdict, bool errorIcon = true);

// A run is under way: one was started and has not ended, or a command awaits its reply.
bool Busy(const Ops& ops);

// Shows the refusal and returns true while the programmer is busy.
bool RefuseWhileBusy(Ops& ops);

// A failed chip of an Update run with Program SN gets its serial number issued again, once:
// the settings ask for it again and the ledger marks it given back.
void GiveSerialNumberBack(Ops& ops);

// The run passed: the ledger marks its serial number programmed (once; nothing for a run that
// wrote none or gave it back).
void ConfirmSerialNumber(Ops& ops);

}  // namespace lumacrest
