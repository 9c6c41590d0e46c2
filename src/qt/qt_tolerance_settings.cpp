// The tolerances' place in the settings files, on QSettings.
#include "qt/qt_tolerance_settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <algorithm>
#include <charconv>

#include "qt/qt_settings_paths.h"

namespace tolvane {

namespace {

constexpr const char* kArray = "tolerances";

// The array's elements that are in the file, in order: its numbered groups
// up to its size. The size alone is not trusted: a corrupt "size=2000000000"
// would otherwise cost a look-up per phantom element.
std::vector<int> element_numbers(QSettings& settings) {
    const int size = settings.value("size").toInt();
    std::vector<int> numbers;
    for (const QString& group : settings.childGroups()) {
        bool ok = false;
        const int i = group.toInt(&ok);
        if (ok && i >= 1 && i <= size && group == QString::number(i)) numbers.push_back(i);
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

// Inside the element's group.
std::optional<ToleranceEntry> read_entry(QSettings& settings) {
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
    if (!readable) return std::nullopt;
    return entry;
}

std::vector<ToleranceEntry> read_entries(const std::string& path) {
    std::vector<ToleranceEntry> entries;
    QSettings settings(QString::fromStdString(path), QSettings::IniFormat);
    settings.beginGroup(kArray);
    for (const int i : element_numbers(settings)) {
        settings.beginGroup(QString::number(i));
        if (std::optional<ToleranceEntry> entry = read_entry(settings))
            entries.push_back(std::move(*entry));
        settings.endGroup();
    }
    return entries;
}

// The shortest text that reads back as the same double, with a point: what
// was typed ("-0.021"), not its binary expansion.
QString text_of(double x) {
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, x);
    return error == std::errc() ? QString::fromLatin1(buffer, int(end - buffer)) : QString();
}

void write_number(QSettings& settings, const char* key, const std::optional<double>& x) {
    if (x)
        settings.setValue(key, text_of(*x));
    else
        settings.remove(key);
}

}  // namespace

QtToleranceSettings::QtToleranceSettings()
    : QtToleranceSettings(user_settings_path(), system_settings_path()) {}

QtToleranceSettings::QtToleranceSettings(std::string user_path, std::string computer_path)
    : user_path_(std::move(user_path)), computer_path_(std::move(computer_path)) {}

std::vector<ToleranceEntry> QtToleranceSettings::user_tolerances() {
    return read_entries(user_path_);
}

std::vector<ToleranceEntry> QtToleranceSettings::computer_tolerances() {
    return read_entries(computer_path_);
}

Status QtToleranceSettings::change_user_file(const std::function<void(QSettings&)>& change) {
    const QString path = QString::fromStdString(user_path_);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return Status::failure("The folder of " + user_path_ + " cannot be made.");
    QSettings settings(path, QSettings::IniFormat);
    settings.beginGroup(kArray);
    change(settings);
    settings.endGroup();
    settings.sync();
    if (settings.status() != QSettings::NoError)
        return Status::failure(user_path_ + " cannot be written.");
    return Status::success();
}

Status QtToleranceSettings::save_user_tolerance(const ToleranceEntry& entry) {
    const QString pattern = QString::fromStdString(entry.pattern);
    return change_user_file([&](QSettings& settings) {
        const std::vector<int> numbers = element_numbers(settings);
        int at = 0;
        for (const int i : numbers) {
            if (settings.value(QString::number(i) + "/pattern").toString() == pattern) {
                at = i;
                break;
            }
        }
        if (at == 0) {
            at = (numbers.empty() ? 0 : numbers.back()) + 1;
            settings.setValue("size", at);
        }
        settings.beginGroup(QString::number(at));
        settings.setValue("pattern", pattern);
        write_number(settings, "nominal", entry.nominal);
        write_number(settings, "lower", entry.lower);
        write_number(settings, "upper", entry.upper);
        settings.endGroup();
    });
}

Status QtToleranceSettings::remove_user_tolerance(const std::string& pattern) {
    const QString text = QString::fromStdString(pattern);
    return change_user_file([&](QSettings& settings) {
        // The others keep their numbers: a gap reads as no entry.
        std::vector<int> left;
        for (const int i : element_numbers(settings)) {
            if (settings.value(QString::number(i) + "/pattern").toString() == text)
                settings.remove(QString::number(i));
            else
                left.push_back(i);
        }
        const int size = left.empty() ? 0 : left.back();
        if (settings.value("size").toInt() != size) {
            if (size == 0)
                settings.remove("size");
            else
                settings.setValue("size", size);
        }
    });
}

}  // namespace tolvane
