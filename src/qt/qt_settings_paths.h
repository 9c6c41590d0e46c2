#pragma once

#include <string>

namespace tolvane {

// Where tolvane.conf lies: the ports, the tolerances and the Inspection
// window's own settings are all kept in it.

// The user's file: $XDG_CONFIG_HOME/tolvane/tolvane.conf, that is
// ~/.config/tolvane/tolvane.conf unless XDG_CONFIG_HOME says otherwise.
std::string user_settings_path();

// The computer's file, set up once for every user: the first
// tolvane/tolvane.conf found in the directories of $XDG_CONFIG_DIRS
// (/etc/xdg when unset), else the place it would have in the first of them.
std::string system_settings_path();

}  // namespace tolvane
