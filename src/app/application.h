#pragma once

#include <optional>
#include <string>

namespace tolvane {

// The program: the title window first, then the main window; or, with
// `inspect`, the Inspection window alone on that file.
int run_application(int argc, char** argv,
                    const std::optional<std::string>& inspect = std::nullopt);

}  // namespace tolvane
