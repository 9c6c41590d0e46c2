#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace tolvane {

// tolvane --stats [FILE|DIR...]: one CSV line per record of the files
// (databac.txt by default; a folder stands for its stations' files) with the
// tolerances of the settings files, on `out`; several files are merged in
// time order, each line naming its station in a last column. A file that is
// missing or cannot be read gives one line on `err` and exit status 1.
int print_stats(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err);

}  // namespace tolvane
