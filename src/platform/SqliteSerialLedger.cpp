#include "platform/SqliteSerialLedger.h"

#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <limits>

namespace lumacrest {

namespace {

constexpr int kBusyTimeoutMs = 20000;

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS serials ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " number INTEGER NOT NULL,"
    " issued TEXT NOT NULL,"
    " marked TEXT,"
    " status TEXT NOT NULL,"
    " port TEXT, device TEXT, programmer TEXT, mcu TEXT,"
    " flash_checksum TEXT, boot_checksum TEXT, run_id TEXT,"
    " pid INTEGER, boot TEXT);"
    "CREATE INDEX IF NOT EXISTS serials_number ON serials(number);"
    "CREATE TABLE IF NOT EXISTS station (key TEXT PRIMARY KEY, value INTEGER);";

// A number that is on a chip, or may be, or is held by a run: everything but a given-back one.
constexpr const char* kIssued = "status != 'given back'";

// This boot of the machine: a reservation of another boot belongs to a process long gone.
const std::string& BootId() {
    static const std::string id = [] {
        std::ifstream in("/proc/sys/kernel/random/boot_id");
        std::string text;
        std::getline(in, text);
        return text;
    }();
    return id;
}

bool ProcessAlive(int64_t pid, const std::string& boot) {
    if (boot != BootId() || pid <= 0) return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// One prepared statement; finalized when it goes.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) { ok_ = sqlite3_prepare_v2(db, sql, -1, &s_, nullptr) == SQLITE_OK; }
    ~Statement() { sqlite3_finalize(s_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    bool ok() const { return ok_; }
    Statement& Bind(int i, int64_t v) {
        ok_ = ok_ && sqlite3_bind_int64(s_, i, v) == SQLITE_OK;
        return *this;
    }
    Statement& Bind(int i, const std::string& v) {
        ok_ = ok_ && sqlite3_bind_text(s_, i, v.c_str(), static_cast<int>(v.size()), SQLITE_TRANSIENT) == SQLITE_OK;
        return *this;
    }
    // True while a row is there; `ok()` tells a finished statement from a failed one.
    bool Step() {
        if (!ok_) return false;
        const int rc = sqlite3_step(s_);
        if (rc == SQLITE_ROW) return true;
        ok_ = rc == SQLITE_DONE;
        return false;
    }
    bool IsNull(int col) const { return sqlite3_column_type(s_, col) == SQLITE_NULL; }
    int64_t Int(int col) const { return sqlite3_column_int64(s_, col); }
    std::string Text(int col) const {
        const unsigned char* t = sqlite3_column_text(s_, col);
        return t ? reinterpret_cast<const char*>(t) : "";
    }

private:
    sqlite3_stmt* s_ = nullptr;
    bool ok_ = false;
};

bool Exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// BEGIN IMMEDIATE: the write lock is taken at once (waiting out the busy timeout), so two
// draws never read the same free number. Rolled back unless committed.
class Transaction {
public:
    explicit Transaction(sqlite3* db) : db_(db) { open_ = Exec(db, "BEGIN IMMEDIATE"); }
    ~Transaction() {
        if (open_) Exec(db_, "ROLLBACK");
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    bool ok() const { return open_; }
    bool Commit() {
        if (!open_) return false;
        open_ = false;
        if (Exec(db_, "COMMIT")) return true;
        Exec(db_, "ROLLBACK");
        return false;
    }

private:
    sqlite3* db_;
    bool open_ = false;
};

constexpr const char* kRowColumns =
    "id, number, issued, marked, status, port, device, programmer, mcu, flash_checksum,"
    " boot_checksum, run_id, pid, boot";

SerialRow ReadRow(const Statement& s) {
    SerialRow r;
    r.id = s.Int(0);
    r.number = static_cast<uint32_t>(s.Int(1));
    r.issued = s.Text(2);
    r.marked = s.Text(3);
    r.state = SerialStateFromName(s.Text(4)).value_or(SerialState::Unknown);
    r.issue = {s.Text(5), s.Text(6), s.Text(7), s.Text(8), s.Text(9), s.Text(10), s.Text(11)};
    // A reservation whose process is gone is unknown, whether or not a draw has said so yet.
    if (r.state == SerialState::Reserved && !ProcessAlive(s.Int(12), s.Text(13)))
        r.state = SerialState::Unknown;
    return r;
}

std::optional<SerialRange> ReadRange(sqlite3* db) {
    Statement s(db, "SELECT (SELECT value FROM station WHERE key = 'range_from'),"
                    " (SELECT value FROM station WHERE key = 'range_to')");
    if (!s.Step() || s.IsNull(0) || s.IsNull(1)) return std::nullopt;
    return SerialRange{static_cast<uint32_t>(s.Int(0)), static_cast<uint32_t>(s.Int(1))};
}

// The numbers of the range never issued, given-back ones counted as free.
uint64_t Left(sqlite3* db, const SerialRange& r) {
    Statement s(db, (std::string("SELECT COUNT(DISTINCT number) FROM serials WHERE number BETWEEN ?1 AND ?2 AND ") +
                     kIssued).c_str());
    s.Bind(1, r.from).Bind(2, r.to);
    const uint64_t used = s.Step() ? static_cast<uint64_t>(s.Int(0)) : 0;
    const uint64_t size = uint64_t{r.to} - r.from + 1;
    return used < size ? size - used : 0;
}

// The lowest number at or above `asked` that is not issued (it may lie beyond 32 bits).
std::optional<int64_t> FirstFree(sqlite3* db, uint32_t asked) {
    Statement s(db, (std::string("SELECT MIN(c) FROM (SELECT ?1 AS c UNION ALL SELECT number + 1 FROM serials"
                                 " WHERE number >= ?1 AND ") + kIssued +
                     ") WHERE NOT EXISTS (SELECT 1 FROM serials s WHERE s.number = c AND s." + kIssued + ")")
                        .c_str());
    s.Bind(1, asked);
    if (!s.Step()) return std::nullopt;
    return s.Int(0);
}

std::string RangeText(const SerialRange& r) {
    return std::to_string(r.from) + "-" + std::to_string(r.to);
}

}  // namespace

SqliteSerialLedger::SqliteSerialLedger(std::string path) : path_(std::move(path)) {}

SqliteSerialLedger::~SqliteSerialLedger() { Close(); }

void SqliteSerialLedger::Close() {
    if (db_) sqlite3_close(db_);
    db_ = nullptr;
}

std::string SqliteSerialLedger::Error(const std::string& doing) const {
    return "the serial-number ledger " + path_ + " " + doing + ": " + (db_ ? sqlite3_errmsg(db_) : "not open");
}

std::string SqliteSerialLedger::Open(bool create) {
    if (db_) return {};
    if (create) {
        // Made here rather than by SQLite, mode 0660 whatever the umask: every operator of the
        // folder's group draws from it. SQLite gives its WAL files the same mode.
        const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0660);
        if (fd >= 0) {
            ::fchmod(fd, 0660);
            ::close(fd);
        } else if (errno != EEXIST) {
            return "the serial-number ledger " + path_ + " cannot be created: " + std::strerror(errno);
        }
    }
    if (sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        std::string why = Error("cannot be opened for writing");
        Close();
        return why;
    }
    if (sqlite3_db_readonly(db_, "main") == 1) {
        Close();
        return "the serial-number ledger " + path_ + " cannot be opened for writing: it is read-only";
    }
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    Exec(db_, "PRAGMA journal_mode=WAL");
    Transaction t(db_);
    if (!t.ok() || !Exec(db_, kSchema) || !t.Commit()) {
        std::string why = Error("cannot be written");
        Close();
        return why;
    }
    return {};
}

SerialDraw SqliteSerialLedger::Draw(uint32_t asked, const SerialIssue& issue) {
    SerialDraw d;
    if (std::string why = Open(true); !why.empty()) {
        d.refusal = why;
        return d;
    }
    Transaction t(db_);
    if (!t.ok()) {
        d.refusal = Error("cannot be written");
        return d;
    }
    // Reservations of processes that are gone become unknown: never issued again.
    {
        Statement s(db_, "SELECT id, pid, boot FROM serials WHERE status = 'reserved'");
        std::vector<int64_t> gone;
        while (s.Step())
            if (!ProcessAlive(s.Int(1), s.Text(2))) gone.push_back(s.Int(0));
        for (int64_t id : gone) {
            Statement u(db_, "UPDATE serials SET status = 'unknown' WHERE id = ?1");
            u.Bind(1, id).Step();
        }
    }
    const std::optional<SerialRange> range = ReadRange(db_);
    if (range && (asked < range->from || asked > range->to)) {
        d.refusal = "serial number " + std::to_string(asked) + " lies outside this station's range " +
                    RangeText(*range) + " (" + std::to_string(Left(db_, *range)) + " numbers left)";
        return d;
    }
    const std::optional<int64_t> free = FirstFree(db_, asked);
    if (!free) {
        d.refusal = Error("cannot be read");
        return d;
    }
    const int64_t limit = range ? range->to : std::numeric_limits<uint32_t>::max();
    if (*free > limit) {
        const uint64_t left = range ? Left(db_, *range) : 0;
        if (!range)
            d.refusal = "no serial number at or above " + std::to_string(asked) + " is left";
        else if (left == 0)
            d.refusal = "this station's range " + RangeText(*range) + " is used up (0 numbers left)";
        else
            d.refusal = "this station's range " + RangeText(*range) + " has no number left at or above " +
                        std::to_string(asked) + " (" + std::to_string(left) + " numbers left below it)";
        return d;
    }
    if (*free != asked) {
        Statement s(db_, (std::string("SELECT ") + kRowColumns + " FROM serials WHERE number = ?1 AND " +
                          kIssued + " ORDER BY id DESC LIMIT 1").c_str());
        s.Bind(1, asked);
        if (s.Step()) d.askedWasIssued = ReadRow(s);
    }
    Statement insert(db_,
                     "INSERT INTO serials (number, issued, status, port, device, programmer, mcu,"
                     " flash_checksum, boot_checksum, run_id, pid, boot)"
                     " VALUES (?1, datetime('now'), 'reserved', ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
    insert.Bind(1, *free).Bind(2, issue.port).Bind(3, issue.device).Bind(4, issue.programmer)
        .Bind(5, issue.mcu).Bind(6, issue.flashChecksum).Bind(7, issue.bootChecksum).Bind(8, issue.runId)
        .Bind(9, static_cast<int64_t>(::getpid())).Bind(10, BootId());
    insert.Step();
    if (!insert.ok() || !t.Commit()) {
        d.refusal = Error("cannot be written");
        d.askedWasIssued.reset();
        return d;
    }
    d.number = static_cast<uint32_t>(*free);
    return d;
}

std::string SqliteSerialLedger::Mark(uint32_t number, const std::string& runId, SerialState state) {
    if (std::string why = Open(false); !why.empty()) return why;
    Statement s(db_, "UPDATE serials SET status = ?1, marked = datetime('now')"
                     " WHERE number = ?2 AND run_id = ?3 AND status IN ('reserved', 'unknown')");
    s.Bind(1, SerialStateName(state)).Bind(2, number).Bind(3, runId).Step();
    if (!s.ok()) return Error("cannot be written");
    if (sqlite3_changes(db_) == 0)
        return "the serial-number ledger " + path_ + " holds no reservation of " + std::to_string(number) +
               " for this run";
    return {};
}

std::string SqliteSerialLedger::SetRange(std::optional<SerialRange> range) {
    if (std::string why = Open(true); !why.empty()) return why;
    Transaction t(db_);
    bool ok = t.ok();
    if (ok && range) {
        for (auto [key, value] : {std::pair{"range_from", range->from}, std::pair{"range_to", range->to}}) {
            Statement s(db_, "INSERT OR REPLACE INTO station (key, value) VALUES (?1, ?2)");
            s.Bind(1, key).Bind(2, value).Step();
            ok = ok && s.ok();
        }
    } else if (ok) {
        ok = Exec(db_, "DELETE FROM station WHERE key IN ('range_from', 'range_to')");
    }
    if (!ok || !t.Commit()) return Error("cannot be written");
    return {};
}

SerialListing SqliteSerialLedger::List(const SerialQuery& query) {
    SerialListing l;
    struct stat st;
    if (!db_ && ::stat(path_.c_str(), &st) != 0 && errno == ENOENT) {
        l.next = query.asked;  // nothing issued on this station yet
        return l;
    }
    if (std::string why = Open(false); !why.empty()) {
        l.error = why;
        return l;
    }
    // One read transaction: the rows, the range and the next number agree.
    Exec(db_, "BEGIN");
    {
        const std::string sql =
            query.number ? std::string("SELECT ") + kRowColumns + " FROM serials WHERE number = ?1 ORDER BY id"
                         : std::string("SELECT * FROM (SELECT ") + kRowColumns +
                               " FROM serials ORDER BY id DESC LIMIT ?1) ORDER BY id";
        Statement s(db_, sql.c_str());
        s.Bind(1, query.number ? int64_t{*query.number} : static_cast<int64_t>(query.last));
        while (s.Step()) l.rows.push_back(ReadRow(s));
        if (!s.ok()) l.error = Error("cannot be read");
    }
    l.range = ReadRange(db_);
    if (l.range) l.left = Left(db_, *l.range);
    const std::optional<int64_t> free = FirstFree(db_, query.asked);
    const int64_t limit = l.range ? l.range->to : std::numeric_limits<uint32_t>::max();
    const bool inRange = !l.range || (query.asked >= l.range->from && query.asked <= l.range->to);
    if (free && *free <= limit && inRange) l.next = static_cast<uint32_t>(*free);
    Exec(db_, "COMMIT");
    return l;
}

}  // namespace lumacrest
