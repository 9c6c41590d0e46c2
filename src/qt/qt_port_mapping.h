#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "link/port_mapping.h"

namespace tolvane {

// The per-user settings file: $XDG_CONFIG_HOME/tolvane/tolvane.conf, that is
// ~/.config/tolvane/tolvane.conf unless XDG_CONFIG_HOME says otherwise.
std::string port_settings_path();

// The computer's settings file, set up once for every user: the first
// tolvane/tolvane.conf found in the directories of $XDG_CONFIG_DIRS
// (/etc/xdg when unset), else the place it would have in the first of them.
std::string system_port_settings_path();

// Key n of [ports] in the settings file at `path`. A missing or unreadable
// file, or one without that key, names nothing.
std::optional<std::string> port_from_settings_file(const std::string& path, int16_t port);

// choose_port_device with the environment and both settings files, read
// afresh at each call so that an edit counts at the next opening.
PortDevice port_device(int16_t port);

}  // namespace tolvane
