#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace tolvane {

// Whether an export, a report or any other output may be written to `out`.
// An output never replaces a file it was made from (`inputs`, compared as
// files: another path, a symbolic or hard link to one is the same file), nor
// any file whose first line is the backup data header: years of readings
// must not turn into a PDF because the arguments came in the wrong order.
// Nothing when `out` may be written (missing, or an ordinary other file);
// otherwise the sentence that says why not, naming `out` as given.
std::optional<std::string> output_refusal(FileSystem& files, const std::string& out,
                                          const std::vector<std::string>& inputs);

}  // namespace tolvane
