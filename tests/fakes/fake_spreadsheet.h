#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/busy_indicator.h"
#include "platform/spreadsheet_server.h"

namespace tolvane::testing {

// One sheet in memory with an active cell. A step named in `failing` fails
// with the given reason ("attach", "create", "active_sheet", "active_cell",
// "set_values", "select"); one named in `throwing` throws, as a broken
// implementation might. A step named in `hang_in` waits, as a stopped office
// does, until answer() or abandon(); after abandon() it fails.
struct FakeSpreadsheet : SpreadsheetServer {
    bool running = true;  // attach succeeds
    CellPosition last_cell{1048576, 16384};
    CellPosition active{1, 1};
    std::map<std::pair<int32_t, int32_t>, double> cells;  // (row, col) -> value
    std::map<std::string, std::string> failing;
    std::map<std::string, std::string> throwing;
    std::vector<std::string> calls;
    bool busy_during_create = false;
    bool* busy_flag = nullptr;  // set by FakeBusy, read while creating

    std::string display_name() const override { return "LibreOffice Calc"; }

    Status attach() override {
        if (auto s = step("attach"); !s.ok()) return s;
        if (!running) return Status::failure("nothing answers");
        return Status::success();
    }
    Status create() override {
        busy_during_create = busy_flag && *busy_flag;
        if (auto s = step("create"); !s.ok()) return s;
        running = true;
        cells.clear();
        active = {1, 1};
        return Status::success();
    }
    Status active_sheet(CellPosition& last) override {
        if (auto s = step("active_sheet"); !s.ok()) return s;
        last = last_cell;
        return Status::success();
    }
    Status active_cell(CellPosition& cell) override {
        if (auto s = step("active_cell"); !s.ok()) return s;
        cell = active;
        return Status::success();
    }
    Status set_values(CellPosition first, FillDirection direction,
                      std::span<const double> values) override {
        if (auto s = step("set_values"); !s.ok()) return s;
        CellPosition c = first;
        for (double v : values) {
            if (c.row < 1 || c.col < 1 || c.row > last_cell.row || c.col > last_cell.col)
                throw std::logic_error("write outside the sheet");
            cells[{c.row, c.col}] = v;
            (direction == FillDirection::down ? c.row : c.col) += 1;
        }
        return Status::success();
    }
    Status select(CellPosition cell) override {
        if (auto s = step("select"); !s.ok()) return s;
        if (cell.row < 1 || cell.col < 1 || cell.row > last_cell.row || cell.col > last_cell.col)
            throw std::logic_error("selection outside the sheet");
        active = cell;
        return Status::success();
    }
    void release() override { calls.push_back("release"); }
    // An abandon() that does not reach a waiting step, as a call stuck
    // somewhere no broken connection can free.
    bool deaf = false;
    void abandon() override {
        std::lock_guard<std::mutex> lock(hang_mutex_);
        if (deaf) return;
        ++abandons_;
        hang_cv_.notify_all();
    }

    // Hangs from now on in the step `name` ("" for none). Safe from any
    // thread.
    void hang(const std::string& name) {
        std::lock_guard<std::mutex> lock(hang_mutex_);
        hang_in_ = name;
        hang_cv_.notify_all();
    }
    void answer() { hang(""); }

    std::optional<double> at(int32_t row, int32_t col) const {
        auto it = cells.find({row, col});
        if (it == cells.end()) return std::nullopt;
        return it->second;
    }

  private:
    std::mutex hang_mutex_;
    std::condition_variable hang_cv_;
    std::string hang_in_;
    int abandons_ = 0;

    Status step(const std::string& name) {
        {
            std::unique_lock<std::mutex> lock(hang_mutex_);
            const int abandons = abandons_;
            hang_cv_.wait(lock, [&] { return hang_in_ != name || abandons_ != abandons; });
            if (abandons_ != abandons) return Status::failure("the connection was broken off");
        }
        calls.push_back(name);
        if (auto it = throwing.find(name); it != throwing.end())
            throw std::runtime_error(it->second);
        if (auto it = failing.find(name); it != failing.end()) return Status::failure(it->second);
        return Status::success();
    }
};

struct FakeBusy : BusyIndicator {
    bool busy = false;
    int begins = 0;
    void begin() override {
        busy = true;
        ++begins;
    }
    void end() override { busy = false; }
};

}  // namespace tolvane::testing
