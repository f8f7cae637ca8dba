#include "core/remote/QELHotkeys.h"

#include <algorithm>
#include <cctype>
#include <sstream>

using platform::Value;

namespace {

constexpr const char* kHotkeysKey = "QELHotkeys";

std::string lower(std::string s) {
    std::ranges::transform(s, s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

bool isKey(const std::string& key) {
    if (key.size() == 1) return std::isalnum(static_cast<unsigned char>(key[0])) != 0;
    if (key.size() < 2 || key.size() > 3 || key[0] != 'f') return false;
    if (!std::all_of(key.begin() + 1, key.end(), [](char c) { return std::isdigit(c); }))
        return false;
    const int n = std::stoi(key.substr(1));
    return n >= 1 && n <= 12;
}

const char* actionName(QELHotkey::Action action) {
    switch (action) {
        case QELHotkey::Action::StopAll: return "stop-all";
        case QELHotkey::Action::Play: return "play";
        case QELHotkey::Action::PlayFavorite: return "favorite";
    }
    return "";
}

std::string field(const Value::Dictionary& d, const char* key) {
    auto it = d.find(key);
    const std::string* s = it == d.end() ? nullptr : it->second.asString();
    return s ? *s : std::string();
}

}  // namespace

std::optional<QELKeyCombo> QELKeyCombo::parse(const std::string& text) {
    QELKeyCombo combo;
    std::stringstream parts(lower(text));
    std::string part;
    std::vector<std::string> tokens;
    while (std::getline(parts, part, '+')) tokens.push_back(part);
    if (tokens.size() < 2 || text.empty() || text.back() == '+') return std::nullopt;
    for (size_t i = 0; i + 1 < tokens.size(); ++i) {
        const std::string& m = tokens[i];
        unsigned bit = 0;
        if (m == "ctrl" || m == "control") bit = Ctrl;
        else if (m == "alt") bit = Alt;
        else if (m == "shift") bit = Shift;
        else if (m == "super" || m == "meta") bit = Super;
        if (!bit || (combo.modifiers & bit)) return std::nullopt;
        combo.modifiers |= bit;
    }
    combo.key = tokens.back();
    if (!isKey(combo.key)) return std::nullopt;
    // The X server keeps Ctrl+Alt+F1..F12 for switching consoles.
    if ((combo.modifiers & (Ctrl | Alt)) == (Ctrl | Alt) && combo.key.size() > 1) return std::nullopt;
    return combo;
}

std::string QELKeyCombo::text() const {
    std::string out;
    for (auto [bit, name] : {std::pair{Ctrl, "ctrl"}, {Alt, "alt"}, {Shift, "shift"},
                             {Super, "super"}})
        if (modifiers & bit) out += std::string(name) + "+";
    return out + key;
}

std::string QELHotkey::describe() const {
    switch (action) {
        case Action::StopAll: return "stop-all";
        case Action::Play: return category + "/" + title;
        case Action::PlayFavorite: return "favorite:" + title;
    }
    return {};
}

QELHotkeys::QELHotkeys(platform::UserDefaults& defaults) : defaults_(defaults) {}

std::vector<QELHotkey> QELHotkeys::all() const {
    const Value stored = defaults_.objectForKey(kHotkeysKey);
    const Value::Array* list = stored.asArray();
    if (!list) return {QELHotkey{*QELKeyCombo::parse(kDefaultStopAll), QELHotkey::Action::StopAll, "", ""}};
    std::vector<QELHotkey> hotkeys;
    for (const Value& item : *list) {
        const Value::Dictionary* d = item.asDictionary();
        if (!d) continue;
        auto combo = QELKeyCombo::parse(field(*d, "combo"));
        const std::string action = field(*d, "action");
        QELHotkey hotkey{combo.value_or(QELKeyCombo{}), QELHotkey::Action::StopAll,
                         field(*d, "category"), field(*d, "title")};
        if (action == "play") hotkey.action = QELHotkey::Action::Play;
        else if (action == "favorite") hotkey.action = QELHotkey::Action::PlayFavorite;
        else if (action != "stop-all") continue;
        if (combo) hotkeys.push_back(hotkey);
    }
    return hotkeys;
}

void QELHotkeys::set(const QELHotkey& hotkey) {
    auto hotkeys = all();
    std::erase_if(hotkeys, [&](const QELHotkey& h) { return h.combo == hotkey.combo; });
    hotkeys.push_back(hotkey);
    store(hotkeys);
}

bool QELHotkeys::clear(const QELKeyCombo& combo) {
    auto hotkeys = all();
    if (!std::erase_if(hotkeys, [&](const QELHotkey& h) { return h.combo == combo; }))
        return false;
    store(hotkeys);
    return true;
}

void QELHotkeys::store(const std::vector<QELHotkey>& hotkeys) {
    Value::Array list;
    for (const QELHotkey& h : hotkeys)
        list.push_back(Value::Dictionary{{"combo", h.combo.text()},
                                         {"action", actionName(h.action)},
                                         {"category", h.category},
                                         {"title", h.title}});
    // An empty list is kept too: the user cleared the default on purpose.
    defaults_.setObject(Value(list), kHotkeysKey);
}

bool QELHotkeys::fire(const QELHotkey& hotkey, QELRemoteCommands& commands,
                      QELRemoteError* error) {
    switch (hotkey.action) {
        case QELHotkey::Action::StopAll: commands.stop(); return true;
        case QELHotkey::Action::Play: return commands.play(hotkey.category, hotkey.title, error);
        case QELHotkey::Action::PlayFavorite: return commands.playFavorite(hotkey.title, error);
    }
    return false;
}

bool QELHotkeys::check(const QELHotkey& hotkey, QELRemoteCommands& commands,
                       QELRemoteError* error) {
    switch (hotkey.action) {
        case QELHotkey::Action::StopAll: return true;
        case QELHotkey::Action::Play: return commands.exists(hotkey.category, hotkey.title, error);
        case QELHotkey::Action::PlayFavorite: return commands.favoriteExists(hotkey.title, error);
    }
    return false;
}
