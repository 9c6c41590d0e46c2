// The settings-file half of the port mapping, on QSettings.
#include "qt/qt_port_mapping.h"

#include <QSettings>
#include <QStringList>

#include "qt/qt_settings_paths.h"

namespace tolvane {

std::optional<std::string> port_from_settings_file(const std::string& path, int16_t port) {
    // Whatever QSettings makes of the file counts, also of one with a slip
    // in it: its status tells of a fault only on the first reading of a
    // process, so heeding it would make a port's device change mid-run.
    const QSettings settings(QString::fromStdString(path), QSettings::IniFormat);
    const QVariant value = settings.value("ports/" + QString::number(port));
    if (!value.isValid()) return std::nullopt;
    // An unquoted comma makes a list of the value; a device name may hold one.
    const QString text = value.typeId() == QMetaType::QStringList
                             ? value.toStringList().join(',')
                             : value.toString();
    return text.trimmed().toStdString();
}

PortDevice port_device(int16_t port) {
    const std::string user = user_settings_path();
    const std::string system = system_settings_path();
    return choose_port_device(
        port, port_from_environment, [&user](int16_t n) { return port_from_settings_file(user, n); },
        [&system](int16_t n) { return port_from_settings_file(system, n); });
}

}  // namespace tolvane
