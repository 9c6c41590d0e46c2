#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace tolvane {

// Where the device of a port number came from, in the order they are asked.
enum class PortSource { kEnvironment, kSettingsFile, kSystemSettingsFile, kDefault };

struct PortDevice {
    std::string device;
    PortSource source = PortSource::kDefault;

    bool operator==(const PortDevice&) const = default;
};

// Asks one place for the device of port n; nothing when it names none.
using PortLookup = std::function<std::optional<std::string>(int16_t port)>;

// The device that port n opens: the environment variable TOLVANE_COM<n>, else
// the key n of the group [ports] in the user's settings file, else in the
// computer's settings file, else the system's default (/dev/ttyS<n-1>; COM<n>
// on Windows). An empty entry counts as none, so that a blank line never
// hides the next place.
PortDevice choose_port_device(int16_t port, const PortLookup& environment,
                              const PortLookup& settings_file,
                              const PortLookup& system_settings_file);

// The default device of port n.
std::string default_port_device(int16_t port);

// "environment", "settings file", "system settings file", "default".
const char* port_source_name(PortSource source);

// The process environment's TOLVANE_COM<n>.
std::optional<std::string> port_from_environment(int16_t port);

}  // namespace tolvane
