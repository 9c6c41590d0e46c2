#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform/status.h"

namespace tolvane {

// A cell of a sheet, numbered from 1 as the spreadsheet shows them (C5 is row
// 5, column 3).
struct CellPosition {
    int32_t row = 0;
    int32_t col = 0;

    bool operator==(const CellPosition&) const = default;
};

enum class FillDirection { down, right };

// The spreadsheet application as the send needs it. Every call reports its
// failure as a Status with a reason a user can read; none throws.
//
// A send goes: attach() or else create(); active_sheet(); active_cell();
// set_values() and select() on that sheet; release(). The server holds the
// application, document and sheet only between attach/create and release.
class SpreadsheetServer {
  public:
    virtual ~SpreadsheetServer() = default;

    // The application's name for the user, "LibreOffice Calc".
    virtual std::string display_name() const = 0;

    // Reach the application that is running; fails when none answers.
    virtual Status attach() = 0;
    // Start the application, visible, with a new spreadsheet document that
    // becomes the active one.
    virtual Status create() = 0;

    // Take the active sheet of the active document; the calls below work on
    // it. `last_cell` is the sheet's bottom-right cell.
    virtual Status active_sheet(CellPosition& last_cell) = 0;
    // The active cell of that sheet.
    virtual Status active_cell(CellPosition& cell) = 0;
    // Store the numbers from `first` on, one per cell, down the column or
    // along the row. The caller keeps the run inside the sheet.
    virtual Status set_values(CellPosition first, FillDirection direction,
                              std::span<const double> values) = 0;
    // Make `cell` the active cell.
    virtual Status select(CellPosition cell) = 0;

    // Let go of the application, document and sheet.
    virtual void release() = 0;

    // Called from another thread while a call above may be waiting on the
    // application: break the connection off so that the call returns soon,
    // with a failure; a call that has not begun yet fails at once. The
    // server is not used again.
    virtual void abandon() {}
};

}  // namespace tolvane
