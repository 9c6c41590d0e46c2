#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>
#include <optional>
#include <string>

#include "inspect/csv_export.h"

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
    QCommandLineOption export_csv{"export-csv",
                                  "Write the values of the records of FILE (default: databac.txt)\n"
                                  "to OUT as CSV, one row per value; then exit. Needs no display.",
                                  "OUT"};
    QCommandLineOption report{"report",
                              "Write the inspection report of the records of FILE to OUT as PDF\n"
                              "(A4); then exit. Without a display it draws offscreen.",
                              "OUT"};
    QCommandLineOption description{
        "description", "With --export-csv or --report: only records of this description\n"
        "(its text, or a prefix ending in '*').", "TEXT"};
    QCommandLineOption from{"from", "With --export-csv or --report: only records from this\n"
                                    "date or time on (2026-12-06 or 2026-12-06T08:00).", "WHEN"};
    QCommandLineOption to{"to", "With --export-csv or --report: only records up to this date\n"
                                "(the whole day) or time.", "WHEN"};

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
// `err` and no file made.
int export_csv_command(const LotRequest& request, std::FILE* err);

// Writes the PDF report; makes its own QGuiApplication (offscreen when there
// is no display), so call it with no application object alive.
int report_command(int argc, char** argv, const LotRequest& request, std::FILE* err);

}  // namespace tolvane
