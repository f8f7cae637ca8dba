#include "analytics/collect/TLCachedDB.h"

#include <sqlite3.h>

#include <cstdio>

#include "analytics/support/TallyLog.h"

namespace {

const char* kAgSchema =
    "CREATE TABLE IF NOT EXISTS %s (ck TEXT, valueSum INTEGER, tsSum INTEGER, twNum INTEGER, "
    "count INTEGER, labels TEXT)";
const char* kMetaSchema =
    "CREATE TABLE IF NOT EXISTS %s (ck TEXT, value INTEGER, ts INTEGER, label TEXT, PRIMARY KEY "
    "(ts, ck))";

// One prepared statement, finalised on scope exit.
class Statement {
public:
    Statement(sqlite3* db, const std::string& sql) {
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK) {
            TLLog("ERROR to run sql: %s, error: %s", sql.c_str(), sqlite3_errmsg(db));
            stmt_ = nullptr;
        }
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    explicit operator bool() const { return stmt_ != nullptr; }
    Statement& bind(int i, const std::string& v) {
        sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& bind(int i, int64_t v) {
        sqlite3_bind_int64(stmt_, i, v);
        return *this;
    }
    int step() { return sqlite3_step(stmt_); }
    void reset() { sqlite3_reset(stmt_); }
    std::string text(int i) const {
        const auto* p = sqlite3_column_text(stmt_, i);
        return p ? std::string(reinterpret_cast<const char*>(p),
                               static_cast<size_t>(sqlite3_column_bytes(stmt_, i)))
                 : std::string();
    }
    int64_t integer(int i) const { return sqlite3_column_int64(stmt_, i); }

private:
    sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace

TLCachedDB::TLCachedDB(std::string path) : path_(std::move(path)) {
    open();
}

TLCachedDB::~TLCachedDB() {
    sqlite3_close(db_);
}

void TLCachedDB::open() {
    if (sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        TLLog("ERROR failed to open db connection");
        sqlite3_close(db_);
        db_ = nullptr;
        std::remove(path_.c_str());
        return;
    }
    for (const char* table : {kAgCachedTable, kAgTable}) {
        if (!exec(TLFormat(kAgSchema, table))) TLLog("ERROR failed to create %s.", table);
    }
    if (!exec(TLFormat(kMetaSchema, kVeMetaTable))) {
        TLLog("WARNING failed to create %s.", kVeMetaTable);
    }
}

bool TLCachedDB::exec(const std::string& sql) {
    if (!db_) return false;
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        TLLog("ERROR to run sql: %s, error: %s", sql.c_str(), error ? error : "");
        sqlite3_free(error);
        return false;
    }
    return true;
}

bool TLCachedDB::clearTable(const char* table) {
    if (!exec(TLFormat("DELETE FROM %s", table))) {
        TLLog("WARNING failed to clear data in %s.", table);
        return false;
    }
    return true;
}

int64_t TLCachedDB::count(const char* table) {
    if (!db_) return 0;
    Statement s(db_, TLFormat("SELECT COUNT(*) FROM %s", table));
    if (!s || s.step() != SQLITE_ROW) {
        TLLog("WARNING failed to query data. %s", sqlite3_errmsg(db_));
        return 0;
    }
    return s.integer(0);
}

bool TLCachedDB::insertAg(const char* table, const AgRow& row) {
    if (!db_) return false;
    Statement s(db_, TLFormat("INSERT INTO %s (ck, valueSum, tsSum, twNum, count, labels) VALUES "
                              "(?, ?, ?, ?, ?, ?)",
                              table));
    if (!s) return false;
    s.bind(1, row.ck).bind(2, row.valueSum).bind(3, row.tsSum).bind(4, row.twNum);
    s.bind(5, row.count).bind(6, row.labels);
    if (s.step() != SQLITE_DONE) {
        TLLog("WARNING failed to insert data to %s", table);
        return false;
    }
    return true;
}

bool TLCachedDB::copyTable(const char* from, const char* to) {
    if (!exec(
            TLFormat("INSERT INTO %s (ck, valueSum, tsSum, twNum, count, labels) SELECT * FROM %s",
                     to, from))) {
        TLLog("WARNING Failed to insert data to %s from %s", to, from);
        return false;
    }
    return true;
}

std::vector<TLCachedDB::AgRow> TLCachedDB::selectAg(const char* table, bool ordered) {
    std::vector<AgRow> rows;
    if (!db_) return rows;
    Statement s(db_, ordered ? TLFormat("SELECT * FROM %s ORDER BY ck ASC, twNum DESC", table)
                             : TLFormat("SELECT * FROM %s", table));
    if (!s) return rows;
    int rc;
    while ((rc = s.step()) == SQLITE_ROW) {
        rows.push_back(
            {s.text(0), s.integer(1), s.integer(2), s.integer(3), s.integer(4), s.text(5)});
    }
    if (rc != SQLITE_DONE) TLLog("WARNING failed to query data. %s", sqlite3_errmsg(db_));
    return rows;
}

bool TLCachedDB::insertMeta(const MetaRow& row) {
    if (!db_) return false;
    Statement s(db_, "INSERT INTO veMetaTable (ck, value, ts, label) VALUES (?, ?, ?, ?)");
    if (!s) return false;
    for (int64_t attempt = 0; attempt < 1000; ++attempt) {
        s.reset();
        s.bind(1, row.ck).bind(2, row.value).bind(3, row.ts + attempt).bind(4, row.label);
        const int rc = s.step();
        if (rc == SQLITE_DONE) return true;
        if (rc != SQLITE_CONSTRAINT) break;
    }
    TLLog("WARNING failed to insert data in %s.", kVeMetaTable);
    return false;
}

std::vector<TLCachedDB::MetaRow> TLCachedDB::selectMeta() {
    std::vector<MetaRow> rows;
    if (!db_) return rows;
    Statement s(db_, TLFormat("SELECT * FROM %s ORDER BY ts ASC", kVeMetaTable));
    if (!s) return rows;
    int rc;
    while ((rc = s.step()) == SQLITE_ROW) {
        rows.push_back({s.text(0), s.integer(1), s.integer(2), s.text(3)});
    }
    if (rc != SQLITE_DONE) TLLog("WARNING failed to query data. %s", sqlite3_errmsg(db_));
    return rows;
}
