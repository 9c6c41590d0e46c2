#pragma once

#include <QGuiApplication>

namespace tolvane {

// The QGuiApplication a command needs for fonts while it writes a file (a
// PDF): on the offscreen platform when there is no display, and with Qt's
// remarks about the session (a runtime folder owned by another user under
// setpriv or su) kept off stderr, as they are no concern of the file.
class FileGuiApplication {
  public:
    explicit FileGuiApplication(char** argv);
    FileGuiApplication(const FileGuiApplication&) = delete;
    FileGuiApplication& operator=(const FileGuiApplication&) = delete;

  private:
    static int prepared();
    int count_;
    QGuiApplication app_;
};

}  // namespace tolvane
