#include "export/spreadsheet_worker.h"

#include <algorithm>
#include <exception>
#include <thread>
#include <utility>
#include <vector>

namespace tolvane {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kCancelled = "the send was cancelled";

// "10 s", "0.3 s", with a no-break space
std::string seconds(std::chrono::milliseconds d) {
    const auto ms = d.count();
    std::string text = std::to_string(ms / 1000);
    if (ms % 1000 != 0) {
        std::string frac = std::to_string(1000 + ms % 1000).substr(1);
        while (frac.back() == '0')
            frac.pop_back();
        text += "." + frac;
    }
    return text + "\u00a0s";
}

// One call on its thread. The thread owns this and the server it calls, so
// that a call coming back late touches nothing that is gone.
struct Call {
    std::promise<void> done;
    Status result = Status::success();
    std::exception_ptr error;
};

}  // namespace

SpreadsheetWorker::SpreadsheetWorker(Factory make, Waiting& waiting, SendDeadlines deadlines)
    : make_(std::move(make)), waiting_(waiting), deadlines_(deadlines) {
    server_ = make_();
    name_ = server_->display_name();
}

SpreadsheetWorker::~SpreadsheetWorker() = default;

std::string SpreadsheetWorker::display_name() const {
    return name_;
}

void SpreadsheetWorker::answer_phase() {
    starting_ = false;
    allowed_ = deadlines_.answer;
    deadline_ = Clock::now() + allowed_;
    what_ = "Sending the measurements to " + name_ + "\u2026";
}

Status SpreadsheetWorker::run(std::function<Status(SpreadsheetServer&)> step) {
    // A Cancel that came while no call ran (or as one ended) stops the
    // steps after it all the same, as one that came during a call.
    if (!given_up_ && waiting_.cancelled()) {
        if (server_) server_->abandon();
        server_.reset();
        given_up_ = Status::given_up(kCancelled);
    }
    if (given_up_) return *given_up_;
    if (!server_) server_ = make_();

    auto call = std::make_shared<Call>();
    const std::shared_future<void> done = call->done.get_future().share();
    running_->fetch_add(1);
    std::thread thread([call, server = server_, step = std::move(step), running = running_] {
        try {
            call->result = step(*server);
        } catch (...) {
            call->error = std::current_exception();
        }
        running->fetch_sub(1);
        call->done.set_value();
    });

    const Waiting::Outcome outcome = waiting_.wait(done, deadline_, what_);
    if (outcome == Waiting::Outcome::finished) {
        thread.join();
        // The send reports a failure at once: the progress window must not
        // stand over the message.
        if (call->error) {
            waiting_.end();
            std::rethrow_exception(call->error);
        }
        if (!call->result.ok()) waiting_.end();
        return call->result;
    }

    // Break the connection off so that the call comes back, and let the
    // rest of this send fail at once. A broken-off server stays broken off
    // (the break may come before its call began): the next send makes
    // another.
    server_->abandon();
    if (waiting_.wait(done, Clock::now() + deadlines_.grace, what_, false) ==
        Waiting::Outcome::finished) {
        thread.join();
    } else {
        // It holds its server.
        thread.detach();
    }
    server_.reset();
    if (outcome == Waiting::Outcome::cancelled)
        given_up_ = Status::given_up(kCancelled);
    else if (starting_)
        given_up_ = Status::given_up(name_ + " did not start within " + seconds(allowed_));
    else
        given_up_ = Status::given_up(name_ + " did not answer within " + seconds(allowed_));
    waiting_.end();
    return *given_up_;
}

Status SpreadsheetWorker::attach() {
    given_up_.reset();
    answer_phase();
    return run([](SpreadsheetServer& s) { return s.attach(); });
}

Status SpreadsheetWorker::create() {
    starting_ = true;
    allowed_ = deadlines_.start;
    deadline_ = Clock::now() + allowed_;
    what_ = "Starting " + name_ + "\u2026";
    const Status created = run([](SpreadsheetServer& s) { return s.create(); });
    if (created.ok()) answer_phase();
    return created;
}

Status SpreadsheetWorker::active_sheet(CellPosition& last_cell) {
    auto out = std::make_shared<CellPosition>();
    const Status s = run([out](SpreadsheetServer& server) { return server.active_sheet(*out); });
    if (s.ok()) last_cell = *out;
    return s;
}

Status SpreadsheetWorker::active_cell(CellPosition& cell) {
    auto out = std::make_shared<CellPosition>();
    const Status s = run([out](SpreadsheetServer& server) { return server.active_cell(*out); });
    if (s.ok()) cell = *out;
    return s;
}

Status SpreadsheetWorker::set_values(CellPosition first, FillDirection direction,
                                     std::span<const double> values) {
    return run([first, direction, copy = std::vector<double>(values.begin(), values.end())](
                   SpreadsheetServer& s) { return s.set_values(first, direction, copy); });
}

Status SpreadsheetWorker::select(CellPosition cell) {
    return run([cell](SpreadsheetServer& s) { return s.select(cell); });
}

void SpreadsheetWorker::release() {
    // Letting go only drops references; it must not be cut short by a
    // deadline the send used up.
    deadline_ = std::max(deadline_, Clock::now() + deadlines_.grace);
    try {
        run([](SpreadsheetServer& s) {
            s.release();
            return Status::success();
        });
    } catch (...) {
    }
    waiting_.end();
}

}  // namespace tolvane
