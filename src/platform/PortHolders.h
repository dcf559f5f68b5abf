// Which other programs have a terminal device open (Linux: their open files under /proc).
#pragma once

#include <string>

namespace lumacrest {

// The programs other than this one that have `device` open, as "name (pid N)" joined by
// ", "; empty when there are none or the system cannot tell. The program holding the other
// end of a pseudo-terminal is its line, not a holder.
std::string OtherHolders(const std::string& device);

}  // namespace lumacrest
