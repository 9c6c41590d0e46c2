#pragma once

#include <string>

namespace tolvane {

// Tells the person at the desk about something, outside the program's own
// windows (a desktop notification). Never blocks and never fails the
// caller: without a desktop to tell, nothing happens.
class DesktopNotifier {
  public:
    virtual ~DesktopNotifier() = default;
    // UTF-8 texts: a short summary and a body of a line or two.
    virtual void notify(const std::string& summary, const std::string& body) = 0;
};

}  // namespace tolvane
