#include "app/QELDBusService.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QVariantMap>

#include "audio/Loudness.h"
#include "core/maker/QELSoundEffectImporter.h"
#include "core/remote/QELHotkeys.h"
#include "core/remote/QELRemoteCommands.h"
#include "ui/hotkeys/QELGlobalHotkeys.h"

QDBusArgument& operator<<(QDBusArgument& argument, const QELDBusEffect& effect) {
    argument.beginStructure();
    argument << effect.category << effect.title;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, QELDBusEffect& effect) {
    argument.beginStructure();
    argument >> effect.category >> effect.title;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const QELDBusHotkey& hotkey) {
    argument.beginStructure();
    argument << hotkey.combo << hotkey.target << hotkey.state;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, QELDBusHotkey& hotkey) {
    argument.beginStructure();
    argument >> hotkey.combo >> hotkey.target >> hotkey.state;
    argument.endStructure();
    return argument;
}

namespace {

bool askToRaise(QDBusConnection& bus) {
    const QDBusMessage answer = bus.call(
        QDBusMessage::createMethodCall(QLatin1String(QELDBusService::kServiceName), QLatin1String(QELDBusService::kObjectPath),
                                       QLatin1String(QELDBusService::kInterface), QStringLiteral("Raise")),
        QDBus::Block, 5000);
    return answer.type() == QDBusMessage::ReplyMessage;
}

}  // namespace

bool QELDBusService::raiseRunning(bool* raisedOther) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) return false;
    if (!bus.interface()->isServiceRegistered(QLatin1String(kServiceName)).value()) return false;
    const bool raised = askToRaise(bus);
    if (raisedOther) *raisedOther = raised;
    return true;
}

QELDBusService::Claim QELDBusService::claimBusName(bool* raisedOther) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) return Claim::NoBus;
    const auto reply = bus.interface()->registerService(
        QLatin1String(kServiceName), QDBusConnectionInterface::DontQueueService,
        QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered)
        return Claim::Owned;
    if (!reply.isValid()) return Claim::NoBus;
    const bool raised = askToRaise(bus);
    if (raisedOther) *raisedOther = raised;
    return Claim::TakenByAnother;
}

QELDBusService::QELDBusService(QELRemoteCommands& commands, std::function<void()> raise,
                               QObject* parent)
    : QObject(parent), commands_(commands), raise_(std::move(raise)) {
    qDBusRegisterMetaType<QELDBusEffect>();
    qDBusRegisterMetaType<QList<QELDBusEffect>>();
    qDBusRegisterMetaType<QELDBusHotkey>();
    qDBusRegisterMetaType<QList<QELDBusHotkey>>();
    commands_.setPlayingChanged(
        [this](const std::string& now) { announcePlaying(QString::fromStdString(now)); });
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    exported_ = bus.registerObject(QLatin1String(kObjectPath), this,
                                   QDBusConnection::ExportAllSlots |
                                       QDBusConnection::ExportAllProperties);
}

QELDBusService::~QELDBusService() {
    commands_.setPlayingChanged({});
    if (exported_) QDBusConnection::sessionBus().unregisterObject(QLatin1String(kObjectPath));
}

QString QELDBusService::playing() const { return QString::fromStdString(commands_.playing()); }

namespace {

// The bus name of a refusal: com.zentrik.Quellio.Error.<name>.
QString errorName(const QELRemoteError& error) {
    return QStringLiteral("com.zentrik.Quellio.Error.") + QString::fromLatin1(error.name());
}

}  // namespace

bool QELDBusService::Play(const QString& category, const QString& title) {
    QELRemoteError error;
    const bool started = commands_.play(category.toStdString(), title.toStdString(), &error);
    if (error && calledFromDBus())
        sendErrorReply(errorName(error), QString::fromStdString(error.message));
    return started;
}

bool QELDBusService::PlayFavorite(const QString& title) {
    QELRemoteError error;
    const bool started = commands_.playFavorite(title.toStdString(), &error);
    if (error && calledFromDBus())
        sendErrorReply(errorName(error), QString::fromStdString(error.message));
    return started;
}

void QELDBusService::Stop() { commands_.stop(); }

QList<QELDBusEffect> QELDBusService::List() {
    QList<QELDBusEffect> items;
    for (const auto& [category, title] : commands_.list())
        items.append({QString::fromStdString(category), QString::fromStdString(title)});
    return items;
}

QStringList QELDBusService::ListFavorites() {
    QStringList titles;
    for (const auto& title : commands_.listFavorites()) titles.append(QString::fromStdString(title));
    return titles;
}

void QELDBusService::Raise() {
    if (raise_) raise_();
}

void QELDBusService::announcePlaying(const QString& playing) {
    if (!exported_) return;
    QDBusMessage signal = QDBusMessage::createSignal(
        QLatin1String(kObjectPath), QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"));
    signal << QLatin1String(kInterface) << QVariantMap{{QStringLiteral("Playing"), playing}}
           << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

bool QELDBusService::SetHotkey(const QString& combo, const QString& action,
                               const QString& category, const QString& title) {
    auto refuse = [this](const char* name, const QString& message) {
        if (calledFromDBus())
            sendErrorReply(QStringLiteral("com.zentrik.Quellio.Error.") + QLatin1String(name),
                           message);
        return false;
    };
    const auto parsed = QELKeyCombo::parse(combo.toStdString());
    if (!parsed) return refuse("InvalidArgument", QStringLiteral("not a key combination: ") + combo.left(64));
    QELHotkey hotkey{*parsed, QELHotkey::Action::StopAll, category.toStdString(),
                     title.toStdString()};
    if (action == QLatin1String("play")) hotkey.action = QELHotkey::Action::Play;
    else if (action == QLatin1String("favorite")) hotkey.action = QELHotkey::Action::PlayFavorite;
    else if (action != QLatin1String("stop-all"))
        return refuse("InvalidArgument", QStringLiteral("unknown action ") + action.left(64));
    QELRemoteError error;
    if (!QELHotkeys::check(hotkey, commands_, &error))
        return refuse(error.name(), QString::fromStdString(error.message));
    if (!hotkeys_) {
        QELHotkeys().set(hotkey);
        return true;
    }
    if (!hotkeys_->assign(hotkey))
        return refuse("HotkeyTaken", QString::fromStdString(parsed->text()) +
                                         QStringLiteral(" is held by another program"));
    return true;
}

bool QELDBusService::ClearHotkey(const QString& combo) {
    const auto parsed = QELKeyCombo::parse(combo.toStdString());
    if (!parsed) return false;
    return hotkeys_ ? hotkeys_->clear(*parsed) : QELHotkeys().clear(*parsed);
}

QList<QELDBusHotkey> QELDBusService::ListHotkeys() {
    QList<QELDBusHotkey> list;
    for (const QELHotkey& h : QELHotkeys().all()) {
        QString state = QStringLiteral("ok");
        if (!hotkeys_ || !hotkeys_->available()) state = QStringLiteral("unavailable");
        else if (hotkeys_->isTaken(h.combo))
            state = QStringLiteral("taken");
        list.append({QString::fromStdString(h.combo.text()), QString::fromStdString(h.describe()),
                     state});
    }
    return list;
}

QString QELDBusService::Import(const QString& path, const QString& title, bool normalise,
                               bool trim, double target, bool replace, QString&) {
    auto refuse = [this](const char* name, const QString& message) {
        if (calledFromDBus())
            sendErrorReply(QStringLiteral("com.zentrik.Quellio.Error.") + QLatin1String(name), message);
        return QString();
    };
    if (!path.startsWith(QLatin1Char('/')))
        return refuse("InvalidArgument", QStringLiteral("not an absolute path: ") + path.left(256));
    if (!(target >= platform::kMinLoudnessTarget && target <= platform::kMaxLoudnessTarget))
        return refuse("InvalidArgument",
                      QStringLiteral("the loudness target must lie within %1 … %2 LUFS")
                          .arg(platform::kMinLoudnessTarget)
                          .arg(platform::kMaxLoudnessTarget));
    QELImportOptions options;
    options.title = title.toStdString();
    options.normalise = normalise;
    options.trimSilence = trim;
    options.loudnessTarget = target;
    options.replace = replace;
    // Answered when the import ends; the main loop serves other calls meanwhile.
    if (calledFromDBus()) {
        setDelayedReply(true);
        const QDBusMessage call = message();
        QDBusConnection bus = connection();
        QELSoundEffectImporter::shared().importFile(
            path.toStdString(), std::move(options), [bus, call](const QELImportResult& result) {
                QDBusConnection(bus).send(
                    result.imported()
                        ? call.createReply({QString::fromStdString(result.title),
                                            QString::fromStdString(result.message)})
                        : call.createErrorReply(
                              QStringLiteral("com.zentrik.Quellio.Error.") + QLatin1String(result.name()),
                              QString::fromStdString(result.message)));
            });
        return {};
    }
    QELSoundEffectImporter::shared().importFile(path.toStdString(), std::move(options), nullptr);
    return {};
}
