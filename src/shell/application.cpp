#include "shell/application.h"

#include <QApplication>
#include <QIcon>
#include <memory>

#include "platform/posix_file_system.h"
#include "platform/qt_busy_indicator.h"
#include "platform/qt_clock_locale.h"
#include "platform/qt_serial_control.h"
#include "platform/uno_spreadsheet_server.h"
#include "shell/close_on_signal.h"
#include "shell/frm_main.h"
#include "shell/frm_start.h"

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

}  // namespace

int run_application(int argc, char** argv) {
    QApplication app(argc, argv);
    // The program's life is explicit: it ends when the title window is
    // closed without OK, or when the main window closes; a message box that
    // closes while the main window loads, with no other window shown yet,
    // must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName("tolvane");
    QApplication::setApplicationVersion(TOLVANE_VERSION_TEXT);
    QApplication::setDesktopFileName("io.github.tolvane.tolvane");
    QIcon icon;
    icon.addFile(":/icons/tolvane-16.png", QSize(16, 16));
    icon.addFile(":/icons/tolvane-32.png", QSize(32, 32));
    QApplication::setWindowIcon(icon);

    std::unique_ptr<MainSession> session;
    FrmStart title([&session] {
        session = std::make_unique<MainSession>();
        session->window->Form_Load();
        session->window->show();
        session->window->activateWindow();
    });
    title.Form_Load();
    title.show();
    // Closed as the window manager closes it.
    const CloseOnSignal on_signal([&] {
        if (session)
            session->window->close();
        else
            title.close();
    });
    const int code = app.exec();
    session.reset();
    return code;
}

}  // namespace tolvane
