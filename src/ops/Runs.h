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

// What a run leaves behind besides its outcome.
struct Ending {
    // The controls the run leaves behind; nothing: as they are.
    std::optional<ControlState> controls = ControlState::Idle;
    PortAfter port = PortAfter::Close;
};

// Starts a run with a new run id; the run before it must have ended.
void BeginRun(Ops& ops, RunKind kind, Stage stage);

// The one place a run ends, as `conclusion` says: the reply timer stops; the serial number of
// an Update is given back when the run failed before its exit (anything but a refusal the box
// itself answered), or confirmed when it passed; the port closes and the controls are set as
// `ending` says, and the outcome is kept and told.
void End(Ops& ops, const Conclusion& conclusion, const Ending& ending = {});

// A refusal told to the operator (as an error unless said otherwise), in the message's words.
Conclusion Refusal(Ops& ops, const std::string& message, Verdict verdict = Verdict::Refused,
                   bool errorIcon = true);

// A message that ends the run under way: the run's time stops before it is shown.
void ShowRunMessage(Ops& ops, const std::string& text, MessageKind kind);

// The words of a reply that did not come, and of a port that went away.
std::string NoAnswerWords(uint8_t code, uint32_t waitedMs);
std::string PortLostWords(const Ops& ops, const std::string& why);

// A run is under way: one was started and has not ended, or a command awaits its reply.
bool Busy(const Ops& ops);

// Shows the refusal and returns true while the programmer is busy.
bool RefuseWhileBusy(Ops& ops);

// A failed chip of an Update run with Program SN gets its serial number issued again, once:
// the settings ask for it again and the ledger marks it given back. Called from End only.
void GiveSerialNumberBack(Ops& ops);

// A passed Update keeps the serial number it wrote: it is on the chip now, the ledger marks it
// programmed, and it is never issued again. Called from End only.
void ConfirmSerialNumber(Ops& ops);

}  // namespace lumacrest
