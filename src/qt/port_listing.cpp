#include "qt/port_listing.h"

#include <QSerialPortInfo>
#include <QSettings>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "qt/qt_port_mapping.h"
#include "qt/qt_settings_paths.h"

namespace tolvane {

namespace {

namespace fs = std::filesystem;

constexpr int16_t kFirstPort = 1;
constexpr int16_t kLastPort = 16;
constexpr const char* kById = "/dev/serial/by-id";

struct SystemPort {
    std::string device;
    std::string by_id;
    std::string description;
    std::string maker;
    std::string serial_number;
};

std::string resolved(const std::string& path) {
    std::error_code error;
    const fs::path target = fs::canonical(path, error);
    return error ? path : target.string();
}

// The stable names, by the device each leads to.
std::map<std::string, std::string> stable_names() {
    std::map<std::string, std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(kById, error)) {
        names.emplace(resolved(entry.path().string()), entry.path().string());
    }
    return names;
}

std::vector<SystemPort> system_ports() {
    const auto names = stable_names();
    std::vector<SystemPort> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        SystemPort port;
        port.device = info.systemLocation().toStdString();
        if (auto name = names.find(resolved(port.device)); name != names.end()) {
            port.by_id = name->second;
        }
        port.description = info.description().toStdString();
        port.maker = info.manufacturer().toStdString();
        port.serial_number = info.serialNumber().toStdString();
        ports.push_back(std::move(port));
    }
    return ports;
}

bool user_in_group(gid_t group) {
    if (::getegid() == group) return true;
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(static_cast<size_t>(count > 0 ? count : 0));
    if (count > 0 && ::getgroups(count, groups.data()) == count) {
        for (gid_t g : groups) {
            if (g == group) return true;
        }
    }
    return false;
}

// Whether the group's entry names the user: then they were added since they
// logged in, and the membership counts only from the next login.
bool listed_in_group(const group& entry) {
    const passwd* user = ::getpwuid(::geteuid());
    if (!user) return false;
    for (char** member = entry.gr_mem; member && *member; ++member) {
        if (std::strcmp(*member, user->pw_name) == 0) return true;
    }
    return false;
}

// QSerialPort's lock file for a device name: /dev/ dropped, slashes made
// underscores ("LCK..ttyUSB0", "LCK..serial_by-id_usb-...").
std::string lock_file_name(std::string device) {
    if (device.starts_with("/dev/")) device.erase(0, 5);
    for (char& c : device) {
        if (c == '/') c = '_';
    }
    return "LCK.." + device;
}

// The live process that holds QSerialPort's lock on the device, under the
// name given or the device it leads to; 0 when none does.
long lock_holder(const std::string& device) {
    for (const std::string& name : {lock_file_name(device), lock_file_name(resolved(device))}) {
        for (const char* dir : {"/run/lock", "/var/lock"}) {
            std::ifstream lock(std::string(dir) + "/" + name);
            long pid = 0;
            if (lock >> pid && pid > 0 &&
                (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)) {
                return pid;
            }
        }
    }
    return 0;
}

// Why the current user cannot open `device` for reading; empty when they can.
std::string why_device_cannot_open(const std::string& device) {
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? "no such device" : std::strerror(errno);
    }
    if (!S_ISCHR(st.st_mode)) return "not a device";
    if (::faccessat(AT_FDCWD, device.c_str(), R_OK, AT_EACCESS) == 0) return {};
    const group* owner = ::getgrgid(st.st_gid);
    if (owner && (st.st_mode & S_IRGRP) && !user_in_group(st.st_gid)) {
        std::string why = "not in group " + std::string(owner->gr_name);
        if (listed_in_group(*owner)) {
            why += " (added already: log out and in again)";
        } else {
            const passwd* user = ::getpwuid(::geteuid());
            why += " (sudo adduser " + std::string(user ? user->pw_name : "<user>") + " " +
                   owner->gr_name + ", then log out and in again)";
        }
        return why;
    }
    return "permission denied";
}

std::string state_of(const std::string& device, const std::vector<SystemPort>& known) {
    if (std::string why = why_device_cannot_open(device); !why.empty()) {
        return "cannot be opened: " + why;
    }
    if (long pid = lock_holder(device)) {
        return "in use by process " + std::to_string(pid);
    }
    const std::string target = resolved(device);
    for (const auto& port : known) {
        if (resolved(port.device) == target) return "may be opened";
    }
    if (target.starts_with("/dev/pts/")) return "may be opened (a pseudo-terminal)";
    if (target.starts_with("/dev/ttyS")) {
        return "exists, but no serial port was found behind it: opening will fail";
    }
    return "may be opened";
}

// What is wrong with a settings file, as a note after its name.
std::string file_state(const std::string& path) {
    std::error_code error;
    if (!fs::exists(path, error)) return " (not there)";
    const QSettings file(QString::fromStdString(path), QSettings::IniFormat);
    if (file.status() == QSettings::AccessError) return " (cannot be read: ignored)";
    if (file.status() == QSettings::FormatError)
        return " (has lines that are not \"key=value\" or \"[group]\")";
    if (!file.childGroups().contains("ports")) return " (has no group [ports])";
    return {};
}

}  // namespace

std::string port_listing() {
    // Before anything else reads the files: QSettings tells of a fault only
    // on the first reading.
    const std::string settings = user_settings_path();
    const std::string system_settings = system_settings_path();
    const std::string settings_state = file_state(settings);
    const std::string system_state = file_state(system_settings);

    const std::vector<SystemPort> ports = system_ports();
    std::string out = "Serial devices on this computer:\n";
    if (ports.empty()) out += "  none found (a USB serial adapter shows here once plugged in)\n";
    for (const auto& port : ports) {
        out += "  " + port.device + "\n";
        if (!port.by_id.empty()) out += "    stable name:   " + port.by_id + "\n";
        if (!port.description.empty()) out += "    description:   " + port.description + "\n";
        if (!port.maker.empty()) out += "    maker:         " + port.maker + "\n";
        if (!port.serial_number.empty()) out += "    serial number: " + port.serial_number + "\n";
        out += "    " + state_of(port.device, ports) + "\n";
    }

    out += "\nPorts of tolvane (Setup > Com Port offers 1 to 4; com.dat may name up to 16):\n";
    for (int16_t n = kFirstPort; n <= kLastPort; ++n) {
        const PortDevice choice = port_device(n);
        out += "  port " + std::to_string(n) + (n < 10 ? ":  " : ": ") + choice.device;
        if (const std::string target = resolved(choice.device); target != choice.device) {
            out += " -> " + target;
        }
        out += " (" + std::string(port_source_name(choice.source));
        if (choice.source == PortSource::kSettingsFile) out += " " + settings;
        if (choice.source == PortSource::kSystemSettingsFile) out += " " + system_settings;
        out += "), " +
               state_of(choice.device, ports) + "\n";
    }

    std::string example = std::string(kById) + "/usb-FTDI_FT232R_USB_UART_A10KXYZ-if00-port0";
    for (const auto& port : ports) {
        if (!port.by_id.empty()) {
            example = port.by_id;
            break;
        }
    }
    out += "\nSettings file: " + settings + settings_state +
           "\nSystem settings file: " + system_settings + system_state +
           "\nTo make a device port n, write its stable name once under [ports], in the\n"
           "settings file for yourself or in the system settings file for every user:\n"
           "  [ports]\n"
           "  1=" + example + "\n"
           "TOLVANE_COM<n> in the environment comes first, then the settings file,\n"
           "then the system settings file; without any, port n is /dev/ttyS<n-1>.\n";
    return out;
}

}  // namespace tolvane
