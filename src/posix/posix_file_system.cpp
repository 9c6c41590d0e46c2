#include "posix/posix_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace tolvane {

PosixCalls posix_calls{::close, ::ftruncate, ::fsync};

namespace {

Status errno_failure() {
    return Status::failure(std::strerror(errno));
}

// Closes on every path out of a function.
class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0) posix_calls.close(fd_);
    }
    int get() const { return fd_; }
    // Closing can report a late write error (NFS); callers that wrote check it.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return posix_calls.close(fd) == 0;
    }

  private:
    int fd_;
};

bool write_fully(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Where a replacement must go: through a symbolic link to the file it names,
// so that a link set up by the user stays a link.
std::string resolved_target(const std::string& name) {
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(name.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : name;
}

constexpr const char* kNotRegular = "Not a regular file";

// Only regular files are opened: opening a FIFO waits for a writer, and a
// device may be a serial line or swallow what is written. Success also when
// nothing of that name exists.
Status regular_or_missing(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno == ENOENT ? Status::success() : errno_failure();
    if (S_ISDIR(st.st_mode)) return Status::failure(std::strerror(EISDIR));
    if (!S_ISREG(st.st_mode)) return Status::failure(kNotRegular);
    return Status::success();
}

// The same test on what was opened (the name may have changed in between).
Status regular_open(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return errno_failure();
    if (S_ISDIR(st.st_mode)) return Status::failure(std::strerror(EISDIR));
    if (!S_ISREG(st.st_mode)) return Status::failure(kNotRegular);
    return Status::success();
}

}  // namespace

bool PosixFileSystem::exists(const std::string& name) {
    struct stat st {};
    return ::stat(name.c_str(), &st) == 0;
}

Status PosixFileSystem::read_all(const std::string& name, std::string& bytes) {
    bytes.clear();
    if (Status usable = regular_or_missing(name); !usable.ok()) return usable;
    Fd fd(::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) return errno_failure();
    if (Status usable = regular_open(fd.get()); !usable.ok()) return usable;
    struct stat st {};
    if (::fstat(fd.get(), &st) == 0 && st.st_size > 0)
        bytes.reserve(static_cast<size_t>(st.st_size));
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno_failure();
        }
        if (n == 0) break;
        bytes.append(chunk, static_cast<size_t>(n));
    }
    return Status::success();
}

Status PosixFileSystem::replace(const std::string& name, std::string_view bytes) {
    // Write a new file beside the old one and rename it over: a failure at any
    // point leaves the old content whole.
    const std::string target = resolved_target(name);
    if (Status usable = regular_or_missing(target); !usable.ok()) return usable;
    struct stat old {};
    const bool had_old = ::stat(target.c_str(), &old) == 0;
    if (had_old) {
        // The rename needs only a writable directory; a file this user may
        // not write must stay as it is all the same.
        Fd writable(::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK));
        if (writable.get() < 0) return errno_failure();
    }

    std::string temp = target + ".XXXXXX";
    Fd fd(::mkstemp(temp.data()));
    if (fd.get() < 0) return errno_failure();
    const mode_t mode = had_old ? (old.st_mode & 07777) : [] {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        return static_cast<mode_t>(0666 & ~mask);
    }();
    if (::fchmod(fd.get(), mode) != 0 || !write_fully(fd.get(), bytes) ||
        posix_calls.fsync(fd.get()) != 0 || !fd.close() ||
        ::rename(temp.c_str(), target.c_str()) != 0) {
        const Status failed = errno_failure();
        ::unlink(temp.c_str());
        return failed;
    }
    return Status::success();
}

Status PosixFileSystem::append(const std::string& name, std::string_view bytes, const Lead& lead) {
    if (Status usable = regular_or_missing(name); !usable.ok()) return usable;
    constexpr int kFlags = O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK;
    // Read access only to see the last byte; a file this user may write but
    // not read is still appended to, taken to end with a line end.
    bool readable = true;
    int raw = ::open(name.c_str(), O_RDWR | kFlags, 0666);
    if (raw < 0 && errno == EACCES) {
        readable = false;
        raw = ::open(name.c_str(), O_WRONLY | kFlags, 0666);
    }
    if (raw < 0) return errno_failure();
    Fd fd(raw);
    if (Status usable = regular_open(fd.get()); !usable.ok()) return usable;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return errno_failure();
    const off_t size_before = st.st_size;

    std::string lead_bytes;
    if (lead) {
        char last = size_before > 0 ? '\n' : '\0';
        if (size_before > 0 && readable && ::pread(fd.get(), &last, 1, size_before - 1) != 1)
            return errno_failure();
        lead_bytes = lead(static_cast<uint64_t>(size_before), last);
    }
    const std::string_view whole =
        lead_bytes.empty() ? bytes : std::string_view(lead_bytes.append(bytes));
    const bool written = write_fully(fd.get(), whole);
    if (written && posix_calls.fsync(fd.get()) == 0) {
        // On the disk: a late error of close (a network share) must not make
        // the record be written a second time.
        fd.close();
        return Status::success();
    }
    const Status failed = errno_failure();
    // Take back what did get written, so that the file never ends in half a
    // record and a retry never makes a second copy.
    int cut;
    do {
        cut = posix_calls.ftruncate(fd.get(), size_before);
    } while (cut != 0 && errno == EINTR);
    if (cut == 0) {
        posix_calls.fsync(fd.get());
        return failed;
    }
    // All of it is in the file and cannot be taken back: writing it again
    // would add a copy, so it counts as saved.
    if (written) return Status::success();
    return failed;
}

namespace {

// $XDG_STATE_HOME/tolvane, or ~/.local/state/tolvane; empty when neither is
// known. A relative XDG_STATE_HOME is no place at all (the base directory
// rules say to ignore it): it would depend on where the program started.
std::string state_directory() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && state[0] == '/') return std::string(state) + "/tolvane";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/.local/state/tolvane";
    return {};
}

// Forces the entries of a directory to the disk: a file or folder just made
// there survives a power cut.
bool sync_directory(const std::string& path) {
    Fd dir(::open(path.empty() ? "/" : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return dir.get() >= 0 && posix_calls.fsync(dir.get()) == 0;
}

// Each missing directory of `path`, private to the user as the state
// directory should be, each synced into its parent.
bool make_directories(const std::string& path) {
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) == 0) {
            if (!sync_directory(part.substr(0, part.rfind('/')))) return false;
        } else if (errno != EEXIST) {
            return false;
        }
        if (slash == std::string::npos) return true;
    }
}

}  // namespace

Status PosixFileSystem::write_aside(const std::string& name, std::string_view bytes,
                                    std::string& path) {
    const std::string dir = state_directory();
    const size_t dot = name.rfind('.');
    const std::string stem = name.substr(0, dot) + "-" + std::to_string(::getpid());
    const std::string extension = dot == std::string::npos ? "" : name.substr(dot);
    path = (dir.empty() ? "~/.local/state/tolvane" : dir) + "/" + stem + extension;
    if (dir.empty()) return Status::failure("neither XDG_STATE_HOME nor HOME is set");
    if (!make_directories(dir)) return errno_failure();
    for (int n = 1;; ++n) {
        path = dir + "/" + stem + (n == 1 ? "" : "-" + std::to_string(n)) + extension;
        Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (fd.get() < 0) {
            if (errno == EEXIST && n < 100) continue;
            return errno_failure();
        }
        if (!write_fully(fd.get(), bytes) || posix_calls.fsync(fd.get()) != 0) {
            const Status failed = errno_failure();
            ::unlink(path.c_str());
            return failed;
        }
        // On the disk: a late error of close changes nothing, and a folder
        // that cannot be synced still holds the file.
        fd.close();
        sync_directory(dir);
        return Status::success();
    }
}

std::string PosixFileSystem::full_path(const std::string& name) {
    if (!name.empty() && name[0] == '/') return name;
    std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0), &std::free);
    return cwd ? std::string(cwd.get()) + "/" + name : name;
}

Status PosixFileSystem::list_folder(const std::string& path, std::vector<Entry>& entries) {
    entries.clear();
    struct Closer {
        void operator()(DIR* dir) const { ::closedir(dir); }
    };
    std::unique_ptr<DIR, Closer> dir(::opendir(path.c_str()));
    if (!dir) return errno_failure();
    errno = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        // The type from the entry when the file system gives it, else a stat
        // (following a link: a link to a folder is a folder).
        bool folder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            struct stat st {};
            folder = ::stat((path + "/" + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        }
        entries.push_back({name, folder});
        errno = 0;
    }
    return errno == 0 ? Status::success() : errno_failure();
}

}  // namespace tolvane
