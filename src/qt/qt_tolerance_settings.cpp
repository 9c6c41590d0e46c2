// The tolerances' place in the settings files, on QSettings.
#include "qt/qt_tolerance_settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include "qt/qt_port_mapping.h"

namespace tolvane {

namespace {

constexpr const char* kArray = "tolerances";

std::vector<ToleranceEntry> read_entries(const std::string& path) {
    std::vector<ToleranceEntry> entries;
    QSettings settings(QString::fromStdString(path), QSettings::IniFormat);
    const int size = settings.beginReadArray(kArray);
    for (int i = 0; i < size; ++i) {
        settings.setArrayIndex(i);
        ToleranceEntry entry;
        entry.pattern = settings.value("pattern").toString().toStdString();
        bool readable = !entry.pattern.empty();
        // A number with a point whatever the locale (QString::toDouble is C).
        const auto number = [&](const char* key) -> std::optional<double> {
            const QString text = settings.value(key).toString().trimmed();
            if (text.isEmpty()) return std::nullopt;
            bool ok = false;
            const double x = text.toDouble(&ok);
            readable = readable && ok;
            return x;
        };
        entry.nominal = number("nominal");
        entry.lower = number("lower");
        entry.upper = number("upper");
        if (readable) entries.push_back(std::move(entry));
    }
    settings.endArray();
    return entries;
}

QString text_of(double x) {
    return QString::number(x, 'g', 17);
}

}  // namespace

QtToleranceSettings::QtToleranceSettings()
    : QtToleranceSettings(port_settings_path(), system_port_settings_path()) {}

QtToleranceSettings::QtToleranceSettings(std::string user_path, std::string computer_path)
    : user_path_(std::move(user_path)), computer_path_(std::move(computer_path)) {}

std::vector<ToleranceEntry> QtToleranceSettings::user_tolerances() {
    return read_entries(user_path_);
}

std::vector<ToleranceEntry> QtToleranceSettings::computer_tolerances() {
    return read_entries(computer_path_);
}

Status QtToleranceSettings::save_user_tolerances(const std::vector<ToleranceEntry>& entries) {
    const QString path = QString::fromStdString(user_path_);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return Status::failure("The folder of " + user_path_ + " cannot be made.");
    QSettings settings(path, QSettings::IniFormat);
    settings.remove(kArray);  // no entries of a longer set left behind
    settings.beginWriteArray(kArray, static_cast<int>(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
        const ToleranceEntry& e = entries[i];
        settings.setArrayIndex(static_cast<int>(i));
        settings.setValue("pattern", QString::fromStdString(e.pattern));
        if (e.nominal) settings.setValue("nominal", text_of(*e.nominal));
        if (e.lower) settings.setValue("lower", text_of(*e.lower));
        if (e.upper) settings.setValue("upper", text_of(*e.upper));
    }
    settings.endArray();
    settings.sync();
    if (settings.status() != QSettings::NoError)
        return Status::failure(user_path_ + " cannot be written.");
    return Status::success();
}

}  // namespace tolvane
