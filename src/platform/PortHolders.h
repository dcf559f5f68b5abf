// Which other programs have a terminal device open (Linux: their open files under /proc).
#pragma once

#include <chrono>
#include <map>
#include <set>
#include <string>
#include <sys/types.h>

namespace lumacrest {

// The programs other than this one that have `device` open, as "name (pid N)" joined by
// ", "; empty when there are none or the system cannot tell. The program holding the other
// end of a pseudo-terminal is its line, not a holder.
std::string OtherHolders(const std::string& device);

// The same answer for many devices from one walk over every process's descriptors: the walk
// costs what the number of processes makes it, so the ports opened together share one. A walk
// older than `lifetime` is made again.
class HolderScan {
  public:
    explicit HolderScan(std::chrono::milliseconds lifetime = std::chrono::milliseconds(250))
        : lifetime_(lifetime) {}

    std::string OtherHolders(const std::string& device);
    // How many walks were made.
    int walks() const { return walks_; }

  private:
    void Walk();

    std::chrono::milliseconds lifetime_;
    bool taken_ = false;
    std::chrono::steady_clock::time_point takenAt_{};
    int walks_ = 0;
    std::map<dev_t, std::set<long>> holders_;  // device -> programs with it open
    std::map<long, std::set<long>> lineEnds_;  // pseudo-terminal index -> its master's holders
};

}  // namespace lumacrest
