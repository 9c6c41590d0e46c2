#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tolvane {

// The program: the title window first, then the main window; or, with
// `inspect`, the Inspection window alone on those files and folders (none:
// the files it followed last time, else databac.txt here).
int run_application(int argc, char** argv,
                    const std::optional<std::vector<std::string>>& inspect = std::nullopt);

}  // namespace tolvane
