#pragma once

#include <cstdint>
#include <string>

#include "platform/busy_indicator.h"
#include "platform/dialogs.h"
#include "platform/spreadsheet_server.h"
#include "platform/window_controls.h"
#include "records/meas_table.h"

namespace tolvane {

// The send of the current block to the active worksheet and the controls that
// steer it: Command1 ("&Connect"), chk_auto ("Auto Connect"), op_hor and
// op_ver.
class SpreadsheetExport {
  public:
    SpreadsheetExport(const MeasTable& table, Dialogs& dialogs, ButtonControl& command1,
                      SpreadsheetServer& server, BusyIndicator& busy);

    // Writes meas(1)..meas(meas_count) from the active cell on and selects the
    // cell after them. True only when every value was written; any failure
    // shows one message and leaves the table as it is.
    bool connect1();

    void command1_click();
    void chk_auto_click();
    void op_hor_click();
    void op_ver_click();

    // Down a column (true) or along a row; the main window's load step sets it.
    bool fill_vertical = false;
    bool auto_connect = false;
    // The cell the next value goes into, 1-based; set from the active cell at
    // every send. 32 bits: a sheet has 1,048,576 rows.
    int32_t xl_row = 0;
    int32_t xl_col = 0;

  private:
    bool send();
    void fail(const std::string& what, const Status& status);

    const MeasTable& table_;
    Dialogs& dialogs_;
    ButtonControl& command1_;
    SpreadsheetServer& server_;
    BusyIndicator& busy_;
};

}  // namespace tolvane
