#include "link/port_mapping.h"

#include <gtest/gtest.h>

#include <map>
#include <ostream>

namespace tolvane {
namespace {

// One place to look in: the entries it holds, by port number.
PortLookup holding(std::map<int16_t, std::string> entries) {
    return [entries](int16_t port) -> std::optional<std::string> {
        if (auto it = entries.find(port); it != entries.end()) return it->second;
        return std::nullopt;
    };
}

struct OrderCase {
    const char* name;
    std::map<int16_t, std::string> environment;
    std::map<int16_t, std::string> settings_file;
    std::map<int16_t, std::string> system_settings_file;
    PortDevice expected;
};

// Without it, gtest names each case by its bytes, addresses and all, and the
// test list changes from build to build.
void PrintTo(const OrderCase& c, std::ostream* out) {
    *out << c.name;
}

class PortMappingOrder : public ::testing::TestWithParam<OrderCase> {};

TEST_P(PortMappingOrder, EnvironmentThenSettingsFileThenSystemFileThenDefault) {
    const OrderCase& c = GetParam();
    EXPECT_EQ(choose_port_device(2, holding(c.environment), holding(c.settings_file),
                                 holding(c.system_settings_file)),
              c.expected);
}

const std::string kAdapter = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0";

INSTANTIATE_TEST_SUITE_P(
    Cases, PortMappingOrder,
    ::testing::Values(
        OrderCase{"EnvironmentWins", {{2, "/dev/pts/7"}}, {{2, kAdapter}}, {{2, "/dev/ttyUSB0"}},
                  {"/dev/pts/7", PortSource::kEnvironment}},
        OrderCase{"SettingsFile", {}, {{2, kAdapter}}, {{2, "/dev/ttyUSB0"}},
                  {kAdapter, PortSource::kSettingsFile}},
        OrderCase{"SystemSettingsFile", {}, {{1, "/dev/ttyUSB1"}}, {{2, kAdapter}},
                  {kAdapter, PortSource::kSystemSettingsFile}},
        OrderCase{"EmptyVariableFallsThrough", {{2, ""}}, {{2, kAdapter}}, {},
                  {kAdapter, PortSource::kSettingsFile}},
        OrderCase{"OtherPortsEntriesDoNotCount", {{1, "/dev/pts/7"}}, {{3, kAdapter}}, {{4, kAdapter}},
                  {"/dev/ttyS1", PortSource::kDefault}},
        OrderCase{"EmptyEntryIsTheDefault", {}, {{2, ""}}, {{2, ""}},
                  {"/dev/ttyS1", PortSource::kDefault}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tolvane
