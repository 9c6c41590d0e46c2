#include "shell/command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>
#include <optional>

#include "platform/port_listing.h"
#include "shell/application.h"

#ifndef TOLVANE_VERSION_TEXT
#define TOLVANE_VERSION_TEXT "1.00"
#endif

namespace tolvane {

namespace {

// The usage line names the program, not the path it was started by.
QString help_text(const QCommandLineParser& parser) {
    QString text = parser.helpText();
    return text.replace(0, text.indexOf('\n'), "Usage: tolvane [options]\n");
}

void print(std::FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
}

// Answers the options, on a QCoreApplication: it needs no display, unlike the
// windows' QApplication. Nothing when no option asks for anything ("--"
// alone): then the windows start, as without options.
std::optional<int> run_options(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("tolvane");
    QCoreApplication::setApplicationVersion(TOLVANE_VERSION_TEXT);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "KLD-350 Polling Utility: receives the readings of a KLD-350 instrument on a\n"
        "serial port, lists them, appends them to databac.txt in the working\n"
        "directory and writes them into LibreOffice Calc. Without options it opens\n"
        "its windows.\n"
        "\n"
        "Port n is the device named by the environment variable TOLVANE_COM<n>, else\n"
        "by the key n under [ports] in ~/.config/tolvane/tolvane.conf, else\n"
        "/dev/ttyS<n-1>. --list-ports shows which devices there are.");
    const QCommandLineOption help({"h", "help"}, "Show this help and exit.");
    const QCommandLineOption version({"v", "version"}, "Show the version and exit.");
    const QCommandLineOption list_ports(
        "list-ports",
        "List the serial devices of this computer, whether you may open them, and the "
        "device that each port number opens; then exit. Opens no port and no window.");
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(list_ports);

    if (!parser.parse(QCoreApplication::arguments()) || !parser.positionalArguments().isEmpty()) {
        const QStringList arguments = parser.positionalArguments();
        const QString error = arguments.isEmpty()
                                  ? parser.errorText()
                                  : "Unexpected argument '" + arguments.first() + "'.";
        print(stderr, "tolvane: " + error + "\n\n" + help_text(parser));
        return 2;
    }
    if (parser.isSet(help)) {
        print(stdout, help_text(parser));
    } else if (parser.isSet(version)) {
        print(stdout, "tolvane " TOLVANE_VERSION_TEXT "\n");
    } else if (parser.isSet(list_ports)) {
        print(stdout, QString::fromStdString(port_listing()));
    } else {
        return std::nullopt;
    }
    return 0;
}

}  // namespace

int run_program(int argc, char** argv) {
    if (argc > 1) {
        if (const std::optional<int> status = run_options(argc, argv)) return *status;
    }
    return run_application(argc, argv);
}

}  // namespace tolvane
