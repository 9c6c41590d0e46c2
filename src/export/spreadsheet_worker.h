#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/spreadsheet_server.h"
#include "platform/waiting.h"

namespace tolvane {

// How long a send waits for the spreadsheet application.
struct SendDeadlines {
    // Attach and write together.
    std::chrono::milliseconds answer{10000};
    // Starting the application (a fresh profile takes about 6 s here).
    std::chrono::milliseconds start{60000};
    // For a call that was broken off to come back.
    std::chrono::milliseconds grace{2000};
};

// Runs every call of another server on a thread of its own, so that the
// window never waits inside the application; the window waits through
// `Waiting` instead. A send that misses its deadline, or that the user
// cancels, breaks its connection off and fails its remaining steps at once;
// the next send starts afresh. Should a broken-off call not come back, its
// thread keeps the server it uses alive and the next send makes a new one.
class SpreadsheetWorker final : public SpreadsheetServer {
  public:
    using Factory = std::function<std::shared_ptr<SpreadsheetServer>()>;

    SpreadsheetWorker(Factory make, Waiting& waiting, SendDeadlines deadlines = {});
    ~SpreadsheetWorker() override;
    SpreadsheetWorker(const SpreadsheetWorker&) = delete;
    SpreadsheetWorker& operator=(const SpreadsheetWorker&) = delete;

    std::string display_name() const override;
    Status attach() override;
    Status create() override;
    Status active_sheet(CellPosition& last_cell) override;
    Status active_cell(CellPosition& cell) override;
    Status set_values(CellPosition first, FillDirection direction,
                      std::span<const double> values) override;
    Status select(CellPosition cell) override;
    void release() override;

    // Calls running on their threads; between sends, those that were broken
    // off and have not come back yet.
    int running_calls() const { return running_->load(); }

  private:
    Status run(std::function<Status(SpreadsheetServer&)> step);
    void answer_phase();

    Factory make_;
    Waiting& waiting_;
    SendDeadlines deadlines_;
    std::string name_;
    std::shared_ptr<SpreadsheetServer> server_;
    std::shared_ptr<std::atomic<int>> running_ = std::make_shared<std::atomic<int>>(0);

    // Of the send under way.
    std::chrono::steady_clock::time_point deadline_{};
    std::chrono::milliseconds allowed_{};
    bool starting_ = false;
    std::string what_;
    std::optional<Status> given_up_;
};

}  // namespace tolvane
