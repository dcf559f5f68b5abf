// Finding the programmer: the COM list, the port scan, the identify reply and the firmware
// check; and the MCU list.
#pragma once

#include <optional>
#include <string>

#include "ops/Ops.h"

namespace lumacrest {

inline constexpr const char* kPleaseUpdateFirmware = "******Please Update Device Firmware ******";
inline constexpr const char* kCannotFindProgrammer = "Can Not Find Programmer  ";

// Opens "COM<n>" for the run under way. On failure logs why (Can Not Find Programmer, and
// for a port that exists but cannot be used a line and a message that say why) and ends the
// run: at its start only the COM list is enabled again, between its stages it ends as a
// time-out does. False then.
bool ConnectPort(Ops& ops, uint8_t portNumber);

// The line after "Can Not Find Programmer": the port and its device, or (for a scan) every
// device the scan probed.
std::string TriedLine(const Ops& ops, std::optional<unsigned> portNumber);

// What the operator is told of a port that exists but cannot be used: held by another
// program (named), or not open to this user. Nothing for a port that is not there.
std::optional<std::string> PortProblem(const Ops& ops, unsigned portNumber,
                                       const PortStatus& status);

// Sends CMD_IDENTIFY (its two payload bytes left as they are; time-out and reply length from
// the command table).
void SendIdentify(Ops& ops);

// A new entry of the COM list: connect to that port and identify, or scan for "USB".
void OnSelchangeCom(Ops& ops, const std::string& entry);

// Scans COM1 to COM16 for a programmer: a run of its own that tries one port after another,
// going on from each identify reply, time-out or lost port on the event loop.
void AutoConnect(Ops& ops);
// The next port of the scan, or its end when none is left.
void ScanNextPort(Ops& ops);

// The identify reply (code 0x00): the programmer's kind decides what follows.
void OnIdentifyReply(Ops& ops, const ReplyFrame& reply);

// The identify reply of a device programmer: number, counters, firmware version, and the
// firmware check (a rewrite for the maintenance version, a refusal for any other).
void DeviceProgrammerIdentified(Ops& ops, const ReplyFrame& reply);



}  // namespace lumacrest
