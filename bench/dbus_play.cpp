// A D-Bus Play call to the running program until its Playing property says
// the effect plays: the bus round trip, the tap on the board and the
// engine's start, as a Stream Deck button or a chat bot sees them.
//
// Starts the real program (offscreen, null audio output, a scratch home)
// on the session bus this driver is given; run it under a private bus:
//
//     dbus-run-session -- build/release/bench/bench_dbus_play [CALLS]
//
// Each round plays one board effect and stops it again, and prints the
// median and 99th percentile of the reply and of the Playing change.
// Target: median 3 ms or less.
#include <dbus/dbus.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kService = "com.zentrik.Quellio";
constexpr const char* kPath = "/com/zentrik/Quellio";
constexpr const char* kInterface = "com.zentrik.Quellio";

DBusMessage* call(DBusConnection* bus, const char* method, const std::vector<const char*>& args) {
    DBusMessage* message = dbus_message_new_method_call(kService, kPath, kInterface, method);
    for (const char* a : args) dbus_message_append_args(message, DBUS_TYPE_STRING, &a, DBUS_TYPE_INVALID);
    DBusError error;
    dbus_error_init(&error);
    DBusMessage* reply = dbus_connection_send_with_reply_and_block(bus, message, 25000, &error);
    dbus_message_unref(message);
    if (!reply) {
        std::fprintf(stderr, "%s: %s\n", method, error.message);
        dbus_error_free(&error);
    }
    return reply;
}

// The value of Playing in a PropertiesChanged signal, if it is one.
bool playingIn(DBusMessage* message, std::string& value) {
    if (!dbus_message_is_signal(message, "org.freedesktop.DBus.Properties", "PropertiesChanged"))
        return false;
    DBusMessageIter top, dict, entry, variant;
    dbus_message_iter_init(message, &top);
    dbus_message_iter_next(&top);  // the interface's name
    if (dbus_message_iter_get_arg_type(&top) != DBUS_TYPE_ARRAY) return false;
    dbus_message_iter_recurse(&top, &dict);
    while (dbus_message_iter_get_arg_type(&dict) == DBUS_TYPE_DICT_ENTRY) {
        dbus_message_iter_recurse(&dict, &entry);
        const char* key = nullptr;
        dbus_message_iter_get_basic(&entry, &key);
        dbus_message_iter_next(&entry);
        dbus_message_iter_recurse(&entry, &variant);
        if (std::string(key) == "Playing" && dbus_message_iter_get_arg_type(&variant) == DBUS_TYPE_STRING) {
            const char* s = nullptr;
            dbus_message_iter_get_basic(&variant, &s);
            value = s;
            return true;
        }
        dbus_message_iter_next(&dict);
    }
    return false;
}

// Reads the bus until Playing becomes `wanted`; false after 10 s.
bool awaitPlaying(DBusConnection* bus, const std::string& wanted) {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline) {
        while (DBusMessage* message = dbus_connection_pop_message(bus)) {
            std::string value;
            const bool found = playingIn(message, value) && value == wanted;
            dbus_message_unref(message);
            if (found) return true;
        }
        dbus_connection_read_write(bus, 100);
    }
    return false;
}

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void report(const char* what, std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    const auto at = [&](double q) { return samples[static_cast<size_t>(q * (samples.size() - 1))]; };
    std::printf("%-28s median %7.3f ms   p99 %7.3f ms   max %7.3f ms\n", what, at(0.5), at(0.99),
                samples.back());
}

}  // namespace

int main(int argc, char** argv) {
    const int calls = argc > 1 ? std::atoi(argv[1]) : 500;
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* bus = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    if (!bus) {
        std::fprintf(stderr, "no session bus (run under dbus-run-session): %s\n", error.message);
        return 1;
    }
    dbus_connection_set_exit_on_disconnect(bus, FALSE);
    if (dbus_bus_name_has_owner(bus, kService, nullptr)) {
        std::fprintf(stderr, "a program already runs on this bus: use a private one\n");
        return 1;
    }
    const auto home = std::filesystem::temp_directory_path() /
                      ("bench-dbus-play-" + std::to_string(getpid()));
    const pid_t program = fork();
    if (program == 0) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("QUELLIO_AUDIO_BACKEND", "null", 1);
        setenv("QUELLIO_HOME", home.c_str(), 1);
        execl(QUELLIO, QUELLIO, static_cast<char*>(nullptr));
        _exit(127);
    }
    // Ready once the object answers: the name is taken before launching ends.
    DBusMessage* list = nullptr;
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (!list && Clock::now() < deadline) {
        if (dbus_bus_name_has_owner(bus, kService, nullptr)) list = call(bus, "List", {});
        if (!list) usleep(50000);
    }
    if (!list) {
        std::fprintf(stderr, "the program did not come up\n");
        kill(program, SIGTERM);
        return 1;
    }
    // The first board effect.
    DBusMessageIter top, array, item;
    dbus_message_iter_init(list, &top);
    dbus_message_iter_recurse(&top, &array);
    dbus_message_iter_recurse(&array, &item);
    const char *category = nullptr, *title = nullptr;
    dbus_message_iter_get_basic(&item, &category);
    dbus_message_iter_next(&item);
    dbus_message_iter_get_basic(&item, &title);
    const std::string c = category, t = title, playing = c + "/" + t;
    dbus_message_unref(list);
    dbus_bus_add_match(bus,
                       "type='signal',interface='org.freedesktop.DBus.Properties',"
                       "member='PropertiesChanged',path='/com/zentrik/Quellio'",
                       nullptr);

    std::vector<double> replies, changes;
    int failures = 0;
    for (int i = 0; i < calls; ++i) {
        const auto start = Clock::now();
        DBusMessage* reply = call(bus, "Play", {c.c_str(), t.c_str()});
        const auto replied = Clock::now();
        if (!reply || !awaitPlaying(bus, playing)) {
            ++failures;
        } else {
            replies.push_back(ms(replied - start));
            changes.push_back(ms(Clock::now() - start));
        }
        if (reply) dbus_message_unref(reply);
        if (DBusMessage* stopped = call(bus, "Stop", {})) dbus_message_unref(stopped);
        awaitPlaying(bus, "");
    }
    kill(program, SIGTERM);
    waitpid(program, nullptr, 0);
    std::filesystem::remove_all(home);
    std::printf("%d Play calls of \"%s\" (%d failed)\n", calls, playing.c_str(), failures);
    if (replies.empty()) return 1;
    report("Play reply", replies);
    report("Play until Playing changes", changes);
    return failures ? 1 : 0;
}
