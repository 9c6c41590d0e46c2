#pragma once

#include <initializer_list>
#include <string>

namespace tolvane::testing {

// Bytes written as numbers: bytes({0x01, 0x21, 0x23, 0xFF}).
inline std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values)
        s.push_back(static_cast<char>(v));
    return s;
}

}  // namespace tolvane::testing
