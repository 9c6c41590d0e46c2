// notification_listener FILE: takes the name org.freedesktop.Notifications on
// the session bus and writes each notification it is sent to FILE as one line,
// "app<TAB>summary<TAB>body", as a desktop's notification daemon would show
// it. Writes "ready" first, once it owns the name. For the tests of the real
// program on a private bus (dbus-daemon --session).

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QObject>
#include <QStringList>
#include <QVariantMap>
#include <cstdio>

class Notifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
  public:
    explicit Notifications(QFile& out) : out_(out) {}

  public slots:
    uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints,
                int timeout) {
        Q_UNUSED(replaces) Q_UNUSED(icon) Q_UNUSED(actions) Q_UNUSED(hints) Q_UNUSED(timeout)
        const auto flat = [](QString s) { return s.replace('\n', ' ').replace('\t', ' '); };
        write(flat(app) + '\t' + flat(summary) + '\t' + flat(body));
        return ++last_;
    }
    QStringList GetCapabilities() { return {"body"}; }
    void CloseNotification(uint) {}
    QString GetServerInformation(QString& vendor, QString& version, QString& spec_version) {
        vendor = "tolvane tests";
        version = "1";
        spec_version = "1.2";
        return "notification_listener";
    }

  public:
    void write(const QString& line) {
        out_.write((line + '\n').toUtf8());
        out_.flush();
    }

  private:
    QFile& out_;
    uint last_ = 0;
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    QFile out(QString::fromLocal8Bit(argv[1]));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Append)) {
        std::fprintf(stderr, "notification_listener: cannot write %s\n", argv[1]);
        return 1;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    Notifications notifications(out);
    if (!bus.isConnected() ||
        !bus.registerObject("/org/freedesktop/Notifications", &notifications,
                            QDBusConnection::ExportAllSlots) ||
        !bus.registerService("org.freedesktop.Notifications")) {
        std::fprintf(stderr, "notification_listener: no session bus, or the name is taken: %s\n",
                     qPrintable(bus.lastError().message()));
        return 1;
    }
    notifications.write("ready");
    return app.exec();
}

#include "notification_listener.moc"
