#pragma once

#include <string>
#include <vector>

#include "platform/tolerance_settings.h"

namespace tolvane {

// The tolerances in the settings files, through QSettings (INI): the group
// [tolerances] of the user's file (port_settings_path(): ~/.config/tolvane/
// tolvane.conf) above the same group of the computer's file
// (system_port_settings_path(), under $XDG_CONFIG_DIRS), the files that hold
// [ports]. Each entry is one array element (pattern, nominal, lower, upper;
// numbers with a point, a missing side left out), so that a pattern with
// '*', '/' or blanks needs no escaping.
class QtToleranceSettings final : public ToleranceSettings {
  public:
    // The two files above.
    QtToleranceSettings();
    QtToleranceSettings(std::string user_path, std::string computer_path);

    std::vector<ToleranceEntry> user_tolerances() override;
    std::vector<ToleranceEntry> computer_tolerances() override;
    // Written to a temporary file and renamed by QSettings; a file that
    // cannot be written is a failure with the reason.
    Status save_user_tolerances(const std::vector<ToleranceEntry>& entries) override;

  private:
    std::string user_path_, computer_path_;
};

}  // namespace tolvane
