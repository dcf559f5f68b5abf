// Log lines the tests expect, shared by the core and the end-to-end tests.
#pragma once

#include <string>
#include <vector>

namespace lumacrest::test {

// A full Update (erase, boot, flash, KeyCode) on a chip whose KeyCode is not enabled, from the
// program-mode line to the exit.
inline const std::vector<std::string> kFullUpdateLog = {
    "Enter Program Mode......OK",
    "KeyCode Verify......KeyCode is not enable.",
    "Erase Device,Please Waiting...... OK",
    "Write Boot......OK",
    "Verify Boot......OK",
    "Write FLASH......OK",
    "Verify FLASH......OK",
    "Write KeyCode......OK",
    "KeyCode Verify......Pass",
    "Eixt Program Mode......OK"};

}  // namespace lumacrest::test
