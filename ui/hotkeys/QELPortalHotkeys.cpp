#include "ui/hotkeys/QELPortalHotkeys.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QStringList>
#include <algorithm>

namespace {

constexpr QLatin1String kService("org.freedesktop.portal.Desktop");
constexpr QLatin1String kPath("/org/freedesktop/portal/desktop");
constexpr QLatin1String kInterface("org.freedesktop.portal.GlobalShortcuts");
constexpr QLatin1String kRequest("org.freedesktop.portal.Request");

}  // namespace

// One shortcut as the portal carries it: (id, properties).
struct QELPortalShortcut {
    QString id;
    QVariantMap properties;
};
Q_DECLARE_METATYPE(QELPortalShortcut)

QDBusArgument& operator<<(QDBusArgument& argument, const QELPortalShortcut& shortcut) {
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, QELPortalShortcut& shortcut) {
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

namespace {

// The desktop's spelling of a combination: "CTRL+ALT+1", "SHIFT+LOGO+a", "CTRL+F5".
QString portalTrigger(const QELKeyCombo& combo) {
    QStringList parts;
    if (combo.modifiers & QELKeyCombo::Ctrl) parts << QStringLiteral("CTRL");
    if (combo.modifiers & QELKeyCombo::Alt) parts << QStringLiteral("ALT");
    if (combo.modifiers & QELKeyCombo::Shift) parts << QStringLiteral("SHIFT");
    if (combo.modifiers & QELKeyCombo::Super) parts << QStringLiteral("LOGO");
    QString key = QString::fromStdString(combo.key);
    if (key.size() > 1) key = key.toUpper();  // f1 is F1; letters stay keysym names
    parts << key;
    return parts.join(QLatin1Char('+'));
}

QDBusConnection bus() { return QDBusConnection::sessionBus(); }

}  // namespace

QELPortalHotkeys::QELPortalHotkeys(Fired fired) : QELGlobalHotkeys(std::move(fired)) {
    qDBusRegisterMetaType<QELPortalShortcut>();
    qDBusRegisterMetaType<QList<QELPortalShortcut>>();
    if (!bus().isConnected()) return;
    bus().connect(kService, kPath, kInterface, QStringLiteral("Activated"), this, SLOT(activated(QDBusMessage)));
    // Asked, not waited for: the portal may first have to be started.
    QDBusMessage version = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    version << QString(kInterface) << QStringLiteral("version");
    bus().callWithCallback(version, this, SLOT(versionArrived(QDBusMessage)),
                           SLOT(requestFailed(QDBusError)));
}

QELPortalHotkeys::~QELPortalHotkeys() {
    if (!pending_.isEmpty()) forget(pending_);
    closeSession();
}

void QELPortalHotkeys::versionArrived(const QDBusMessage&) {
    available_ = true;
    if (!wanted_.empty()) setHotkeys(wanted_);
}

void QELPortalHotkeys::requestFailed(const QDBusError& error) {
    // Before the portal answered at all: it has no global shortcuts.
    if (!available_) {
        qWarning("global hotkeys: the desktop portal offers none (%s)",
                 qPrintable(error.message()));
        return;
    }
    forget(pending_);
    pending_.clear();
    taken_.clear();
    for (const QELHotkey& hotkey : wanted_) taken_.push_back(hotkey.combo);
}

void QELPortalHotkeys::closeSession() {
    if (session_.isEmpty()) return;
    bus().call(QDBusMessage::createMethodCall(kService, session_, QStringLiteral("org.freedesktop.portal.Session"),
                                              QStringLiteral("Close")),
               QDBus::NoBlock);
    session_.clear();
    bound_.clear();
}

std::vector<QELKeyCombo> QELPortalHotkeys::setHotkeys(std::vector<QELHotkey> hotkeys) {
    wanted_ = std::move(hotkeys);
    taken_.clear();
    if (!available_) return taken_;
    // What is still on its way is closed when it arrives.
    pending_.clear();
    closeSession();
    if (wanted_.empty()) return taken_;
    QVariantMap options;
    options.insert(QStringLiteral("session_handle_token"),
                   QStringLiteral("quellio%1").arg(++tokens_));
    pending_ = request(QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("CreateSession")),
                       options);
    return taken_;
}

QString QELPortalHotkeys::request(QDBusMessage call, QVariantMap options) {
    // The portal names the request after our token; listening before the
    // call means no answer can come first.
    const QString token = QStringLiteral("quellio%1").arg(++tokens_);
    QString sender = bus().baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString path = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                             .arg(sender, token);
    bus().connect(kService, path, kRequest, QStringLiteral("Response"), this,
                  SLOT(response(uint, QVariantMap, QDBusMessage)));
    options.insert(QStringLiteral("handle_token"), token);
    call << options;
    bus().callWithCallback(call, this, nullptr, SLOT(requestFailed(QDBusError)));
    return path;
}

void QELPortalHotkeys::forget(const QString& requestPath) {
    bus().disconnect(kService, requestPath, kRequest, QStringLiteral("Response"), this,
                     SLOT(response(uint, QVariantMap, QDBusMessage)));
}

void QELPortalHotkeys::response(uint code, const QVariantMap& results,
                                const QDBusMessage& message) {
    forget(message.path());
    if (message.path() != pending_) {
        // A session nobody wants any more.
        const QVariant stale = results.value(QStringLiteral("session_handle"));
        if (stale.isValid())
            bus().call(QDBusMessage::createMethodCall(kService, stale.toString(),
                                                      QStringLiteral("org.freedesktop.portal.Session"), QStringLiteral("Close")),
                       QDBus::NoBlock);
        return;
    }
    pending_.clear();
    if (code != 0) {  // refused or cancelled: none of them works
        for (const QELHotkey& hotkey : wanted_) taken_.push_back(hotkey.combo);
        return;
    }
    if (session_.isEmpty()) {
        const QVariant handle = results.value(QStringLiteral("session_handle"));
        session_ = handle.canConvert<QDBusObjectPath>() ? handle.value<QDBusObjectPath>().path()
                                                         : handle.toString();
        bind();
        return;
    }
    // The desktop may leave some out: those are held by something else.
    const auto shortcuts = results.find(QStringLiteral("shortcuts"));
    if (shortcuts == results.end()) return;
    const auto granted = qdbus_cast<QList<QELPortalShortcut>>(*shortcuts);
    std::erase_if(bound_, [&](const Bound& b) {
        const bool ok = std::ranges::any_of(granted, [&](const auto& s) { return s.id == b.id; });
        if (!ok) taken_.push_back(b.hotkey.combo);
        return !ok;
    });
}

void QELPortalHotkeys::bind() {
    QList<QELPortalShortcut> shortcuts;
    bound_.clear();
    for (const QELHotkey& hotkey : wanted_) {
        // What it fires names it, so that the desktop's own changes to the
        // combination stay with the action; a second combination for the
        // same action is told apart by its keys.
        QString id = QString::fromStdString(hotkey.describe());
        if (std::ranges::any_of(bound_, [&](const Bound& b) { return b.id == id; }))
            id += QLatin1Char('@') + QString::fromStdString(hotkey.combo.text());
        bound_.push_back({id, hotkey});
        shortcuts.append({id,
                          {{QStringLiteral("description"), id},
                           {QStringLiteral("preferred_trigger"), portalTrigger(hotkey.combo)}}});
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("BindShortcuts"));
    call << QVariant::fromValue(QDBusObjectPath(session_)) << QVariant::fromValue(shortcuts)
         << QString();
    pending_ = request(call, {});
}

void QELPortalHotkeys::activated(const QDBusMessage& message) {
    // (o session, s shortcut id, t timestamp, a{sv} options)
    const QList<QVariant> args = message.arguments();
    if (args.size() < 2 || args[0].value<QDBusObjectPath>().path() != session_) return;
    const QString id = args[1].toString();
    for (const Bound& b : bound_) {
        if (b.id == id) {
            const QELHotkey hotkey = b.hotkey;  // firing may rebind
            fire(hotkey);
            return;
        }
    }
}
