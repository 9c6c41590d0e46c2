#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>
#include <optional>
#include <string>

#include "quality/csv_export.h"

namespace tolvane {

struct Lot;

// tolvane --export-csv OUT.csv [FILE] and tolvane --report OUT.pdf [FILE],
// with --description, --from and --to choosing the records.
struct LotRequest {
    std::string file = "databac.txt";
    std::string out;
    bool report = false;  // else the CSV
    RecordChoice choice;
};

struct LotOptions {
    // Each line of a text at most 54 columns: Qt indents them all by 24,
    // and breaks there only what is longer, wherever that falls.
    QCommandLineOption export_csv{"export-csv",
                                  "Write the values of FILE's records to OUT as CSV,\n"
                                  "one row per value; then exit. Needs no display.\n"
                                  "OUT is never FILE or another file of backup data.",
                                  "OUT"};
    QCommandLineOption report{"report",
                              "Write the report of FILE's records to OUT as PDF (A4);\n"
                              "then exit. Without a display it draws offscreen.\n"
                              "OUT is never FILE or another file of backup data.",
                              "OUT"};
    QCommandLineOption description{"description",
                                   "With --export-csv or --report: only the records of\n"
                                   "this description (its text, or a beginning and '*').",
                                   "TEXT"};
    QCommandLineOption from{"from",
                            "With --export-csv or --report: only the records from\n"
                            "this date or time on (2026-12-06, 2026-12-06T08:00).",
                            "WHEN"};
    QCommandLineOption to{"to",
                          "With --export-csv or --report: only the records up to\n"
                          "this time, or to the end of this date.",
                          "WHEN"};

    void add_to(QCommandLineParser& parser) const {
        for (const QCommandLineOption* o : {&export_csv, &report, &description, &from, &to})
            parser.addOption(*o);
    }
    bool wanted(const QCommandLineParser& parser) const {
        return parser.isSet(export_csv) || parser.isSet(report);
    }
    // The request, or why the options do not make one (for the usual
    // "tolvane: ..." line and exit status 2).
    std::optional<LotRequest> request(const QCommandLineParser& parser, const QStringList& files,
                                      QString& error) const;
};

// Reads the file and chooses its records, with the tolerances of the
// settings files. False and one line in `error` when the file cannot be read.
bool load_lot(const LotRequest& request, Lot& lot, std::string& error);

// Writes the CSV (no display needed); exit status 0, or 1 with one line on
// `err` and no file made. An output that would replace the backup file or
// one like it is refused, with status 2 (the report too).
int export_csv_command(const LotRequest& request, std::FILE* err);

// Writes the PDF report; makes its own QGuiApplication (offscreen when there
// is no display), so call it with no application object alive.
int report_command(int argc, char** argv, const LotRequest& request, std::FILE* err);

}  // namespace tolvane
