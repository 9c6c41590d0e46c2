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

    bool ok() const { return ok_; }
    const std::string& reason() const { return reason_; }

  private:
    Status() = default;
    explicit Status(std::string reason) : ok_(false), reason_(std::move(reason)) {}

    bool ok_ = true;
    std::string reason_;
};

}  // namespace tolvane
