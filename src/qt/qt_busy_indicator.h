#pragma once

#include "platform/busy_indicator.h"

namespace tolvane {

// The wait cursor over all of the application's windows. Nested begin/end
// pairs are counted by Qt's override-cursor stack.
class QtBusyIndicator final : public BusyIndicator {
  public:
    void begin() override;
    void end() override;
};

}  // namespace tolvane
