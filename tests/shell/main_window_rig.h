#pragma once

// A main window on fake ports, spreadsheet, clock and dialogs, with real files
// in a fresh working directory.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAction>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fakes/fake_controls.h"
#include "fakes/fake_serial.h"
#include "fakes/fake_spreadsheet.h"
#include "fakes/work_dir.h"
#include "posix/posix_file_system.h"
#include "shell/frm_main.h"

namespace tolvane::testing {

struct FakeStacking : WindowStacking {
    std::vector<int32_t> calls;
    void set_topmost(int32_t insert_after) override { calls.push_back(insert_after); }
};

class MainWindowTest : public ::testing::Test {
  protected:
    void TearDown() override { window.reset(); }

    // A new main window, as the title window's OK creates it: loaded, then
    // shown (and so activated).
    FrmMain& start(bool show = true) {
        window.reset();
        stacking.calls.clear();
        ::setenv("XDG_STATE_HOME", (work_.path() / "state").c_str(), 1);
        window = std::make_unique<FrmMain>(MainPlatform{
            com,
            [this] { return std::shared_ptr<SpreadsheetServer>(std::shared_ptr<void>(), &sheet); },
            files, clock, busy, &dialogs, &stacking,
            [this] {
                ++ended;
                if (at_end) at_end();
            },
            deadlines});
        window->Form_Load();
        if (show) {
            window->show();
            window->activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        }
        return *window;
    }

    template <typename T = QWidget>
    T* find(const char* name) const {
        auto* w = window->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void trigger(const char* action) { find<QAction>(action)->trigger(); }

    static std::string file(const char* name) {
        std::ifstream in(name, std::ios::binary);
        if (!in) return "(missing)";
        return {std::istreambuf_iterator<char>(in), {}};
    }
    static void write(const char* name, const std::string& bytes) {
        std::ofstream(name, std::ios::binary) << bytes;
    }

    WorkDir work_;  // first made, last gone: the window works in it
    FakeSerial com;
    FakeSpreadsheet sheet;
    PosixFileSystem files;
    FakeClock clock;
    FakeBusy busy;
    FakeDialogs dialogs;
    FakeStacking stacking;
    SendDeadlines deadlines{};
    int ended = 0;
    std::function<void()> at_end;  // as the program ends
    std::unique_ptr<FrmMain> window;
};

}  // namespace tolvane::testing
