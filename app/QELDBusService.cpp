#include "app/QELDBusService.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QVariantMap>

#include "core/remote/QELRemoteCommands.h"

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

QELDBusService::Claim QELDBusService::claimBusName(bool* raisedOther) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) return Claim::NoBus;
    const auto reply = bus.interface()->registerService(
        kServiceName, QDBusConnectionInterface::DontQueueService,
        QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered)
        return Claim::Owned;
    if (!reply.isValid()) return Claim::NoBus;
    const QDBusMessage answer = bus.call(
        QDBusMessage::createMethodCall(kServiceName, kObjectPath, kInterface, "Raise"),
        QDBus::Block, 5000);
    if (raisedOther) *raisedOther = answer.type() == QDBusMessage::ReplyMessage;
    return Claim::TakenByAnother;
}

QELDBusService::QELDBusService(QELRemoteCommands& commands, std::function<void()> raise,
                               QObject* parent)
    : QObject(parent), commands_(commands), raise_(std::move(raise)) {
    qDBusRegisterMetaType<QELDBusEffect>();
    qDBusRegisterMetaType<QList<QELDBusEffect>>();
    commands_.setPlayingChanged(
        [this](const std::string& now) { announcePlaying(QString::fromStdString(now)); });
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    exported_ = bus.registerObject(kObjectPath, this,
                                   QDBusConnection::ExportAllSlots |
                                       QDBusConnection::ExportAllProperties);
}

QELDBusService::~QELDBusService() {
    commands_.setPlayingChanged({});
    if (exported_) QDBusConnection::sessionBus().unregisterObject(kObjectPath);
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
        kObjectPath, "org.freedesktop.DBus.Properties", "PropertiesChanged");
    signal << QString::fromLatin1(kInterface) << QVariantMap{{"Playing", playing}}
           << QStringList();
    QDBusConnection::sessionBus().send(signal);
}
