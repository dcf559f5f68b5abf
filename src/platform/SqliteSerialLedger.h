// The serial-number ledger in an SQLite database: one table of issued numbers, one of the
// station's settings (its range). Every draw is one BEGIN IMMEDIATE transaction on a WAL
// database with a busy timeout, so several processes draw one after the other; a row is
// committed before its number is written into an image, so a process killed at any moment
// leaves its number reserved, never free.
#pragma once

#include <string>

#include "platform/SerialLedger.h"

struct sqlite3;

namespace lumacrest {

// The ledger file in a program directory.
inline constexpr const char* kSerialLedgerFileName = "serials.db";

class SqliteSerialLedger : public SerialLedger {
public:
    // Nothing is opened before the first call that needs the file.
    explicit SqliteSerialLedger(std::string path);
    ~SqliteSerialLedger() override;
    SqliteSerialLedger(const SqliteSerialLedger&) = delete;
    SqliteSerialLedger& operator=(const SqliteSerialLedger&) = delete;

    std::string Where() const override { return path_; }
    SerialDraw Draw(uint32_t asked, const SerialIssue& issue) override;
    std::string Mark(uint32_t number, const std::string& runId, SerialState state) override;
    std::string SetRange(std::optional<SerialRange> range) override;
    SerialListing List(const SerialQuery& query) override;

private:
    // Opens the file (created mode 0660 when `create`) for writing. Empty, or why not.
    std::string Open(bool create);
    void Close();
    std::string Error(const std::string& doing) const;

    std::string path_;
    sqlite3* db_ = nullptr;
};

}  // namespace lumacrest
