#pragma once

#include "platform/file_system.h"

namespace tolvane {

// Files in the process's working directory, through POSIX calls so that
// appends can be rolled back and forced to the disk.
class PosixFileSystem final : public FileSystem {
  public:
    bool exists(const std::string& name) override;
    Status read_all(const std::string& name, std::string& bytes) override;
    // In posix_readable_file.cpp.
    std::unique_ptr<ReadableFile> open_readable(const std::string& name, Status& failure) override;
    Status replace(const std::string& name, std::string_view bytes) override;
    Status append(const std::string& name, std::string_view bytes, const Lead& lead) override;
    Status write_aside(const std::string& name, std::string_view bytes,
                       std::string& path) override;
    // In posix_file_identity.cpp.
    Status identify(const std::string& name, FileIdentity& identity) override;
};

}  // namespace tolvane
