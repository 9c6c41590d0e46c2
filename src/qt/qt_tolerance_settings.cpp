// The tolerances' place in the settings files, on QSettings.
#include "qt/qt_tolerance_settings.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <algorithm>
#include <charconv>
#include <utility>

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

// The words the file keeps for the chart and the method of sigma within.
constexpr std::pair<FrozenControl::Chart, const char*> kCharts[] = {
    {FrozenControl::Chart::kMeanAndSd, "xbar-s"},
    {FrozenControl::Chart::kIndividuals, "individuals"},
};
constexpr std::pair<FrozenControl::Sigma, const char*> kSigmas[] = {
    {FrozenControl::Sigma::kNone, "none"},
    {FrozenControl::Sigma::kSBarOverC4, "s-bar/c4"},
    {FrozenControl::Sigma::kPooled, "pooled"},
    {FrozenControl::Sigma::kMovingRange, "moving range"},
};

// ISO 8601 local time with seconds, as in the journal.
QString time_text(const std::optional<LocalDateTime>& t) {
    if (!t) return {};
    return QString::asprintf("%04d-%02d-%02dT%02d:%02d:%02d", t->year, t->month, t->day, t->hour,
                             t->minute, t->second);
}

std::optional<LocalDateTime> time_of(const QString& text, bool& readable) {
    if (text.isEmpty()) return std::nullopt;
    const QDateTime t = QDateTime::fromString(text, Qt::ISODate);
    if (!t.isValid()) {
        readable = false;
        return std::nullopt;
    }
    return LocalDateTime{t.date().year(),  t.date().month(),  t.date().day(),
                         t.time().hour(), t.time().minute(), t.time().second()};
}

void write_text(QSettings& settings, const char* key, const QString& text) {
    if (text.isEmpty())
        settings.remove(key);
    else
        settings.setValue(key, text);
}

// Inside the element's group: its control group, written afresh.
void write_control(QSettings& settings, const std::optional<FrozenControl>& control) {
    settings.remove("control");
    if (!control) return;
    settings.beginGroup("control");
    for (const auto& [chart, word] : kCharts)
        if (chart == control->chart) settings.setValue("chart", word);
    for (const auto& [sigma, word] : kSigmas)
        if (sigma == control->sigma_method) settings.setValue("sigma_method", word);
    write_number(settings, "centre", control->centre);
    write_number(settings, "sigma_within", control->sigma_within);
    if (control->subgroup_size)
        settings.setValue("n", QString::number(*control->subgroup_size));
    else
        settings.setValue("n", "sizes differ");
    write_number(settings, "s_bar", control->s_bar);
    write_number(settings, "mr_bar", control->mr_bar);
    settings.setValue("records_used", QString::number(control->records_used));
    write_text(settings, "first", time_text(control->first_time));
    write_text(settings, "last", time_text(control->last_time));
    write_text(settings, "frozen", time_text(control->frozen));
    QStringList tests;
    for (const int t : control->tests) tests << QString::number(t);
    settings.setValue("tests", tests.join(' '));
    if (!control->left_out.empty()) {
        settings.beginWriteArray("left_out", int(control->left_out.size()));
        for (size_t i = 0; i < control->left_out.size(); ++i) {
            settings.setArrayIndex(int(i));
            write_text(settings, "time", time_text(control->left_out[i].time));
            settings.setValue("reason", QString::fromStdString(control->left_out[i].reason));
        }
        settings.endArray();
    }
    settings.endGroup();
}

// The number under `key` with a point whatever the locale (QString::toDouble
// is C); none when empty, and `readable` false when it is no number.
std::optional<double> number_at(const QSettings& settings, const char* key, bool& readable) {
    const QString text = settings.value(key).toString().trimmed();
    if (text.isEmpty()) return std::nullopt;
    bool ok = false;
    const double x = text.toDouble(&ok);
    readable = readable && ok;
    return x;
}

// Inside the element's group. Limits that cannot be read are no limits: the
// tolerance itself still holds.
std::optional<FrozenControl> read_control(QSettings& settings) {
    if (!settings.childGroups().contains("control")) return std::nullopt;
    settings.beginGroup("control");
    FrozenControl c;
    bool readable = false;
    const QString chart = settings.value("chart").toString();
    for (const auto& [kind, word] : kCharts)
        if (chart == word) {
            c.chart = kind;
            readable = true;
        }
    const QString sigma = settings.value("sigma_method", "none").toString();
    bool method_known = false;
    for (const auto& [method, word] : kSigmas)
        if (sigma == word) {
            c.sigma_method = method;
            method_known = true;
        }
    readable = readable && method_known;
    const auto number = [&](const char* key) { return number_at(settings, key, readable); };
    c.centre = number("centre");
    c.sigma_within = number("sigma_within");
    c.s_bar = number("s_bar");
    c.mr_bar = number("mr_bar");
    const QString n = settings.value("n").toString();
    if (n != "sizes differ") {
        bool ok = false;
        const qulonglong size = n.toULongLong(&ok);
        readable = readable && ok && size > 0;
        c.subgroup_size = size;
    }
    c.records_used = settings.value("records_used").toString().toULongLong();
    c.first_time = time_of(settings.value("first").toString(), readable);
    c.last_time = time_of(settings.value("last").toString(), readable);
    c.frozen = time_of(settings.value("frozen").toString(), readable);
    if (settings.contains("tests")) {
        c.tests.clear();
        for (const QString& t : settings.value("tests").toString().split(' ', Qt::SkipEmptyParts)) {
            bool ok = false;
            const int test = t.toInt(&ok);
            readable = readable && ok && test >= 1 && test <= 8;
            c.tests.push_back(test);
        }
    }
    const int left = std::min(settings.beginReadArray("left_out"), 10000);
    for (int i = 0; i < left; ++i) {
        settings.setArrayIndex(i);
        c.left_out.push_back({time_of(settings.value("time").toString(), readable),
                              settings.value("reason").toString().toStdString()});
    }
    settings.endArray();
    settings.endGroup();
    if (!readable) return std::nullopt;
    return c;
}

// Inside the element's group.
std::optional<ToleranceEntry> read_entry(QSettings& settings) {
    ToleranceEntry entry;
    entry.pattern = settings.value("pattern").toString().toStdString();
    bool readable = !entry.pattern.empty();
    const auto number = [&](const char* key) { return number_at(settings, key, readable); };
    entry.nominal = number("nominal");
    entry.lower = number("lower");
    entry.upper = number("upper");
    const QString scale = settings.value("scale", "linear").toString();
    if (scale == "log")
        entry.scale = Scale::kLog;
    else if (scale != "linear")
        readable = false;  // a scale this program does not know: no figures on a guess
    if (!readable) return std::nullopt;
    entry.control = read_control(settings);
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
        if (entry.scale == Scale::kLog)
            settings.setValue("scale", "log");
        else
            settings.remove("scale");
        write_control(settings, entry.control);
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
