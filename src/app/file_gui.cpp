#include "app/file_gui.h"

#include <cstdio>
#include <cstdlib>

namespace tolvane {

namespace {

QtMessageHandler previous = nullptr;

void quiet_about_the_session(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtWarningMsg && text.startsWith("QStandardPaths:")) return;
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

}  // namespace

// Before the application exists: the platform is chosen when it is made.
int FileGuiApplication::prepared() {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* chosen = std::getenv("QT_QPA_PLATFORM");
    if ((!display || !*display) && (!wayland || !*wayland) && (!chosen || !*chosen))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    previous = qInstallMessageHandler(quiet_about_the_session);
    return 1;
}

FileGuiApplication::FileGuiApplication(char** argv) : count_(prepared()), app_(count_, argv) {
    qInstallMessageHandler(previous);
}

}  // namespace tolvane
