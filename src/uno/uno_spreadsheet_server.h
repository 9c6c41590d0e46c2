#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "platform/spreadsheet_server.h"

namespace tolvane {

// The pipe the office listens on: TOLVANE_UNO_PIPE, "tolvane" when unset.
std::string uno_pipe_from_environment();

// LibreOffice Calc over C++ UNO, reached through a named pipe of this user.
// attach() connects to an office listening on the pipe; create() starts
// `soffice --accept=pipe,...` detached and connects as soon as it answers. If
// an office already runs for this user, soffice hands it the request: the
// values then go into that office's active spreadsheet, as with attach().
// Every call is synchronous; abandon() may be called from another thread to
// break a waiting call off, or the next one before it begins; every call
// after it fails.
class UnoSpreadsheetServer final : public SpreadsheetServer {
  public:
    struct Options {
        std::string pipe = uno_pipe_from_environment();
        // Found through PATH.
        std::string launcher = "soffice";
        std::chrono::milliseconds start_timeout{60000};
        std::chrono::milliseconds retry_interval{100};
    };

    UnoSpreadsheetServer();
    explicit UnoSpreadsheetServer(Options options);
    ~UnoSpreadsheetServer() override;
    UnoSpreadsheetServer(const UnoSpreadsheetServer&) = delete;
    UnoSpreadsheetServer& operator=(const UnoSpreadsheetServer&) = delete;

    std::string display_name() const override;
    Status attach() override;
    Status create() override;
    Status active_sheet(CellPosition& last_cell) override;
    Status active_cell(CellPosition& cell) override;
    Status set_values(CellPosition first, FillDirection direction,
                      std::span<const double> values) override;
    Status select(CellPosition cell) override;
    void release() override;
    void abandon() override;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tolvane
