// SHA-256 of a byte string, as the lowercase hex digits sha256sum prints.
#pragma once

#include <string>

namespace lumacrest {

std::string Sha256Hex(const std::string& bytes);

}  // namespace lumacrest
