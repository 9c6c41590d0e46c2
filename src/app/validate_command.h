#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "quality/validation.h"

namespace tolvane {

// The reference data sets built into the program (resources/validation),
// the NIST ones first, each in its file's name order.
std::vector<DataSetText> built_in_data_sets();

// tolvane --validate [OUT.pdf]: checks the built-in data sets, prints one
// line per figure and the summary on `out`, and with `pdf` writes the
// report there (making its own QGuiApplication, offscreen without a
// display: call it with no application object alive). Exit status 0 when
// every figure agrees to the digits it needs, 1 when one falls short or a
// file cannot be written, 2 when `pdf` is a file of backup data.
int validate_command(int argc, char** argv, const std::optional<std::string>& pdf, std::FILE* out,
                     std::FILE* err);

}  // namespace tolvane
