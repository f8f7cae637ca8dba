#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

// The running program as seen from the command line: its commands on the
// session bus (libdbus-1, so the command line stays free of Qt). A refusal
// or a program that does not answer gives nullopt (false) and `error`.
class RunningProgram {
public:
    RunningProgram();
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    // A session bus is there and a program holds its name on it.
    bool reachable() const { return reachable_; }

    // The program's answer, or its refusal in `error` (name: message).
    std::optional<bool> play(const std::string& category, const std::string& title,
                             std::string& error);
    std::optional<bool> playFavorite(const std::string& title, std::string& error);
    bool stop(std::string& error);
    std::optional<std::vector<std::pair<std::string, std::string>>> list(std::string& error);

    // SetHotkey and ClearHotkey: the method's answer.
    std::optional<bool> callWithStrings(const char* method, const std::vector<std::string>& args,
                                        std::string& error);
    // ListHotkeys: (combo, target, state) rows.
    std::optional<std::vector<std::vector<std::string>>> listHotkeys(std::string& error);

    // Import: the title the file was saved under and a note (often empty).
    struct Imported {
        std::string title, note;
    };
    std::optional<Imported> importFile(const std::string& path, const std::string& title,
                                       bool normalise, bool trim, double target, bool replace,
                                       std::string& error);

private:
    struct DBusConnection* connection_ = nullptr;
    bool reachable_ = false;
};
