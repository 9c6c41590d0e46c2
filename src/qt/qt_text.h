#pragma once

#include <QString>
#include <string_view>

namespace tolvane {

// The logic's UTF-8 text for a widget.
QString qstring(std::string_view utf8);

}  // namespace tolvane
