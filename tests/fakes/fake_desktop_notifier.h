#pragma once

#include <string>
#include <vector>

#include "platform/desktop_notifier.h"

namespace tolvane::testing {

// Keeps every notification given, in order.
struct RecordingNotifier : DesktopNotifier {
    struct Notice {
        std::string summary, body;
    };
    std::vector<Notice> notices;
    void notify(const std::string& summary, const std::string& body) override {
        notices.push_back({summary, body});
    }
};

}  // namespace tolvane::testing
