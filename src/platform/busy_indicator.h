#pragma once

namespace tolvane {

// Tells the user that the program is waiting (the wait cursor).
class BusyIndicator {
  public:
    virtual ~BusyIndicator() = default;
    virtual void begin() = 0;
    virtual void end() = 0;
};

// Busy while in scope.
class BusyScope {
  public:
    explicit BusyScope(BusyIndicator& indicator) : indicator_(indicator) { indicator_.begin(); }
    ~BusyScope() { indicator_.end(); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

  private:
    BusyIndicator& indicator_;
};

}  // namespace tolvane
