#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct sqlite3;

// The aggregation database "cache.db": two tables of key-path cells
// ("agCachedTable" for the running window, "agTable" for finished ones) and
// the meta items ("veMetaTable"). Values always travel as bound parameters,
// so keys and labels may hold any text. Main thread only; errors are logged
// and the call does nothing.
class TLCachedDB {
public:
    static constexpr const char* kAgCachedTable = "agCachedTable";
    static constexpr const char* kAgTable = "agTable";
    static constexpr const char* kVeMetaTable = "veMetaTable";

    struct AgRow {
        std::string ck;
        int64_t valueSum = 0;
        int64_t tsSum = 0;
        int64_t twNum = 0;
        int64_t count = 0;
        std::string labels;  // joined with "!"
    };
    struct MetaRow {
        std::string ck;
        int64_t value = 0;
        int64_t ts = 0;  // milliseconds since 1970
        std::string label;
    };

    explicit TLCachedDB(std::string path);
    ~TLCachedDB();
    TLCachedDB(const TLCachedDB&) = delete;
    TLCachedDB& operator=(const TLCachedDB&) = delete;

    bool isOpen() const { return db_ != nullptr; }

    bool clearTable(const char* table);
    int64_t count(const char* table);
    bool insertAg(const char* table, const AgRow& row);
    // Copies every row of `from` into `to`.
    bool copyTable(const char* from, const char* to);
    std::vector<AgRow> selectAg(const char* table, bool ordered);
    // A second item of the same key in the same millisecond moves to the
    // next free millisecond instead of being lost.
    bool insertMeta(const MetaRow& row);
    std::vector<MetaRow> selectMeta();

private:
    void open();
    bool exec(const std::string& sql);

    std::string path_;
    sqlite3* db_ = nullptr;
};
