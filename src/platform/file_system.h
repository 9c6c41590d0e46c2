#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/readable_file.h"
#include "platform/status.h"

namespace tolvane {

// The program's files (com.dat, numdat.dat, databac.txt) are opened by bare
// name in the working directory. Every call opens, works and closes; no file
// stays open between calls. Contents are raw bytes (the files are Windows-1252).
//
// Only regular files are read or written: a FIFO, device or socket of that
// name fails every call at once (it could block the program or swallow what
// is written), and a directory fails too.
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

    // Makes the file hold exactly `bytes`. A file that exists and may not be
    // written by this user is not replaced: that fails like any write. On
    // failure the old file, if any, is left as it was.
    virtual Status replace(const std::string& name, std::string_view bytes) = 0;

    // What an append puts before its bytes, chosen from the file as the append
    // finds it: its size (0 when it is missing or empty) and its last byte
    // ('\0' then).
    using Lead = std::function<std::string(uint64_t size, char last_byte)>;

    // Adds lead(...) and `bytes` at the end (a missing file is created) and
    // waits until they are on the disk. On failure the file is left as it
    // was: never a part of them in it, so that trying again never makes a
    // second copy. An empty Lead adds nothing before.
    virtual Status append(const std::string& name, std::string_view bytes, const Lead& lead) = 0;

    // A new file `name` in the program's directory for files the user should
    // not lose ($XDG_STATE_HOME/tolvane, else ~/.local/state/tolvane; made
    // when missing), holding `bytes` on the disk, the file and its folders
    // alike. The name gets the process's id before its extension, so that
    // two programs never share one. Never replaces a file: a name that is
    // taken gets a number. `path` is the full path written, or on failure
    // the one tried.
    virtual Status write_aside(const std::string& name, std::string_view bytes,
                               std::string& path) = 0;

    // The full path of the file `name`, for messages read elsewhere.
    virtual std::string full_path(const std::string& name) = 0;

    // What the file of that name is now, without opening it. On failure
    // `identity` is left as it was; exists() then tells a missing file from
    // one that may not be looked at.
    virtual Status identify(const std::string& name, FileIdentity& identity) = 0;

    // One entry of a folder.
    struct Entry {
        std::string name;  // without the folder
        bool folder = false;
    };
    // The entries of the folder `path` (not "." and ".."), in no order.
    // Fails when there is no such folder or it may not be read.
    virtual Status list_folder(const std::string& path, std::vector<Entry>& entries) = 0;
};

}  // namespace tolvane
