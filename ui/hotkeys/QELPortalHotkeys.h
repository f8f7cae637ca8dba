#pragma once

#include <QDBusError>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include "ui/hotkeys/QELGlobalHotkeys.h"

// Global shortcuts through the desktop portal (Wayland, where no program may
// grab keys): a portal session per set of hotkeys, each bound under the
// action it fires, its combination only a preference the desktop may
// change. Every step is asynchronous; an answer to a request that has since
// been replaced is dropped, so the last set of hotkeys always wins.
class QELPortalHotkeys : public QObject, public QELGlobalHotkeys {
    Q_OBJECT

public:
    explicit QELPortalHotkeys(Fired fired);
    ~QELPortalHotkeys() override;

    // False until the portal says it has global shortcuts, and for good
    // when it has not.
    bool available() const override { return available_; }
    std::vector<QELKeyCombo> setHotkeys(std::vector<QELHotkey> hotkeys) override;

private Q_SLOTS:
    void versionArrived(const QDBusMessage& reply);
    void requestFailed(const QDBusError& error);
    void response(uint code, const QVariantMap& results, const QDBusMessage& message);
    void activated(const QDBusMessage& message);

private:
    struct Bound {
        QString id;
        QELHotkey hotkey;
    };
    void closeSession();
    // Sends `call` with a handle token and waits for its Response.
    QString request(QDBusMessage call, QVariantMap options);
    void forget(const QString& requestPath);
    void bind();

    bool available_ = false;
    std::vector<QELHotkey> wanted_;
    std::vector<Bound> bound_;
    QString session_;
    QString pending_;  // the request whose answer counts
    unsigned tokens_ = 0;
};
