#pragma once

#include <sys/types.h>

#include "platform/file_system.h"

namespace tolvane {

// Calls whose failures only some file systems give (a network share's late
// close, a truncate refused); tests replace them to make them fail.
struct PosixCalls {
    int (*close)(int);
    int (*ftruncate)(int, off_t);
    int (*fsync)(int);
};
extern PosixCalls posix_calls;

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
    std::string full_path(const std::string& name) override;
    // In posix_file_identity.cpp.
    Status identify(const std::string& name, FileIdentity& identity) override;
    Status list_folder(const std::string& path, std::vector<Entry>& entries) override;
};

}  // namespace tolvane
