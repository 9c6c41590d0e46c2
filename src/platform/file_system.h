#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/readable_file.h"
#include "platform/status.h"

namespace tolvane {

// The program's files (com.dat, numdat.dat, databac.txt) are opened by bare
// name in the working directory. Every call opens, works and closes; no file
// stays open between calls. Contents are raw bytes (the files are Windows-1252).
class FileSystem {
  public:
    virtual ~FileSystem() = default;

    // True when anything of that name exists (a directory too: opening it
    // then fails and is reported).
    virtual bool exists(const std::string& name) = 0;

    // The whole file.
    virtual Status read_all(const std::string& name, std::string& bytes) = 0;

    // The file, open for reading in pieces until the result is dropped;
    // nullptr and the reason in `failure` when it cannot be read.
    virtual std::unique_ptr<ReadableFile> open_readable(const std::string& name,
                                                        Status& failure) = 0;

    // Makes the file hold exactly `bytes`. On failure the old file, if any,
    // is left as it was.
    virtual Status replace(const std::string& name, std::string_view bytes) = 0;

    // Adds `bytes` at the end (a missing file is created) and waits until they
    // are on the disk. On failure the file is left as it was: never a part of
    // `bytes` in it.
    virtual Status append(const std::string& name, std::string_view bytes) = 0;
};

}  // namespace tolvane
