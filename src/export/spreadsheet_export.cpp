#include "export/spreadsheet_export.h"

#include <algorithm>
#include <exception>
#include <vector>

namespace tolvane {
namespace {

constexpr const char* kNothingToSend = "No Measurements To Send To Backup file.";

// Releases what the server holds however the send ends.
class ReleaseOnExit {
  public:
    explicit ReleaseOnExit(SpreadsheetServer& server) : server_(server) {}
    ~ReleaseOnExit() { server_.release(); }
    ReleaseOnExit(const ReleaseOnExit&) = delete;
    ReleaseOnExit& operator=(const ReleaseOnExit&) = delete;

  private:
    SpreadsheetServer& server_;
};

}  // namespace

SpreadsheetExport::SpreadsheetExport(const MeasTable& table, Dialogs& dialogs,
                                     ButtonControl& command1, SpreadsheetServer& server,
                                     BusyIndicator& busy)
    : table_(table), dialogs_(dialogs), command1_(command1), server_(server), busy_(busy) {}

bool SpreadsheetExport::connect1() {
    if (table_.meas_count <= 0) {
        dialogs_.message(kNothingToSend);
        return false;
    }
    // The send runs from the event loop: nothing may escape from it.
    try {
        ReleaseOnExit release(server_);
        return send();
    } catch (const std::exception& e) {
        fail("the send stopped", Status::failure(e.what()));
    } catch (...) {
        fail("the send stopped", Status::failure("unknown error"));
    }
    return false;
}

bool SpreadsheetExport::send() {
    const std::string name = server_.display_name();

    if (const Status attached = server_.attach(); !attached.ok()) {
        // Given up waiting (deadline or Cancel): the office may still be
        // there, and starting another would hand the request to it again.
        if (attached.given_up()) {
            fail("", attached);
            return false;
        }
        Status created = Status::success();
        {
            BusyScope busy(busy_);
            created = server_.create();
        }
        if (!created.ok()) {
            fail(name + " could not be reached or started", created);
            return false;
        }
    }

    CellPosition last;
    if (Status s = server_.active_sheet(last); !s.ok()) {
        fail("there is no active sheet in " + name, s);
        return false;
    }
    CellPosition cell;
    if (Status s = server_.active_cell(cell); !s.ok()) {
        fail("the active cell in " + name + " could not be found", s);
        return false;
    }
    xl_row = cell.row;
    xl_col = cell.col;

    const int count = std::min<int>(table_.meas_count, MeasTable::kSize);
    std::vector<double> values;
    values.reserve(static_cast<size_t>(count));
    for (int i = 1; i <= count; ++i)
        values.push_back(table_.meas(i));

    // What fits between the active cell and the sheet's last row or column.
    const int64_t room =
        fill_vertical ? int64_t{last.row} - xl_row + 1 : int64_t{last.col} - xl_col + 1;
    const int fitting = static_cast<int>(std::clamp<int64_t>(room, 0, count));

    // One write for the whole run: the cells end up as if written one by one.
    const FillDirection direction = fill_vertical ? FillDirection::down : FillDirection::right;
    if (fitting > 0) {
        const Status written = server_.set_values({xl_row, xl_col}, direction,
                                                  std::span<const double>(values.data(), fitting));
        if (!written.ok()) {
            fail(name + " did not accept the values", written);
            return false;
        }
    }
    (fill_vertical ? xl_row : xl_col) += fitting;

    const bool past_edge = fill_vertical ? xl_row > last.row : xl_col > last.col;
    if (past_edge) {
        // There is no cell after the run: the last one written stays selected,
        // and the user is told to choose where the next send goes.
        if (fitting > 0) {
            const CellPosition last_written =
                fill_vertical ? CellPosition{xl_row - 1, xl_col} : CellPosition{xl_row, xl_col - 1};
            server_.select(last_written);
        }
        const std::string edge = fill_vertical ? "row " + std::to_string(last.row)
                                               : "column " + std::to_string(last.col);
        if (fitting < count) {
            const int left = count - fitting;
            dialogs_.message("Only " + std::to_string(fitting) + " of " + std::to_string(count) +
                             " measurements fit on the sheet in " + name + ", which ends at " +
                             edge + "; " + std::to_string(left) + (left == 1 ? " was" : " were") +
                             " not written. All of them are still in the measurement list.");
            return false;
        }
        dialogs_.message("The measurements were written to " + name + " up to the sheet's last " +
                         edge + ". Select the cell for the next send.");
        return true;
    }

    if (Status s = server_.select({xl_row, xl_col}); !s.ok()) {
        dialogs_.message("The measurements were written to " + name +
                         ", but the cell after them could not be selected (" + s.reason() +
                         "). Check the current cell position before the next send.");
    }
    return true;
}

void SpreadsheetExport::fail(const std::string& what, const Status& status) {
    // A send given up says only why: the step it stopped at means nothing
    // to the user.
    const std::string why =
        status.given_up() ? status.reason() : what + " (" + status.reason() + ")";
    dialogs_.message("The measurements were not sent: " + why +
                     ". They are still in the measurement list.");
}

void SpreadsheetExport::command1_click() {
    connect1();
}

void SpreadsheetExport::chk_auto_click() {
    auto_connect = !auto_connect;
    command1_.set_enabled(!auto_connect);
}

void SpreadsheetExport::op_hor_click() {
    fill_vertical = false;
    dialogs_.message("Check the current cell position in " + server_.display_name());
}

void SpreadsheetExport::op_ver_click() {
    fill_vertical = true;
    dialogs_.message("Check the current cell position in " + server_.display_name());
}

}  // namespace tolvane
