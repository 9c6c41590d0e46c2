#pragma once

#include <string>
#include <utility>

namespace tolvane {

// Outcome of an operation on the outside world: success, or failure with a
// reason a user can read ("No space left on device").
class Status {
  public:
    static Status success() { return Status{}; }
    static Status failure(std::string reason) { return Status{std::move(reason)}; }
    // The program stopped waiting for the outside world (a deadline passed,
    // or the user cancelled): retrying another way is pointless.
    static Status given_up(std::string reason) {
        Status s{std::move(reason)};
        s.given_up_ = true;
        return s;
    }

    bool ok() const { return ok_; }
    bool given_up() const { return given_up_; }
    const std::string& reason() const { return reason_; }

  private:
    Status() = default;
    explicit Status(std::string reason) : ok_(false), reason_(std::move(reason)) {}

    bool ok_ = true;
    bool given_up_ = false;
    std::string reason_;
};

}  // namespace tolvane
