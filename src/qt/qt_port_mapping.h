#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "link/port_mapping.h"

namespace tolvane {

// Key n of [ports] in the settings file at `path` (qt/qt_settings_paths.h).
// A missing or unreadable file, or one without that key, names nothing.
std::optional<std::string> port_from_settings_file(const std::string& path, int16_t port);

// choose_port_device with the environment and both settings files, read
// afresh at each call so that an edit counts at the next opening.
PortDevice port_device(int16_t port);

}  // namespace tolvane
