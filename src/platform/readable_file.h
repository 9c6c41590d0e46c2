#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/status.h"

namespace tolvane {

// A file read in pieces at any offset, open for as long as this object
// lives: a list can show a file far larger than it could copy, and it keeps
// what it read when another program replaces or deletes the file meanwhile.
class ReadableFile {
  public:
    virtual ~ReadableFile() = default;

    // Fills `into` from `offset` on and sets `got` to how many bytes came:
    // fewer only at the end of the file, none beyond it.
    virtual Status read_at(uint64_t offset, std::span<char> into, size_t& got) = 0;
};

}  // namespace tolvane
