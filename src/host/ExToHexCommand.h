// Convert Ex To Hex: the external converter "e.exe" from the program directory turns a
// ".ex" file into an Intel HEX file beside it. The converter works on copies in a private
// scratch directory made for each run; every wait for it is bounded (in the window it is
// waited for on the event loop), and everything it started ends with it. Its output is taken
// only when it is a regular file within the size bound that reads as a whole, good HEX file.
#pragma once

#include <chrono>
#include <string>

#include "host/Host.h"

namespace lumacrest {

inline constexpr std::chrono::milliseconds kConverterTimeout{30000};
inline constexpr const char* kConverterName = "e.exe";
inline constexpr const char* kConvertOk = "Convert Ex To Hex OK";

// "dir/app.ex" (any case of ".ex") gives "dir/app.hex"; any other name gets ".hex" appended.
std::string ExToHexOutputPath(const std::string& source);

// Where a conversion stands as ConvertExToHex returns: it failed (the operator was told why),
// the converter still runs (its result is told from the front end's event loop), or the HEX
// file was written.
enum class Conversion { Failed, UnderWay, Converted };

// Converts the ".ex" file at `path`. `timeout` bounds the converter's run. The result is told
// when the converter has ended: before this returns, or later from the front end's event loop.
[[nodiscard]] Conversion ConvertExToHex(Host& h, const std::string& path,
                    std::chrono::milliseconds timeout = kConverterTimeout);

}  // namespace lumacrest
