#include "app/lot_commands.h"

#include <QDateTime>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocale>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "inspection/lot_report.h"
#include "posix/posix_file_system.h"
#include "qt/qt_tolerance_settings.h"
#include "quality/tolerances.h"
#include "records/output_target.h"
#include "records/record_follower.h"

namespace tolvane {

std::optional<LotRequest> LotOptions::request(const QCommandLineParser& parser,
                                              const QStringList& files, QString& error) const {
    // Of two values one would be dropped without a word: which one the user
    // meant is not for the program to guess.
    for (const QCommandLineOption* o : {&export_csv, &report, &description, &from, &to})
        if (parser.values(*o).size() > 1) {
            error = "option '--" + o->names().first() + "' is given more than once.";
            return std::nullopt;
        }
    if (!wanted(parser)) {
        for (const QCommandLineOption* o : {&description, &from, &to})
            if (parser.isSet(*o)) {
                error = "option '--" + o->names().first() + "' needs --export-csv or --report.";
                return std::nullopt;
            }
        return std::nullopt;
    }
    LotRequest r;
    r.report = parser.isSet(report);
    r.out = parser.value(r.report ? report : export_csv).toLocal8Bit().toStdString();
    if (!files.isEmpty()) r.file = files.first().toLocal8Bit().toStdString();
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

bool load_lot(const LotRequest& request, Lot& lot, std::string& error) {
    PosixFileSystem files;
    RecordFollower follower(files, request.file, {1 << 20});
    do {
        follower.poll(SIZE_MAX);
    } while (follower.pending());
    if (follower.state() == RecordFollower::State::kMissing) {
        error = request.file + ": No such file or directory";
        return false;
    }
    if (follower.state() == RecordFollower::State::kUnreadable) {
        error = request.file + ": " + follower.problem();
        return false;
    }
    QtToleranceSettings settings;
    const Tolerances tolerances(settings);
    constexpr size_t kBatch = 4096;
    bool read = true;
    for (size_t first = 0; read && first < follower.record_count(); first += kBatch) {
        read = follower.read_records(first, kBatch, [&](size_t i, std::optional<Record> record) {
            if (!record) {
                read = false;
                return;
            }
            if (!request.choice.chooses(*record)) return;
            const auto match = tolerances.find(record->description.value_or(""));
            lot.tolerances.push_back(match ? std::optional(match->entry) : std::nullopt);
            lot.numbers.push_back(i + 1);
            lot.records.push_back(std::move(*record));
        }) && read;
    }
    if (!read) {
        error = request.file + ": the file changed while it was read; try again";
        return false;
    }
    lot.file = QString::fromLocal8Bit(request.file.c_str()).toStdString();
    QStringList how;
    if (request.choice.description)
        how << "description \"" + QString::fromStdString(*request.choice.description) + "\"";
    if (request.choice.from)
        how << "from " + QString::fromStdString(iso_8601(request.choice.from)).replace('T', ' ');
    if (request.choice.to)
        how << "to " + QString::fromStdString(iso_8601(request.choice.to)).replace('T', ' ');
    QString selection = QString("%1 of %2 records").arg(lot.records.size()).arg(follower.record_count());
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
                         request.file.c_str(), lot.numbers[i], lot.records[i].value_count,
                         lot.records[i].values.size());
    return true;
}

// Exit status 2 and why, when OUT is the backup file or one like it: the
// usual mistake is "--report databac.txt", the arguments in the wrong order.
bool refused(const LotRequest& request, std::FILE* err) {
    PosixFileSystem files;
    const std::optional<std::string> refusal = output_refusal(files, request.out, {request.file});
    if (!refusal) return false;
    std::fprintf(err, "tolvane: %s\nThe file to write comes first: tolvane %s [FILE]\n",
                 refusal->c_str(), request.report ? "--report OUT.pdf" : "--export-csv OUT.csv");
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

int report_command(int argc, char** argv, const LotRequest& request, std::FILE* err) {
    if (refused(request, err)) return 2;
    // Fonts need a QGuiApplication; with no display, the offscreen platform.
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* chosen = std::getenv("QT_QPA_PLATFORM");
    if ((!display || !*display) && (!wayland || !*wayland) && (!chosen || !*chosen))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Qt's remarks about the session (a runtime folder owned by another user
    // under setpriv or su) are no concern of a report written to a file.
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext&, const QString& text) {
            if (type == QtWarningMsg && text.startsWith("QStandardPaths:")) return;
            std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        });
    int count = 1;
    QGuiApplication app(count, argv);
    (void)argc;
    qInstallMessageHandler(previous);
    Lot lot;
    if (!load_lot_or_say(request, lot, err)) return 1;
    const QByteArray pdf = lot_report_pdf(lot, QLocale(), QDateTime::currentDateTime());
    return write_out(request, std::string_view(pdf.constData(), static_cast<size_t>(pdf.size())), err);
}

}  // namespace tolvane
