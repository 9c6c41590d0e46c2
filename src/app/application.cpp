#include "app/application.h"

#include <QApplication>
#include <QFile>
#include <QIcon>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include <unistd.h>

#include "app/close_on_signal.h"
#include "app/command_line.h"
#include "inspection/inspect_window.h"
#include "posix/posix_file_system.h"
#include "posix/posix_login.h"
#include "qt/qt_busy_indicator.h"
#include "qt/qt_clock_locale.h"
#include "qt/qt_desktop_notifier.h"
#include "qt/qt_serial_control.h"
#include "qt/qt_tolerance_settings.h"
#include "records/station_files.h"
#include "shell/frm_main.h"
#include "shell/frm_start.h"
#include "uno/uno_spreadsheet_server.h"

#ifndef TOLVANE_VERSION_TEXT
#define TOLVANE_VERSION_TEXT "1.00"
#endif

namespace tolvane {

namespace {

// The outside world of the main window, created only once OK is pressed, and
// the window itself, declared last so that it goes first.
struct MainSession {
    PosixFileSystem files;
    QtClockLocale clock;
    QtBusyIndicator busy;
    QtSerialControl com;
    std::unique_ptr<FrmMain> window;

    MainSession() {
        com.setObjectName("com");
        window = std::make_unique<FrmMain>(
            MainPlatform{com,
                         [] { return std::make_shared<UnoSpreadsheetServer>(); },
                         files,
                         clock,
                         busy,
                         nullptr,
                         nullptr,
                         {}});
    }
};

bool is_set(const char* variable) {
    const char* value = std::getenv(variable);
    return value && *value;
}

void no_display(const QString& why) {
    std::fprintf(stderr,
                 "tolvane: %s; it is a desktop program: start it in a desktop session, "
                 "over ssh -X, or on a virtual display (xvfb-run -a tolvane).\n",
                 why.toLocal8Bit().constData());
}

// Qt's messages while QApplication starts, kept back: when the display cannot
// be opened, Qt aborts after several lines and a hint to reinstall; one line
// that says what is wrong serves better.
QStringList starting_lines;

void starting_messages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type != QtFatalMsg) {
        starting_lines << qFormatLogMessage(type, context, text);
        return;
    }
    const QString display = qEnvironmentVariable("DISPLAY", qEnvironmentVariable("WAYLAND_DISPLAY"));
    QString why = "cannot open the display" + (display.isEmpty() ? "" : " " + display);
    if (!is_set("DISPLAY") && is_set("WAYLAND_DISPLAY"))
        why += " (Wayland without X11 needs the package qt6-wayland)";
    no_display(why);
    std::fflush(stderr);
    ::_exit(1);
}

}  // namespace

// The Inspection window, in a process of its own; it ends with its window.
int run_inspection(QApplication& app, std::vector<std::string> named) {
    QApplication::setDesktopFileName("io.github.tolvane.tolvane.inspection");
    PosixFileSystem files;
    // None named: the files of the last time, else the one here.
    if (named.empty())
        for (const QString& path : InspectWindow::remembered_files())
            named.push_back(QFile::encodeName(path).toStdString());
    if (named.empty()) named.push_back("databac.txt");
    const StationFiles stations = station_files(files, named);
    if (!stations.error.empty()) {
        std::fprintf(stderr, "tolvane: %s\n", stations.error.c_str());
        return 2;
    }
    QtToleranceSettings settings;
    QtDesktopNotifier notifier;
    InspectWindow window(stations.files, files, settings,
                         {&notifier, QString::fromStdString(login_user())});
    // ./run opens it beside the polling window, whose title window keeps the
    // keyboard focus and must stay in view: this one goes beneath it.
    const bool background = is_set("TOLVANE_INSPECT_IN_BACKGROUND");
    if (background) window.setAttribute(Qt::WA_ShowWithoutActivating);
    window.show();
    if (background) window.lower();
    const CloseOnSignal on_signal([&] { window.close(); });
    return app.exec();
}

int run_application(int argc, char** argv, const std::optional<std::vector<std::string>>& inspect) {
    const bool chosen = platform_chosen(argc, argv) || is_set("QT_QPA_PLATFORM");
    if (!chosen && !is_set("DISPLAY") && !is_set("WAYLAND_DISPLAY")) {
        no_display("no display (neither DISPLAY nor WAYLAND_DISPLAY is set)");
        return 1;
    }
    // Under Wayland with XWayland, X11 keeps what Wayland does not give a
    // client: staying on top and placing its own windows.
    std::vector<char*> args(argv, argv + argc);
    char platform_option[] = "-platform";
    char xcb[] = "xcb";
    if (!chosen && is_set("WAYLAND_DISPLAY") && is_set("DISPLAY")) {
        args.insert(args.begin() + 1, {platform_option, xcb});
    }
    int args_count = static_cast<int>(args.size());
    args.push_back(nullptr);

    const QtMessageHandler previous = qInstallMessageHandler(starting_messages);
    const std::function<void()> restore_ctype = choose_utf8_ctype();
    QApplication app(args_count, args.data());
    restore_ctype();
    qInstallMessageHandler(previous);
    for (const QString& line : std::exchange(starting_lines, {}))
        std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    // The program's life is explicit: it ends when the title window is
    // closed without OK, or when the main window closes; a message box that
    // closes while the main window loads, with no other window shown yet,
    // must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName("tolvane");
    QApplication::setApplicationVersion(TOLVANE_VERSION_TEXT);
    QApplication::setDesktopFileName("io.github.tolvane.tolvane");
    // The desktop's icon theme first (the package installs the icon there),
    // so that a theme may draw it afresh; the bundled sizes where it has none.
    QIcon bundled;
    for (int size : {16, 32, 48, 64, 128, 256})
        bundled.addFile(QString(":/icons/tolvane-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(QIcon::fromTheme("tolvane", bundled));
    if (inspect) {
        QApplication::setQuitOnLastWindowClosed(true);
        return run_inspection(app, *inspect);
    }

    std::unique_ptr<MainSession> session;
    FrmStart title([&session] {
        session = std::make_unique<MainSession>();
        session->window->Form_Load();
        session->window->show();
        session->window->activateWindow();
    });
    title.Form_Load();
    title.show();
    // A signal ends the program whatever is open: before the main window as
    // the window manager closes the title window; after, through the main
    // window's ending, which never waits for anybody at the screen.
    const CloseOnSignal on_signal(
        [&] {
            if (session)
                session->window->end_on_signal();
            else
                title.close();
        },
        [&] {
            if (!session) return false;
            session->window->end_on_signal();
            return true;
        });
    const int code = app.exec();
    session.reset();
    return code;
}

}  // namespace tolvane
