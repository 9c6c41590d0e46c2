#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>
#include <optional>
#include <string>
#include <vector>

#include "quality/csv_export.h"

namespace tolvane {

struct Lot;

// tolvane --export-csv OUT.csv [FILE], tolvane --report OUT.pdf [FILE] and
// tolvane --freeze-limits [FILE], with --description, --from and --to
// choosing the records.
struct LotRequest {
    // The files and folders named (a folder stands for its stations' files).
    std::vector<std::string> inputs = {"databac.txt"};
    std::string file = "databac.txt";  // the first file: the journal is beside it
    std::string out;
    bool report = false;  // else the CSV
    bool freeze = false;  // else one of the two above
    RecordChoice choice;
    // --freeze-limits: the time stamps of the records to leave out, as typed
    // and as read, and why.
    std::vector<std::pair<std::string, LocalDateTime>> leave_out;
    std::string reason = "left out on the command line";
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
    QCommandLineOption freeze_limits{"freeze-limits",
                                     "Freeze control limits from FILE's records (all of\n"
                                     "one characteristic), print them and keep them with\n"
                                     "its tolerance in ~/.config/tolvane/tolvane.conf;\n"
                                     "then exit. Needs no display."};
    QCommandLineOption description{"description",
                                   "With --export-csv, --report or --freeze-limits: only\n"
                                   "the records of this description (its text, or a\n"
                                   "beginning and '*').",
                                   "TEXT"};
    QCommandLineOption from{"from",
                            "With --export-csv, --report or --freeze-limits: only\n"
                            "the records from this date or time on (2026-12-06,\n"
                            "2026-12-06T08:00).",
                            "WHEN"};
    QCommandLineOption to{"to",
                          "With --export-csv, --report or --freeze-limits: only\n"
                          "the records up to this time, or to the end of this\n"
                          "date.",
                          "WHEN"};
    QCommandLineOption leave_out{"leave-out",
                                 "With --freeze-limits: leave out the records of these\n"
                                 "time stamps, separated by commas, for causes found\n"
                                 "(2026-12-06T08:05:00,2026-12-06T09:10).",
                                 "WHEN"};
    QCommandLineOption reason{"reason",
                              "With --leave-out: the cause found, kept with the\n"
                              "limits and in the journal beside FILE.",
                              "TEXT"};

    void add_to(QCommandLineParser& parser) const {
        for (const QCommandLineOption* o :
             {&export_csv, &report, &freeze_limits, &description, &from, &to, &leave_out, &reason})
            parser.addOption(*o);
    }
    bool wanted(const QCommandLineParser& parser) const {
        return parser.isSet(export_csv) || parser.isSet(report) || parser.isSet(freeze_limits);
    }
    // The request, or why the options do not make one (for the usual
    // "tolvane: ..." line and exit status 2).
    std::optional<LotRequest> request(const QCommandLineParser& parser, const QStringList& files,
                                      QString& error) const;
};

// Reads the files and chooses their records (merged in time order when there
// are several), with the tolerances of the settings files. False and one line
// in `error` when a file cannot be read.
bool load_lot(const LotRequest& request, Lot& lot, std::string& error);

// Writes the CSV (no display needed); exit status 0, or 1 with one line on
// `err` and no file made. An output that would replace the backup file or
// one like it is refused, with status 2 (the report too).
int export_csv_command(const LotRequest& request, std::FILE* err);

// Writes the PDF report; makes its own QGuiApplication (offscreen when there
// is no display), so call it with no application object alive.
int report_command(int argc, char** argv, const LotRequest& request, std::FILE* err);

// Freezes control limits from the chosen records, which must all be of one
// characteristic (the tolerance entry each matches, else its description):
// prints them on `out`, appends "limits frozen" (and each record left out)
// to the journal beside the file, then writes that one entry to the user's
// settings file. Exit status 0; 2 when the records chosen cannot give limits
// (several characteristics, a --leave-out time no record has, too few
// records); 1 when a file cannot be read or written, with nothing changed.
int freeze_limits_command(const LotRequest& request, std::FILE* out, std::FILE* err);

}  // namespace tolvane
