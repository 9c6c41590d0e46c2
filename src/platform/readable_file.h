#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/status.h"

namespace tolvane {

// What a file is at one moment: which file (device and inode, kept across
// renames), how long, and when its bytes last changed. A follower tells by it
// that a file grew, shrank, or was replaced by another of the same name.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    uint64_t size = 0;
    int64_t modified_ns = 0;  // since the epoch

    bool same_file(const FileIdentity& other) const {
        return device == other.device && inode == other.inode;
    }
    bool operator==(const FileIdentity&) const = default;
};

// A file read in pieces at any offset, open for as long as this object
// lives: a list can show a file far larger than it could copy, and it keeps
// what it read when another program replaces or deletes the file meanwhile.
class ReadableFile {
  public:
    virtual ~ReadableFile() = default;

    // Fills `into` from `offset` on and sets `got` to how many bytes came:
    // fewer only at the end of the file, none beyond it.
    virtual Status read_at(uint64_t offset, std::span<char> into, size_t& got) = 0;

    // The open file as it is now (it may have grown since it was opened).
    virtual Status identify(FileIdentity& identity) = 0;
};

}  // namespace tolvane
