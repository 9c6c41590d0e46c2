#pragma once

#include <cstdint>

namespace tolvane {

// Insert-after values of the main window's place in the stacking order.
inline constexpr int32_t HWND_TOPMOST = -1;
inline constexpr int32_t HWND_NOTOPMOST = -2;

// Moves the main window into the topmost band (above every other program's
// windows) or out of it; its position and size stay as they are. Other values
// are ignored. The result is not reported: a refused request leaves the order
// as it was.
class WindowStacking {
  public:
    virtual ~WindowStacking() = default;
    virtual void set_topmost(int32_t insert_after) = 0;
};

}  // namespace tolvane
