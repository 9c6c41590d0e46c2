// The settings file as the program reads it, and a port opened through it on
// a real pseudo-terminal.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "kld350_sim.h"
#include "qt/qt_port_mapping.h"
#include "qt/qt_settings_paths.h"
#include "qt/qt_serial_control.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;

class SettingsFileTest : public ::testing::Test {
  protected:
    SettingsFileTest() {
        char pattern[] = "/tmp/tolvane-ports-XXXXXX";
        dir_ = ::mkdtemp(pattern);
        ::setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
    }
    ~SettingsFileTest() override {
        ::unsetenv("XDG_CONFIG_HOME");
        fs::remove_all(dir_);
    }
    void write_settings(const std::string& text) {
        fs::create_directories(dir_ / "tolvane");
        std::ofstream(dir_ / "tolvane" / "tolvane.conf") << text;
    }
    fs::path dir_;
};

TEST_F(SettingsFileTest, ReadsDeviceNamesOfThePortsGroup) {
    write_settings("[general]\n2=/dev/wrong\n[ports]\n2 = /dev/serial/by-id/usb-X,port0\n");
    EXPECT_EQ(port_from_settings_file(user_settings_path(), 2), "/dev/serial/by-id/usb-X,port0");
    EXPECT_EQ(port_from_settings_file(user_settings_path(), 1), std::nullopt);
}

TEST_F(SettingsFileTest, MissingUnreadableOrJunkFileGivesTheDefault) {
    ::unsetenv("TOLVANE_COM4");
    const PortDevice fallback{"/dev/ttyS3", PortSource::kDefault};
    EXPECT_EQ(port_device(4), fallback);
    fs::create_directories(user_settings_path());  // not a file: cannot be read
    EXPECT_EQ(port_device(4), fallback);
    fs::remove(user_settings_path());
    write_settings("\x01\xff junk\n=\n[[[\n4\n");
    EXPECT_EQ(port_device(4), fallback);
}

TEST_F(SettingsFileTest, PortOpensTheDeviceTheFileNames) {
    auto pty = kld350::open_raw_pty();
    ASSERT_TRUE(pty);
    const fs::path link = dir_ / "usb-FTDI_FT232R_USB_UART_A1-if00-port0";
    fs::create_symlink(pty->slave_path, link);
    write_settings("[ports]\n3=" + link.string() + "\n");
    ::unsetenv("TOLVANE_COM3");

    QtSerialControl com;
    ASSERT_TRUE(com.set_comm_port(3).ok());
    ASSERT_TRUE(com.set_port_open(true).ok());
    ASSERT_TRUE(kld350::write_paced(pty->master, "\x01\x21\x23\xff", {}));
    std::string got;
    QElapsedTimer waited;
    waited.start();
    while (got.size() < 4 && waited.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        for (const ReceivedChunk& chunk : com.input().chunks)
            got += chunk.bytes;
    }
    EXPECT_EQ(got, "\x01\x21\x23\xff");
    com.set_port_open(false);
    ::close(pty->master);
}

}  // namespace
}  // namespace tolvane
