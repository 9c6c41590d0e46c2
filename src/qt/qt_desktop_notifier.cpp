#include "qt/qt_desktop_notifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace tolvane {

void QtDesktopNotifier::notify(const std::string& summary, const std::string& body) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
        "org.freedesktop.Notifications", "Notify");
    // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout
    call << QString("tolvane") << 0u << QString("tolvane") << QString::fromStdString(summary)
         << QString::fromStdString(body) << QStringList() << QVariantMap() << -1;
    // Without waiting for the answer; nobody listening is no failure.
    call.setAutoStartService(true);
    bus.send(call);
}

}  // namespace tolvane
