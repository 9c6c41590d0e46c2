#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tolvane {

// The program's files are Windows-1252 text; everything in memory is UTF-8.

// Every byte has a character (the five unassigned ones map to the C1 controls
// of the same number, as Windows does), so decoding never fails.
std::string cp1252_to_utf8(std::string_view bytes);

// Nothing when the text holds a character that Windows-1252 has no byte for,
// or is not valid UTF-8.
std::optional<std::string> utf8_to_cp1252(std::string_view text);

// Each character that has no byte becomes "?". For texts that were checked
// with cp1252_can_hold on entry; a last resort elsewhere.
std::string utf8_to_cp1252_lossy(std::string_view text);

// True when utf8_to_cp1252 would succeed: what a text box may accept.
bool cp1252_can_hold(std::string_view text);

}  // namespace tolvane
