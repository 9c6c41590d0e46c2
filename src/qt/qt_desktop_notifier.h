#pragma once

#include "platform/desktop_notifier.h"

namespace tolvane {

// The freedesktop notification service (org.freedesktop.Notifications) on
// the session bus, as "tolvane". The call is asynchronous and its answer
// ignored: no session bus, no service or a service that never answers
// costs the window nothing.
class QtDesktopNotifier final : public DesktopNotifier {
  public:
    void notify(const std::string& summary, const std::string& body) override;
};

}  // namespace tolvane
