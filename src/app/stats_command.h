#pragma once

#include <cstdio>
#include <string>

namespace tolvane {

// tolvane --stats [FILE]: one CSV line per record of FILE (databac.txt by
// default) with the tolerances of the settings files, on `out`; a file that
// is missing or cannot be read gives one line on `err` and exit status 1.
int print_stats(const std::string& file, std::FILE* out, std::FILE* err);

}  // namespace tolvane
