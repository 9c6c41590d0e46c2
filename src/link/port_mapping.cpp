#include "link/port_mapping.h"

#include <cstdlib>

namespace tolvane {

namespace {

std::optional<std::string> non_empty(std::optional<std::string> value) {
    if (value && value->empty()) return std::nullopt;
    return value;
}

}  // namespace

PortDevice choose_port_device(int16_t port, const PortLookup& environment,
                              const PortLookup& settings_file,
                              const PortLookup& system_settings_file) {
    if (auto device = non_empty(environment(port))) return {*device, PortSource::kEnvironment};
    if (auto device = non_empty(settings_file(port))) return {*device, PortSource::kSettingsFile};
    if (auto device = non_empty(system_settings_file(port)))
        return {*device, PortSource::kSystemSettingsFile};
    return {default_port_device(port), PortSource::kDefault};
}

std::string default_port_device(int16_t port) {
#ifdef _WIN32
    return "COM" + std::to_string(port);
#else
    return "/dev/ttyS" + std::to_string(port - 1);
#endif
}

const char* port_source_name(PortSource source) {
    switch (source) {
        case PortSource::kEnvironment: return "environment";
        case PortSource::kSettingsFile: return "settings file";
        case PortSource::kSystemSettingsFile: return "system settings file";
        case PortSource::kDefault: break;
    }
    return "default";
}

std::optional<std::string> port_from_environment(int16_t port) {
    const std::string variable = "TOLVANE_COM" + std::to_string(port);
    if (const char* device = std::getenv(variable.c_str())) return std::string(device);
    return std::nullopt;
}

}  // namespace tolvane
