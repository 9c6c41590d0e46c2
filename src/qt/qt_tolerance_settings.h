#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/tolerance_settings.h"

class QSettings;

namespace tolvane {

// The tolerances in the settings files, through QSettings (INI): the group
// [tolerances] of the user's file (user_settings_path(): ~/.config/tolvane/
// tolvane.conf) above the same group of the computer's file
// (system_settings_path(), under $XDG_CONFIG_DIRS), the files that hold
// [ports]. Each entry is one array element (pattern, nominal, lower, upper;
// numbers with a point in their shortest form, a missing side left out;
// frozen control limits in its subgroup "control", times in ISO 8601), so
// that a pattern with '*', '/' or blanks needs no escaping. A change writes
// only its own entry; a taken-away entry leaves a gap in the numbering.
class QtToleranceSettings final : public ToleranceSettings {
  public:
    // The two files above.
    QtToleranceSettings();
    QtToleranceSettings(std::string user_path, std::string computer_path);

    std::vector<ToleranceEntry> user_tolerances() override;
    std::vector<ToleranceEntry> computer_tolerances() override;
    // Written to a temporary file and renamed by QSettings; a file that
    // cannot be written is a failure with the reason.
    Status save_user_tolerance(const ToleranceEntry& entry) override;
    Status remove_user_tolerance(const std::string& pattern) override;

  private:
    // Runs `change` inside the user's [tolerances] group and writes the file.
    Status change_user_file(const std::function<void(QSettings&)>& change);

    std::string user_path_, computer_path_;
};

}  // namespace tolvane
