#include "app/command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include <langinfo.h>

#include "app/application.h"
#include "app/lot_commands.h"
#include "app/stats_command.h"
#include "app/validate_command.h"
#include "qt/port_listing.h"

#ifndef TOLVANE_VERSION_TEXT
#define TOLVANE_VERSION_TEXT "1.00"
#endif

namespace tolvane {

namespace {

// Qt's own options, which QApplication takes out of the arguments itself, and
// whether each takes a value. Qt accepts them with two dashes too.
struct QtOption {
    std::string_view name;
    bool value;
};
constexpr QtOption kQtOptions[] = {
    {"platform", true},      {"platformpluginpath", true}, {"platformtheme", true},
    {"plugin", true},        {"qwindowgeometry", true},    {"qwindowicon", true},
    {"qwindowtitle", true},  {"geometry", true},           {"icon", true},
    {"title", true},         {"display", true},            {"name", true},
    {"session", true},       {"style", true},              {"stylesheet", true},
    {"reverse", false},      {"widgetcount", false},       {"nograb", false},
    {"dograb", false},       {"sync", false},              {"testability", false},
};

const QtOption* qt_option(std::string_view arg) {
    if (arg.starts_with("--")) arg.remove_prefix(1);
    if (!arg.starts_with('-')) return nullptr;
    arg.remove_prefix(1);
    for (const QtOption& option : kQtOptions) {
        if (option.name == arg) return &option;
    }
    return nullptr;
}

// The arguments without Qt's options, the program's name first; or why a Qt
// option cannot be used.
struct OwnArguments {
    QStringList list;
    QString error;
};

OwnArguments own_arguments(int argc, char** argv) {
    OwnArguments own;
    own.list << QString::fromLocal8Bit(argv[0]);
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--") {
            for (; i < argc; ++i) own.list << QString::fromLocal8Bit(argv[i]);
            break;
        }
        // -style=fusion and -stylesheet=file.qss carry their value.
        if (arg.starts_with("-style=") || arg.starts_with("--style=") ||
            arg.starts_with("-stylesheet=") || arg.starts_with("--stylesheet="))
            continue;
        const QtOption* qt = qt_option(arg);
        if (!qt) {
            own.list << QString::fromLocal8Bit(argv[i]);
        } else if (qt->value && ++i == argc) {
            own.error = "option '" + QString::fromLocal8Bit(argv[i - 1]) + "' needs a value.";
            break;
        }
    }
    return own;
}

// Qt names an unknown option without its dashes ("bogus" for "--bogus"):
// name it as it was typed.
QString parse_error(const QCommandLineParser& parser, const QStringList& args) {
    const QStringList unknown = parser.unknownOptionNames();
    if (unknown.isEmpty()) return parser.errorText();
    for (const QString& arg : args.mid(1)) {
        if (arg == "--") break;
        const QString typed = arg.section('=', 0, 0);
        QString name = typed;
        while (name.startsWith('-'))
            name.remove(0, 1);
        if (typed.startsWith('-') && name == unknown.first())
            return "Unknown option '" + typed + "'.";
    }
    return parser.errorText();
}

// The usage line names the program, not the path it was started by.
QString help_text(const QCommandLineParser& parser) {
    QString text = parser.helpText();
    text.replace(0, text.indexOf('\n'),
                 "Usage: tolvane [options]\n"
                 "       tolvane --inspect [FILE|DIR...]\n"
                 "       tolvane --stats [FILE|DIR...]\n"
                 "       tolvane --export-csv OUT.csv [--description TEXT] [--from WHEN]\n"
                 "                                    [--to WHEN] [FILE|DIR...]\n"
                 "       tolvane --export-aqdef OUT.dfq [--description TEXT] [--from WHEN]\n"
                 "                                      [--to WHEN] [FILE|DIR...]\n"
                 "       tolvane --report OUT.pdf [--description TEXT] [--from WHEN]\n"
                 "                                [--to WHEN] [FILE|DIR...]\n"
                 "       tolvane --freeze-limits [--description TEXT] [--from WHEN]\n"
                 "                               [--to WHEN] [--leave-out WHEN,...]\n"
                 "                               [--reason TEXT] [FILE|DIR...]\n"
                 "       tolvane --validate [OUT.pdf]\n");
    // The order of the arguments, shown: "--report databac.txt" is the
    // mistake that this prevents (and the program refuses).
    return text +
           "\nExamples:\n"
           "  tolvane --report lot.pdf databac.txt\n"
           "      The report of every record of databac.txt, written to lot.pdf: the file\n"
           "      to write comes first, the file to read last.\n"
           "  tolvane --export-csv d25.csv --description 'Shaft D25*' --from 2026-12-01\n"
           "      The values of the records of Shaft D25 since 1 December 2026, as CSV.\n"
           "  tolvane --export-aqdef d25.dfq --description 'Shaft D25*'\n"
           "      The same records for Q-DAS software: one characteristic per tolerance\n"
           "      entry, each value with its time, description (batch) and station.\n"
           "  tolvane --freeze-limits --description 'Shaft D25*' --to 2026-12-03 \\\n"
           "          --leave-out 2026-12-01T08:05:00 --reason 'loose part'\n"
           "      Control limits for Shaft D25 from its records up to 3 December, the\n"
           "      one of 08:05 left out; kept in tolvane.conf for --stats and the window.\n"
           "  tolvane --stats > stats.csv\n"
           "      The statistics of every record of databac.txt, one CSV line each.\n"
           "  tolvane --stats /srv/lab > stats.csv\n"
           "      The same of every station under /srv/lab (the databac.txt in it and\n"
           "      in its subfolders) in time order, each line naming its station.\n"
           "  tolvane --validate validation.pdf\n"
           "      The program's statistics against the reference data built into it, one\n"
           "      line per figure; the same as a PDF report in validation.pdf.\n";
}

void print(std::FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
}

// Answers the options, on a QCoreApplication: it needs no display, unlike the
// windows' QApplication. Nothing when no option asks for anything ("--"
// alone, or only Qt's options): then the windows start, as without options;
// with --inspect, `inspect` holds the files and folders that the Inspection
// window follows (none: those it followed last time).
// A --report asked for, drawn once run_options has returned.
std::optional<LotRequest> pending_report;
// A --validate asked for, run once run_options has returned (its PDF needs
// a QGuiApplication); the PDF to write, if any.
std::optional<std::optional<std::string>> pending_validate;

std::optional<int> run_options(int argc, char** argv,
                               std::optional<std::vector<std::string>>& inspect) {
    const std::function<void()> restore_ctype = choose_utf8_ctype();
    QCoreApplication app(argc, argv);
    restore_ctype();
    QCoreApplication::setApplicationName("tolvane");
    QCoreApplication::setApplicationVersion(TOLVANE_VERSION_TEXT);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "KLD-350 Polling Utility: receives the readings of a KLD-350 instrument on a\n"
        "serial port, lists them, appends them to databac.txt in the working\n"
        "directory and writes them into LibreOffice Calc. Without options it opens\n"
        "its windows; Qt's own options (-platform, -style, -display, ...) are passed\n"
        "on to Qt.\n"
        "\n"
        "Port n is the device named by the environment variable TOLVANE_COM<n>, else\n"
        "by the key n under [ports] in ~/.config/tolvane/tolvane.conf, else in\n"
        "/etc/xdg/tolvane/tolvane.conf (the computer's file), else /dev/ttyS<n-1>.\n"
        "--list-ports shows which devices there are.");
    const QCommandLineOption help({"h", "help"}, "Show this help and exit.");
    const QCommandLineOption version({"v", "version"}, "Show the version and exit.");
    const QCommandLineOption list_ports(
        "list-ports",
        "List the serial devices of this computer, whether you\n"
        "may open them, and the device each port number opens;\n"
        "then exit. Opens no port and no window.");
    const QCommandLineOption stats(
        "stats",
        "Print the statistics of every record of FILE as CSV,\n"
        "one line per record, with the tolerances of the\n"
        "settings files; then exit. Needs no display.\n"
        "Without FILE: databac.txt in the working directory.\n"
        "Several files: in time order, with a last column\n"
        "station (the name of the folder holding the file).");
    parser.addPositionalArgument("FILE|DIR",
                                 "The backup data file that --stats, --inspect,\n"
                                 "--export-csv, --export-aqdef, --report and\n"
                                 "--freeze-limits read, last of all; every one of them\n"
                                 "reads several, one per station, as one: a DIR stands\n"
                                 "for the databac.txt in it and in its direct subfolders.",
                                 "[FILE|DIR...]");
    // "-bogus" is one unknown option, not five unknown letters.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(list_ports);
    parser.addOption(stats);
    const QCommandLineOption inspect_option(
        "inspect",
        "Open the Inspection window on each FILE (a station):\n"
        "tolerances, statistics and charts of every record,\n"
        "following the files as polling windows append to them.\n"
        "A DIR stands for the databac.txt in it and in its\n"
        "direct subfolders. Without FILE: the files of the last\n"
        "time, else databac.txt in the working directory.");
    parser.addOption(inspect_option);
    const QCommandLineOption validate_option(
        "validate",
        "Check the program's statistics against reference data\n"
        "built into it (NIST StRD, a textbook control chart, a\n"
        "lognormal case in closed form): one line per figure\n"
        "with the digits it agrees to; with OUT.pdf also a PDF\n"
        "report. Exit status 1 when a figure falls short.");
    parser.addOption(validate_option);
    const LotOptions lot;
    lot.add_to(parser);

    const OwnArguments own = own_arguments(argc, argv);
    QString error = own.error;
    if (error.isEmpty() && !parser.parse(own.list)) error = parse_error(parser, own.list);
    // A FILE only after an option that reads one.
    const QStringList files = error.isEmpty() ? parser.positionalArguments() : QStringList();
    // --stats and the lot's jobs read several files (stations) at once.
    const qsizetype files_allowed =
        !error.isEmpty() ? 0
        : parser.isSet(stats) || parser.isSet(inspect_option) || lot.wanted(parser) ? files.size()
        : parser.isSet(validate_option)                                            ? 1
                                                                                   : 0;
    if (error.isEmpty() && files.size() > files_allowed)
        error = "Unexpected argument '" + files.at(files_allowed) + "'.";
    // One job at a time: a second one would be dropped without a word.
    if (error.isEmpty()) {
        QStringList jobs;
        for (const QCommandLineOption* job :
             {&list_ports, &stats, &inspect_option, &validate_option, &lot.export_csv,
              &lot.export_aqdef, &lot.report, &lot.freeze_limits})
            if (parser.isSet(*job)) jobs << "--" + job->names().first();
        if (jobs.size() > 1) error = jobs.at(0) + " and " + jobs.at(1) + " cannot be given together.";
    }
    std::optional<LotRequest> lot_request;
    if (error.isEmpty()) lot_request = lot.request(parser, files, error);
    if (!error.isEmpty()) {
        print(stderr, "tolvane: " + error + "\nTry 'tolvane --help'.\n");
        return 2;
    }
    if (parser.isSet(help)) {
        print(stdout, help_text(parser));
    } else if (parser.isSet(version)) {
        print(stdout, "tolvane " TOLVANE_VERSION_TEXT "\n");
    } else if (parser.isSet(list_ports)) {
        print(stdout, QString::fromStdString(port_listing()));
    } else if (lot_request && lot_request->freeze) {
        return freeze_limits_command(*lot_request, stdout, stderr);
    } else if (lot_request && lot_request->aqdef) {
        return export_aqdef_command(*lot_request, stderr);
    } else if (lot_request && !lot_request->report) {
        return export_csv_command(*lot_request, stderr);
    } else if (lot_request) {
        // Drawn after this QCoreApplication has gone, in a QGuiApplication.
        pending_report = *lot_request;
        return 0;
    } else if (parser.isSet(validate_option)) {
        pending_validate = files.isEmpty() ? std::nullopt
                                           : std::optional(files.first().toLocal8Bit().toStdString());
        return 0;
    } else if (parser.isSet(stats)) {
        std::vector<std::string> arguments;
        for (const QString& file : files) arguments.push_back(file.toLocal8Bit().toStdString());
        if (arguments.empty()) arguments.push_back("databac.txt");
        return print_stats(arguments, stdout, stderr);
    } else {
        if (parser.isSet(inspect_option)) {
            inspect.emplace();
            for (const QString& file : files) inspect->push_back(file.toLocal8Bit().toStdString());
        }
        return std::nullopt;
    }
    return 0;
}

}  // namespace

bool platform_chosen(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--") break;
        if (const QtOption* qt = qt_option(arg); qt && qt->name == "platform") return true;
    }
    return false;
}

std::function<void()> choose_utf8_ctype() {
    // LC_ALL would override LC_CTYPE; then Qt's own switch stands.
    if (const char* all = std::getenv("LC_ALL"); all && *all) return [] {};
    std::setlocale(LC_CTYPE, "");
    const std::string codeset = nl_langinfo(CODESET);
    std::setlocale(LC_CTYPE, "C");
    if (codeset == "UTF-8" || codeset == "utf8") return [] {};
    std::optional<std::string> before;
    if (const char* ctype = std::getenv("LC_CTYPE")) before = ctype;
    ::setenv("LC_CTYPE", "C.UTF-8", 1);
    return [before] {
        if (before)
            ::setenv("LC_CTYPE", before->c_str(), 1);
        else
            ::unsetenv("LC_CTYPE");
    };
}

int run_program(int argc, char** argv) {
    std::optional<std::vector<std::string>> inspect;
    if (argc > 1) {
        if (const std::optional<int> status = run_options(argc, argv, inspect)) {
            if (*status == 0 && pending_report) return report_command(argc, argv, *pending_report, stderr);
            if (*status == 0 && pending_validate)
                return validate_command(argc, argv, *pending_validate, stdout, stderr);
            return *status;
        }
    }
    return run_application(argc, argv, inspect);
}

}  // namespace tolvane
