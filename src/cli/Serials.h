// `lumacrest-cli serials`: the serial-number ledger as text or as one JSON object.
#pragma once

#include <string>

#include "platform/SerialLedger.h"

namespace lumacrest::cli {

// `where`: the ledger's file; `query`: what was asked for (the rows, the number the settings
// ask for).
std::string SerialsText(const SerialListing& listing, const std::string& where, const SerialQuery& query);
std::string SerialsJson(const SerialListing& listing, const std::string& where, const SerialQuery& query);

}  // namespace lumacrest::cli
