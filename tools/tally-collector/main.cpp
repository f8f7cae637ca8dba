// tally-collector: receives the analytics uploads of a local program.
//
//   tally-collector [--host 127.0.0.1] [--port 0] [--db FILE] [options]
//   tally-collector --dump [--db FILE]
//
// Each POST to /app_logs is checked (checksum, serial number, length),
// decrypted when its codex is 1, inflated and stored as JSON in the SQLite
// file. The answer is a Thrift Response ("application/thrift") whose
// imprint carries what the options set. On start it prints
// "listening on HOST:PORT"; for each upload "received <serial> <bytes>",
// then "stored <serial>" once it is in the database.
#include <httplib.h>
#include <sqlite3.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>

#include "analytics/wire/TLTStructures.h"
#include "analytics/wire/TallyEnvelope.h"

namespace {

struct Options {
    std::string host = "127.0.0.1";
    int port = 0;
    std::string db = "tally-collector.db";
    bool dump = false;
    int status = 200;
    std::string contentType = "application/thrift";
    int respCode = 1;
    bool hang = false;
    std::map<std::string, std::string> imprint;
};

const char* kUsage =
    "usage: tally-collector [--host H] [--port P] [--db FILE] [--defcon N] [--codex N]\n"
    "                       [--report-policy N] [--imprint KEY=VALUE]... [--status CODE]\n"
    "                       [--content-type TYPE] [--resp-code N] [--hang]\n"
    "       tally-collector --dump [--db FILE]\n";

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* v = nullptr;
        if (a == "--dump") {
            o.dump = true;
        } else if (a == "--hang") {
            o.hang = true;
        } else if ((a == "--host") && (v = next())) {
            o.host = v;
        } else if (a == "--port" && (v = next())) {
            o.port = std::atoi(v);
        } else if (a == "--db" && (v = next())) {
            o.db = v;
        } else if (a == "--status" && (v = next())) {
            o.status = std::atoi(v);
        } else if (a == "--content-type" && (v = next())) {
            o.contentType = v;
        } else if (a == "--resp-code" && (v = next())) {
            o.respCode = std::atoi(v);
        } else if (a == "--defcon" && (v = next())) {
            o.imprint["defcon"] = v;
        } else if (a == "--codex" && (v = next())) {
            o.imprint["codex"] = v;
        } else if (a == "--report-policy" && (v = next())) {
            o.imprint["report_policy"] = v;
        } else if (a == "--imprint" && (v = next()) && std::strchr(v, '=')) {
            const std::string kv = v;
            o.imprint[kv.substr(0, kv.find('='))] = kv.substr(kv.find('=') + 1);
        } else {
            return false;
        }
    }
    return true;
}

class Store {
public:
    explicit Store(const std::string& path) {
        if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) {
            throw std::runtime_error(std::string("cannot open ") + path);
        }
        sqlite3_exec(db_,
                     "CREATE TABLE IF NOT EXISTS uploads (id INTEGER PRIMARY KEY, received_ms "
                     "INTEGER, address TEXT, serial INTEGER, codex INTEGER, payload TEXT)",
                     nullptr, nullptr, nullptr);
    }
    ~Store() { sqlite3_close(db_); }

    void add(const TLEnvelope& e, const std::string& payload) {
        std::lock_guard lock(mutex_);
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db_,
                           "INSERT INTO uploads (received_ms, address, serial, codex, payload) "
                           "VALUES (?, ?, ?, ?, ?)",
                           -1, &s, nullptr);
        const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
        sqlite3_bind_int64(s, 1, now);
        sqlite3_bind_text(s, 2, e.address().c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(s, 3, e.serial_num());
        sqlite3_bind_int(s, 4, e.codex_isSet() ? e.codex() : 0);
        sqlite3_bind_text(s, 5, payload.data(), static_cast<int>(payload.size()), SQLITE_TRANSIENT);
        sqlite3_step(s);
        sqlite3_finalize(s);
    }

    // One JSON object per upload and line.
    void dump(std::ostream& out) {
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db_, "SELECT serial, codex, payload FROM uploads ORDER BY id", -1, &s,
                           nullptr);
        while (sqlite3_step(s) == SQLITE_ROW) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, 2));
            nlohmann::json line = {
                {"serial_num", sqlite3_column_int(s, 0)},
                {"codex", sqlite3_column_int(s, 1)},
                {"payload", nlohmann::json::parse(text ? text : "null", nullptr, false)}};
            out << line.dump() << "\n";
        }
        sqlite3_finalize(s);
    }

private:
    sqlite3* db_ = nullptr;
    std::mutex mutex_;
};

std::string responseBytes(const Options& o) {
    TLTResponse response;
    response.set_resp_code(o.respCode);
    response.set_msg(o.respCode == 1 ? "ok" : "error");
    if (!o.imprint.empty()) {
        const auto nowMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::system_clock::now().time_since_epoch())
                               .count();
        std::map<std::string, TLTImprintValue> properties;
        for (const auto& [k, v] : o.imprint) {
            TLTImprintValue value;
            value.set_value(v);
            value.set_ts(nowMs);
            value.set_guid("tally-collector");
            properties[k] = value;
        }
        TLTImprint imprint;
        imprint.set_property(std::move(properties));
        imprint.set_version(1);
        imprint.set_checksum(imprint.computeChecksum());
        response.set_imprint(std::move(imprint));
    }
    const auto bytes = TLTSerialize(response);
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o)) {
        std::cerr << kUsage;
        return 2;
    }
    try {
        Store store(o.db);
        if (o.dump) {
            store.dump(std::cout);
            return 0;
        }
        std::signal(SIGPIPE, SIG_IGN);
        httplib::Server server;
        server.set_tcp_nodelay(true);
        std::mutex hangMutex;
        std::condition_variable hangRelease;
        bool stopping = false;
        server.Post("/app_logs", [&](const httplib::Request& req, httplib::Response& res) {
            const std::vector<uint8_t> body(req.body.begin(), req.body.end());
            const auto envelope = TallyEnvelope::readEnvelope(body);
            std::string why = "not an envelope";
            const auto payload = envelope ? TallyEnvelope::openEntity(*envelope, &why)
                                          : std::optional<std::vector<uint8_t>>();
            if (!payload) {
                std::printf("rejected %s\n", why.c_str());
                std::fflush(stdout);
                res.status = 400;
                res.set_content(why, "text/plain");
                return;
            }
            std::printf("received %d %zu\n", envelope->serial_num(), body.size());
            std::fflush(stdout);
            if (o.hang) {
                // Holds the upload open until the collector is stopped.
                std::unique_lock lock(hangMutex);
                hangRelease.wait_for(lock, std::chrono::seconds(60), [&] { return stopping; });
                return;
            }
            store.add(*envelope, std::string(payload->begin(), payload->end()));
            std::printf("stored %d\n", envelope->serial_num());
            std::fflush(stdout);
            res.status = o.status;
            res.set_content(responseBytes(o), o.contentType);
        });
        int port = o.port;
        if (port == 0) {
            port = server.bind_to_any_port(o.host);
        } else if (!server.bind_to_port(o.host, port)) {
            port = -1;
        }
        if (port < 0) {
            std::cerr << "tally-collector: cannot listen on " << o.host << "\n";
            return 1;
        }
        std::printf("listening on %s:%d\n", o.host.c_str(), port);
        std::fflush(stdout);
        server.listen_after_bind();
        {
            std::lock_guard lock(hangMutex);
            stopping = true;
        }
        hangRelease.notify_all();
    } catch (const std::exception& e) {
        std::cerr << "tally-collector: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
