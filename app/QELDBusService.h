#pragma once

#include <QDBusArgument>
#include <QDBusContext>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class QELRemoteCommands;
class QELGlobalHotkeys;

// One board item as the bus carries it: (category, title).
struct QELDBusEffect {
    QString category;
    QString title;
};
Q_DECLARE_METATYPE(QELDBusEffect)

// One hotkey as the bus carries it: (combo, what it fires, state), the
// state "ok", "taken" (another program holds it) or "unavailable" (no X11).
struct QELDBusHotkey {
    QString combo;
    QString target;
    QString state;
};
Q_DECLARE_METATYPE(QELDBusHotkey)
QDBusArgument& operator<<(QDBusArgument& argument, const QELDBusHotkey& hotkey);
const QDBusArgument& operator>>(const QDBusArgument& argument, QELDBusHotkey& hotkey);
QDBusArgument& operator<<(QDBusArgument& argument, const QELDBusEffect& effect);
const QDBusArgument& operator>>(const QDBusArgument& argument, QELDBusEffect& effect);

// The program on the session bus: the remote commands under
// com.zentrik.Quellio, and the one-instance rule. Calls arrive on the main
// loop; each is answered at once.
class QELDBusService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.zentrik.Quellio")
    Q_PROPERTY(QString Playing READ playing)

public:
    static constexpr const char* kServiceName = "com.zentrik.Quellio";
    static constexpr const char* kObjectPath = "/com/zentrik/Quellio";
    static constexpr const char* kInterface = "com.zentrik.Quellio";

    enum class Claim { Owned, TakenByAnother, NoBus };
    // Whether another instance holds the bus name; if so, asks it to raise
    // its window and `raisedOther` tells whether it answered. Asked before
    // launching, so that a second start shows nothing.
    static bool raiseRunning(bool* raisedOther = nullptr);
    // Takes the bus name for this process, once the object is exported: a
    // client that waits for the name may call at once. When another
    // instance holds it (two started together), raises that one as
    // raiseRunning does.
    static Claim claimBusName(bool* raisedOther = nullptr);

    // Exports `commands` (which must outlive this object) on the session
    // bus; `raise` brings the window forward. False without a bus.
    QELDBusService(QELRemoteCommands& commands, std::function<void()> raise,
                   QObject* parent = nullptr);
    // Where SetHotkey and ClearHotkey take effect at once (may be null).
    void setGlobalHotkeys(QELGlobalHotkeys* hotkeys) { hotkeys_ = hotkeys; }
    ~QELDBusService() override;
    bool isExported() const { return exported_; }

    QString playing() const;

public Q_SLOTS:
    bool Play(const QString& category, const QString& title);
    bool PlayFavorite(const QString& title);
    void Stop();
    QList<QELDBusEffect> List();
    QStringList ListFavorites();
    void Raise();
    // action: "play" (category, title), "favorite" (title) or "stop-all".
    bool SetHotkey(const QString& combo, const QString& action, const QString& category,
                   const QString& title);
    bool ClearHotkey(const QString& combo);
    QList<QELDBusHotkey> ListHotkeys();
    // Imports the sound file at `path` (absolute) into the collection as
    // `title` (empty: the file's name); answers once it is saved with the
    // title and a note, or with an error named after the reason.
    QString Import(const QString& path, const QString& title, bool normalise, bool trim,
                   double target, bool replace, QString& note);

private:
    void announcePlaying(const QString& playing);

    QELRemoteCommands& commands_;
    std::function<void()> raise_;
    QELGlobalHotkeys* hotkeys_ = nullptr;
    bool exported_ = false;
};
