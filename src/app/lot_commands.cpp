#include "app/lot_commands.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocale>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <vector>

#include "app/file_gui.h"
#include "inspection/lot_report.h"
#include "posix/posix_file_system.h"
#include "posix/posix_login.h"
#include "qt/qt_settings_paths.h"
#include "qt/qt_tolerance_settings.h"
#include "quality/aqdef.h"
#include "quality/control_limits.h"
#include "quality/freezing.h"
#include "quality/journal.h"
#include "quality/tolerances.h"
#include "records/output_target.h"
#include "records/station_records.h"

namespace tolvane {

std::optional<LotRequest> LotOptions::request(const QCommandLineParser& parser,
                                              const QStringList& files, QString& error) const {
    // Of two values one would be dropped without a word: which one the user
    // meant is not for the program to guess.
    for (const QCommandLineOption* o :
         {&export_csv, &export_aqdef, &report, &description, &from, &to, &reason})
        if (parser.values(*o).size() > 1) {
            error = "option '--" + o->names().first() + "' is given more than once.";
            return std::nullopt;
        }
    if (!wanted(parser)) {
        for (const QCommandLineOption* o : {&description, &from, &to})
            if (parser.isSet(*o)) {
                error = "option '--" + o->names().first() +
                        "' needs --export-csv, --export-aqdef, --report or --freeze-limits.";
                return std::nullopt;
            }
    }
    for (const QCommandLineOption* o : {&leave_out, &reason})
        if (parser.isSet(*o) && !parser.isSet(freeze_limits)) {
            error = "option '--" + o->names().first() + "' needs --freeze-limits.";
            return std::nullopt;
        }
    if (parser.isSet(reason) && !parser.isSet(leave_out)) {
        error = "option '--reason' needs --leave-out.";
        return std::nullopt;
    }
    if (!wanted(parser)) return std::nullopt;
    LotRequest r;
    r.report = parser.isSet(report);
    r.freeze = parser.isSet(freeze_limits);
    r.aqdef = parser.isSet(export_aqdef);
    if (!r.freeze)
        r.out = parser.value(r.report ? report : r.aqdef ? export_aqdef : export_csv)
                    .toLocal8Bit()
                    .toStdString();
    // Given once with commas, or several times: every one counts.
    for (const QString& list : parser.values(leave_out))
        for (const QString& when : list.split(',', Qt::SkipEmptyParts)) {
            const std::optional<LocalDateTime> t = parse_iso_time(when.trimmed().toStdString(), false);
            if (!t) {
                error = "'" + when + "' for --leave-out is no time (2026-12-06T08:05:00).";
                return std::nullopt;
            }
            r.leave_out.emplace_back(when.trimmed().toStdString(), *t);
        }
    if (parser.isSet(reason)) {
        r.reason = parser.value(reason).trimmed().toStdString();
        if (r.reason.empty()) {
            error = "--reason needs the cause found.";
            return std::nullopt;
        }
    }
    if (!files.isEmpty()) {
        r.inputs.clear();
        for (const QString& file : files) r.inputs.push_back(file.toLocal8Bit().toStdString());
        r.file = r.inputs.front();
    }
    if (parser.isSet(description)) r.choice.description = parser.value(description).toStdString();
    for (const auto& [option, end_of_day, when] :
         {std::tuple{&from, false, &r.choice.from}, std::tuple{&to, true, &r.choice.to}}) {
        if (!parser.isSet(*option)) continue;
        *when = parse_iso_time(parser.value(*option).toStdString(), end_of_day);
        if (!*when) {
            error = "'" + parser.value(*option) + "' for --" + option->names().first() +
                    " is no date (2026-12-06) or time (2026-12-06T08:00).";
            return std::nullopt;
        }
    }
    if (r.choice.time_range_empty()) {
        error = "--from " + parser.value(from) + " is later than --to " + parser.value(to) +
                ": no record could be chosen.";
        return std::nullopt;
    }
    return r;
}

namespace {

// The journal of the causes found and the limits frozen: beside the first
// file read.
std::string journal_file(const LotRequest& request) {
    PosixFileSystem files;
    const StationFiles stations = station_files(files, request.inputs);
    return journal_path(stations.files.empty() ? request.file : stations.files.front().path);
}

}  // namespace

bool load_lot(const LotRequest& request, Lot& lot, std::string& error) {
    PosixFileSystem files;
    const StationFiles stations = station_files(files, request.inputs);
    if (!stations.error.empty()) {
        error = stations.error;
        return false;
    }
    StationRecords records(files, stations.files, {1 << 20});
    do {
        records.poll(SIZE_MAX);
    } while (records.pending());
    for (const StationRecords::Station& station : records.stations()) {
        if (station.state == RecordFollower::State::kMissing) {
            error = station.path + ": No such file or directory";
            return false;
        }
        if (station.state == RecordFollower::State::kUnreadable) {
            error = station.path + ": " + station.problem;
            return false;
        }
    }
    const bool several = stations.files.size() > 1;
    if (several)
        for (const StationFile& station : stations.files) lot.stations.push_back(station.name);
    QtToleranceSettings settings;
    const Tolerances tolerances(settings);
    const bool read = records.read_all_records([&](size_t i, Record&& record) {
        if (!request.choice.chooses(record)) return;
        const auto match = tolerances.find(record.description.value_or(""));
        lot.tolerances.push_back(match ? std::optional(match->entry) : std::nullopt);
        lot.numbers.push_back(records.index_in_station(i) + 1);
        if (several) lot.record_stations.push_back(records.station_of(i));
        lot.records.push_back(std::move(record));
    });
    if (!read) {
        error = (several ? std::string("the stations' files") : request.file) +
                ": the file changed while it was read; try again";
        return false;
    }
    std::string named = request.inputs.front();
    for (size_t i = 1; i < request.inputs.size(); ++i) named += ", " + request.inputs[i];
    lot.file = QString::fromLocal8Bit(named.c_str()).toStdString();
    QStringList how;
    if (request.choice.description)
        how << "description \"" + QString::fromStdString(*request.choice.description) + "\"";
    if (request.choice.from)
        how << "from " + QString::fromStdString(iso_8601(request.choice.from)).replace('T', ' ');
    if (request.choice.to)
        how << "to " + QString::fromStdString(iso_8601(request.choice.to)).replace('T', ' ');
    QString selection = QString("%1 of %2 records").arg(lot.records.size()).arg(records.record_count());
    if (!how.isEmpty()) selection += " (" + how.join(", ") + ")";
    lot.selection = selection.toStdString();
    complete_lot(lot);
    return true;
}

namespace {

// The lot asked for, or false with the reason on stderr. A record longer
// than the instrument sends was made by hand, and only its first values are
// read: the output has fewer than the file, and says so.
bool load_lot_or_say(const LotRequest& request, Lot& lot, std::FILE* err) {
    std::string error;
    if (!load_lot(request, lot, error)) {
        std::fprintf(err, "tolvane: %s\n", error.c_str());
        return false;
    }
    for (size_t i = 0; i < lot.records.size(); ++i)
        if (lot.records[i].values_cut())
            std::fprintf(err, "tolvane: %s: record %zu has %zu values; only the first %zu are used\n",
                         lot.record_stations.empty()
                             ? request.file.c_str()
                             : lot.stations[lot.record_stations[i]].c_str(),
                         lot.numbers[i], lot.records[i].value_count, lot.records[i].values.size());
    // The causes found and the limits' history; a missing journal is none.
    PosixFileSystem files;
    JournalReader journal;
    if (const Status read = journal.poll(files, journal_file(request), lot.journal); !read.ok())
        std::fprintf(err, "tolvane: %s; the report shows no journal\n", read.reason().c_str());
    return true;
}

// Exit status 2 and why, when OUT is the backup file or one like it: the
// usual mistake is "--report databac.txt", the arguments in the wrong order.
bool refused(const LotRequest& request, std::FILE* err) {
    PosixFileSystem files;
    std::vector<std::string> inputs = request.inputs;
    for (const StationFile& station : station_files(files, request.inputs).files)
        inputs.push_back(station.path);
    const std::optional<std::string> refusal = output_refusal(files, request.out, inputs);
    if (!refusal) return false;
    std::fprintf(err, "tolvane: %s\nThe file to write comes first: tolvane %s [FILE]\n",
                 refusal->c_str(),
                 request.report  ? "--report OUT.pdf"
                 : request.aqdef ? "--export-aqdef OUT.dfq"
                                 : "--export-csv OUT.csv");
    return true;
}

int write_out(const LotRequest& request, std::string_view bytes, std::FILE* err) {
    // Again just before the write: the file may have come meanwhile.
    if (refused(request, err)) return 2;
    PosixFileSystem files;
    const Status written = files.replace(request.out, bytes);
    if (!written.ok()) {
        std::fprintf(err, "tolvane: %s: %s; nothing was written\n", request.out.c_str(),
                     written.reason().c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int export_csv_command(const LotRequest& request, std::FILE* err) {
    if (refused(request, err)) return 2;
    Lot lot;
    if (!load_lot_or_say(request, lot, err)) return 1;
    return write_out(request, lot_csv(lot), err);
}

int export_aqdef_command(const LotRequest& request, std::FILE* err) {
    if (refused(request, err)) return 2;
    Lot lot;
    if (!load_lot_or_say(request, lot, err)) return 1;
    // Each record's station; one file is one station, named as --stats names it.
    std::vector<std::string> stations = record_station_names(lot);
    if (stations.empty()) {
        PosixFileSystem files;
        const StationFiles one = station_files(files, request.inputs);
        stations.push_back(one.files.empty() ? std::string() : one.files.front().name);
    }
    const AqdefPart part{
        QFileInfo(QString::fromLocal8Bit(request.out.c_str())).completeBaseName().toStdString(),
        lot.selection};
    const AqdefFile aqdef = aqdef_file(lot, stations, part);
    for (const std::string& warning : aqdef.warnings)
        std::fputs(("tolvane: " + QString::fromStdString(warning) + "\n").toLocal8Bit().constData(), err);
    if (!aqdef.refusal.empty()) {
        std::fputs(("tolvane: " + QString::fromStdString(aqdef.refusal) + "; nothing was written\n")
                       .toLocal8Bit()
                       .constData(),
                   err);
        return 1;
    }
    return write_out(request, aqdef.bytes, err);
}

int report_command(int argc, char** argv, const LotRequest& request, std::FILE* err) {
    if (refused(request, err)) return 2;
    const FileGuiApplication app(argv);
    (void)argc;
    Lot lot;
    if (!load_lot_or_say(request, lot, err)) return 1;
    const QByteArray pdf = lot_report_pdf(lot, QLocale(), QDateTime::currentDateTime());
    return write_out(request, std::string_view(pdf.constData(), static_cast<size_t>(pdf.size())), err);
}

namespace {

std::string figure(const std::optional<double>& x) {
    return x ? round_trip_text(*x) : std::string("none");
}

std::string sigma_method_text(const ControlLimits& c) {
    switch (c.method) {
        case SigmaMethod::kSBarOverC4: return " (s-bar/c4)";
        case SigmaMethod::kPooled: return " (pooled s)";
        case SigmaMethod::kMovingRange: return " (MR-bar/d2)";
        case SigmaMethod::kNone: break;
    }
    return "";
}

// What the command prints: the limits and where they come from, numbers
// with a point in their shortest form, times in ISO 8601.
// On the log scale the limits and sigma are of log10 of the values, and say so.
std::string limits_text(const std::string& pattern, const ControlLimits& c,
                        const FrozenControl& kept, const std::string& settings_path, Scale scale,
                        const std::string& not_positive) {
    const bool individuals = c.kind == ChartKind::kIndividuals;
    const bool log = scale == Scale::kLog;
    const std::string of_logs = log ? " (of log10 of the values)" : "";
    std::string t = "Characteristic: " + pattern + "\n";
    if (log) {
        t += "Scale: logarithmic; the limits and sigma within are of log10 of the values\n";
        if (!not_positive.empty()) t += "Values left out: " + not_positive + "\n";
    }
    t += "Records used: " + std::to_string(c.records_used);
    if (c.first_time) t += " (" + iso_8601(c.first_time) + " to " + iso_8601(c.last_time) + ")";
    t += "\nLeft out: " + std::to_string(kept.left_out.size()) + "\n";
    for (const FrozenControl::LeftOut& left : kept.left_out)
        t += "  " + iso_8601(left.time) + " " + left.reason + "\n";
    if (c.sizes_differ) {
        t += "X\u0304 and s charts" + of_logs + ": limits at each record's size, from the centre " +
             figure(c.centre) + " and sigma within\n";
    } else {
        t += std::string(individuals ? "X" : "X\u0304") + " chart" + of_logs + ": LCL " +
             figure(c.chart.mean_lcl) + ", centre " + figure(c.chart.centre) + ", UCL " +
             figure(c.chart.mean_ucl) + "\n";
        t += std::string(individuals ? "MR" : "s") + " chart" + of_logs + ": LCL " +
             figure(c.chart.spread_lcl) + ", centre " + figure(c.chart.spread_centre) + ", UCL " +
             figure(c.chart.spread_ucl) + "\n";
    }
    t += "\u03c3 within" + of_logs + ": " + figure(c.sigma_within) + sigma_method_text(c) + "\n";
    t += "n: " + (c.subgroup_size ? std::to_string(*c.subgroup_size) : std::string("sizes differ")) +
         "\n";
    std::string tests;
    for (const int test : kept.tests) tests += (tests.empty() ? "" : " ") + std::to_string(test);
    t += "Tests: " + (tests.empty() ? std::string("none") : tests) + "\n";
    t += "Frozen on " + iso_8601(kept.frozen) + ", kept in " + settings_path + "\n";
    return t;
}

void say(std::FILE* stream, const std::string& utf8) {
    std::fputs(QString::fromStdString(utf8).toLocal8Bit().constData(), stream);
}

}  // namespace

int freeze_limits_command(const LotRequest& request, std::FILE* out, std::FILE* err) {
    Lot lot;
    if (!load_lot_or_say(request, lot, err)) return 1;
    const Characteristic characteristic = characteristic_of(lot);
    if (!characteristic.pattern) {
        say(err, "tolvane: " + characteristic.problem +
                     (characteristic.several ? ": choose it with --description.\n" : ".\n"));
        return 2;
    }
    const std::string& pattern = *characteristic.pattern;

    // The characteristic's own scale: on the log one the limits are of the logs.
    const Scale scale = !lot.tolerances.empty() && lot.tolerances.front() &&
                                lot.tolerances.front()->pattern == pattern
                            ? lot.tolerances.front()->scale
                            : Scale::kLinear;
    std::vector<Subgroup> subgroups = subgroups_of(lot.records, scale);
    for (const auto& [typed, when] : request.leave_out) {
        bool matched = false;
        for (Subgroup& g : subgroups)
            if (g.time && *g.time == when) {
                g.left_out = request.reason;
                matched = true;
            }
        if (!matched) {
            say(err, "tolvane: --leave-out " + typed + ": no record chosen has this time stamp.\n");
            return 2;
        }
    }
    const ControlLimits limits = freeze_limits(subgroups);
    if (!limits.sigma_within) {
        say(err, "tolvane: " + std::to_string(limits.records_used) +
                     " records used give no limits: they need at least two with a spread.\n");
        return 2;
    }

    const QDateTime now = QDateTime::currentDateTime();
    const LocalDateTime when{now.date().year(),  now.date().month(),  now.date().day(),
                             now.time().hour(), now.time().minute(), now.time().second()};
    const ToleranceEntry entry =
        entry_to_freeze(lot, pattern, limits, subgroups, when, tests_to_freeze_with(lot));
    PosixFileSystem files;
    Journal journal(files, journal_file(request));
    QtToleranceSettings settings;
    Tolerances tolerances(settings);
    const std::vector<JournalEntry> events =
        freezing_events(pattern, *entry.control, when, login_user());
    if (const Status kept = keep_frozen(journal, tolerances, entry, events); !kept.ok()) {
        say(err, "tolvane: " + kept.reason() + " The limits are not kept.\n");
        return 1;
    }
    size_t not_positive = 0, negative = 0;
    if (scale == Scale::kLog)
        for (const Record& r : lot.records)
            for (const Number& v : r.numbers()) {
                not_positive += v.value() <= 0 ? 1 : 0;
                negative += v.value() < 0 ? 1 : 0;
            }
    say(out, limits_text(pattern, limits, *entry.control, user_settings_path(), scale,
                         not_positive_words(not_positive, negative)));
    return std::fflush(out) == 0 ? 0 : 1;
}

}  // namespace tolvane
