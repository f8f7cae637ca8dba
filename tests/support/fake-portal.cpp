// A desktop portal with global shortcuts and nothing else, for the hotkey
// test: it grants every shortcut but CTRL+ALT+9 (held by "another
// program"), prints each one it is asked to bind as "bind ID TRIGGER", and
// fires one when com.zentrik.FakePortal.Activate(s id) asks it to.
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <cstdio>

struct Shortcut {
    QString id;
    QVariantMap properties;
};
Q_DECLARE_METATYPE(Shortcut)

QDBusArgument& operator<<(QDBusArgument& a, const Shortcut& s) {
    a.beginStructure();
    a << s.id << s.properties;
    a.endStructure();
    return a;
}

const QDBusArgument& operator>>(const QDBusArgument& a, Shortcut& s) {
    a.beginStructure();
    a >> s.id >> s.properties;
    a.endStructure();
    return a;
}

namespace {

const QString kRoot = QStringLiteral("/org/freedesktop/portal/desktop");

class Portal : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& m, const QDBusConnection& c) override {
        const QString method = m.member();
        const QList<QVariant> args = m.arguments();
        if (method == "Get") {
            c.send(m.createReply(QVariant::fromValue(QDBusVariant(1u))));
        } else if (method == "CreateSession") {
            const QVariantMap options = qdbus_cast<QVariantMap>(args.at(0));
            session_ = handle("session", m, options.value("session_handle_token").toString());
            answer(m, c, options, {{"session_handle", QVariant::fromValue(QDBusObjectPath(session_))}});
        } else if (method == "BindShortcuts") {
            QList<Shortcut> granted;
            for (const Shortcut& s : qdbus_cast<QList<Shortcut>>(args.at(1))) {
                const QString trigger = s.properties.value("preferred_trigger").toString();
                std::printf("bind %s %s\n", qPrintable(s.id), qPrintable(trigger));
                if (trigger != "CTRL+ALT+9") granted.append(s);
            }
            std::fflush(stdout);
            answer(m, c, qdbus_cast<QVariantMap>(args.at(3)),
                   {{"shortcuts", QVariant::fromValue(granted)}});
        } else if (method == "Activate") {
            QDBusMessage signal = QDBusMessage::createSignal(
                kRoot, "org.freedesktop.portal.GlobalShortcuts", "Activated");
            signal << QVariant::fromValue(QDBusObjectPath(session_)) << args.at(0)
                   << QVariant::fromValue(qulonglong(0)) << QVariantMap();
            c.send(signal);
            c.send(m.createReply());
        } else {
            c.send(m.createReply());  // Session.Close and the like
        }
        return true;
    }

private:
    static QString handle(const QString& kind, const QDBusMessage& m, const QString& token) {
        QString sender = m.service().mid(1);
        sender.replace('.', '_');
        return kRoot + "/" + kind + "/" + sender + "/" + token;
    }

    // Replies with the request's handle, then answers on it.
    static void answer(const QDBusMessage& m, const QDBusConnection& c, const QVariantMap& options,
                       const QVariantMap& results) {
        const QString request = handle("request", m, options.value("handle_token").toString());
        c.send(m.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        QDBusMessage response =
            QDBusMessage::createSignal(request, "org.freedesktop.portal.Request", "Response");
        response << 0u << results;
        c.send(response);
    }

    QString session_;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    qDBusRegisterMetaType<Shortcut>();
    qDBusRegisterMetaType<QList<Shortcut>>();
    Portal portal;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerVirtualObject(kRoot, &portal, QDBusConnection::SubPath) ||
        !bus.registerService("org.freedesktop.portal.Desktop"))
        return 1;
    return app.exec();
}
