#include "qt/qt_settings_paths.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

namespace tolvane {

std::string user_settings_path() {
    return (QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
            "/tolvane/tolvane.conf")
        .toStdString();
}

std::string system_settings_path() {
    QStringList dirs = qEnvironmentVariable("XDG_CONFIG_DIRS").split(':', Qt::SkipEmptyParts);
    if (dirs.isEmpty()) dirs << "/etc/xdg";
    for (const QString& dir : dirs) {
        if (QFileInfo::exists(dir + "/tolvane/tolvane.conf"))
            return (dir + "/tolvane/tolvane.conf").toStdString();
    }
    return (dirs.first() + "/tolvane/tolvane.conf").toStdString();
}

}  // namespace tolvane
