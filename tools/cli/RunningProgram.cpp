#include "RunningProgram.h"

#include <dbus/dbus.h>

namespace {

constexpr const char* kService = "com.zentrik.Quellio";
constexpr const char* kPath = "/com/zentrik/Quellio";
constexpr const char* kInterface = "com.zentrik.Quellio";
// The program answers at once unless it is starved (a loaded machine, a
// slow disk under its settings file), and a command it gets still runs
// after a caller stopped waiting: giving up early reports a failure for
// what then happens. Only a hung program takes this long.
constexpr int kTimeoutMs = 25000;

struct Error {
    DBusError e;
    Error() { dbus_error_init(&e); }
    ~Error() { dbus_error_free(&e); }
    std::string text() const {
        return dbus_error_is_set(&e) ? std::string(e.name) + ": " + e.message : std::string();
    }
};

// Sends `message` (taken over) and returns the reply, or nullptr with `error`.
DBusMessage* callMethod(DBusConnection* connection, DBusMessage* message, std::string& error,
                        int timeoutMs = kTimeoutMs) {
    if (!message) {
        error = "out of memory";
        return nullptr;
    }
    // Never start a program just to answer a script.
    dbus_message_set_auto_start(message, FALSE);
    Error e;
    DBusMessage* reply =
        dbus_connection_send_with_reply_and_block(connection, message, timeoutMs, &e.e);
    dbus_message_unref(message);
    if (!reply) error = e.text();
    return reply;
}

DBusMessage* newCall(const char* method) {
    return dbus_message_new_method_call(kService, kPath, kInterface, method);
}

std::optional<bool> boolReply(DBusMessage* reply, std::string& error) {
    if (!reply) return std::nullopt;
    dbus_bool_t value = FALSE;
    Error e;
    const bool ok = dbus_message_get_args(reply, &e.e, DBUS_TYPE_BOOLEAN, &value, DBUS_TYPE_INVALID);
    dbus_message_unref(reply);
    if (!ok) {
        error = e.text();
        return std::nullopt;
    }
    return value != FALSE;
}

// The rows of an a(s…s) reply of `width` strings each (the reply is taken
// over); nullopt with `error` when the answer has another shape.
std::optional<std::vector<std::vector<std::string>>> stringRows(DBusMessage* reply, size_t width,
                                                                const std::string& what,
                                                                std::string& error) {
    if (!reply) return std::nullopt;
    std::vector<std::vector<std::string>> rows;
    DBusMessageIter top, array, item;
    bool ok = dbus_message_iter_init(reply, &top) &&
              dbus_message_iter_get_arg_type(&top) == DBUS_TYPE_ARRAY;
    if (ok) {
        dbus_message_iter_recurse(&top, &array);
        while (ok && dbus_message_iter_get_arg_type(&array) == DBUS_TYPE_STRUCT) {
            dbus_message_iter_recurse(&array, &item);
            std::vector<std::string> row;
            while (dbus_message_iter_get_arg_type(&item) == DBUS_TYPE_STRING) {
                const char* s = nullptr;
                dbus_message_iter_get_basic(&item, &s);
                row.emplace_back(s);
                dbus_message_iter_next(&item);
            }
            ok = row.size() == width;
            rows.push_back(std::move(row));
            dbus_message_iter_next(&array);
        }
    }
    dbus_message_unref(reply);
    if (!ok) {
        error = "the program's " + what + " answer is not a(" + std::string(width, 's') + ")";
        return std::nullopt;
    }
    return rows;
}

}  // namespace

RunningProgram::RunningProgram() {
    Error e;
    connection_ = dbus_bus_get_private(DBUS_BUS_SESSION, &e.e);
    if (!connection_) return;
    dbus_connection_set_exit_on_disconnect(connection_, FALSE);
    Error owner;
    reachable_ = dbus_bus_name_has_owner(connection_, kService, &owner.e);
}

RunningProgram::~RunningProgram() {
    if (!connection_) return;
    dbus_connection_close(connection_);
    dbus_connection_unref(connection_);
}

std::optional<bool> RunningProgram::play(const std::string& category, const std::string& title,
                                         std::string& error) {
    DBusMessage* message = newCall("Play");
    const char* c = category.c_str();
    const char* t = title.c_str();
    if (message)
        dbus_message_append_args(message, DBUS_TYPE_STRING, &c, DBUS_TYPE_STRING, &t,
                                 DBUS_TYPE_INVALID);
    return boolReply(callMethod(connection_, message, error), error);
}

std::optional<bool> RunningProgram::callWithStrings(const char* method,
                                                   const std::vector<std::string>& args,
                                                   std::string& error) {
    DBusMessage* message = newCall(method);
    if (message) {
        DBusMessageIter it;
        dbus_message_iter_init_append(message, &it);
        for (const std::string& a : args) {
            const char* s = a.c_str();
            dbus_message_iter_append_basic(&it, DBUS_TYPE_STRING, &s);
        }
    }
    return boolReply(callMethod(connection_, message, error), error);
}

std::optional<std::vector<std::vector<std::string>>> RunningProgram::listHotkeys(
    std::string& error) {
    return stringRows(callMethod(connection_, newCall("ListHotkeys"), error), 3, "ListHotkeys",
                      error);
}

std::optional<bool> RunningProgram::playFavorite(const std::string& title, std::string& error) {
    DBusMessage* message = newCall("PlayFavorite");
    const char* t = title.c_str();
    if (message) dbus_message_append_args(message, DBUS_TYPE_STRING, &t, DBUS_TYPE_INVALID);
    return boolReply(callMethod(connection_, message, error), error);
}

bool RunningProgram::stop(std::string& error) {
    DBusMessage* reply = callMethod(connection_, newCall("Stop"), error);
    if (!reply) return false;
    dbus_message_unref(reply);
    return true;
}

std::optional<std::vector<std::pair<std::string, std::string>>> RunningProgram::list(
    std::string& error) {
    auto rows = stringRows(callMethod(connection_, newCall("List"), error), 2, "List", error);
    if (!rows) return std::nullopt;
    std::vector<std::pair<std::string, std::string>> items;
    for (auto& row : *rows) items.emplace_back(std::move(row[0]), std::move(row[1]));
    return items;
}

std::optional<RunningProgram::Imported> RunningProgram::importFile(
    const std::string& path, const std::string& title, bool normalise, bool trim, double target,
    bool replace, std::string& error) {
    // Ten minutes of sound import in seconds; the rest is room for a busy machine.
    constexpr int kImportTimeoutMs = 120000;
    DBusMessage* message = newCall("Import");
    const char* p = path.c_str();
    const char* t = title.c_str();
    dbus_bool_t n = normalise, tr = trim, r = replace;
    if (message)
        dbus_message_append_args(message, DBUS_TYPE_STRING, &p, DBUS_TYPE_STRING, &t,
                                 DBUS_TYPE_BOOLEAN, &n, DBUS_TYPE_BOOLEAN, &tr, DBUS_TYPE_DOUBLE,
                                 &target, DBUS_TYPE_BOOLEAN, &r, DBUS_TYPE_INVALID);
    DBusMessage* reply = callMethod(connection_, message, error, kImportTimeoutMs);
    if (!reply) return std::nullopt;
    const char* saved = nullptr;
    const char* note = nullptr;
    Error e;
    const bool ok = dbus_message_get_args(reply, &e.e, DBUS_TYPE_STRING, &saved, DBUS_TYPE_STRING,
                                          &note, DBUS_TYPE_INVALID);
    std::optional<Imported> result;
    if (ok) result = Imported{saved, note};
    else error = e.text();
    dbus_message_unref(reply);
    return result;
}
