#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "posix/posix_file_identity.h"
#include "posix/posix_file_system.h"

namespace tolvane {
namespace {

class PosixReadableFile final : public ReadableFile {
  public:
    explicit PosixReadableFile(int fd) : fd_(fd) {}
    PosixReadableFile(const PosixReadableFile&) = delete;
    PosixReadableFile& operator=(const PosixReadableFile&) = delete;
    ~PosixReadableFile() override { ::close(fd_); }

    // pread, not a mapping: a file cut short by another program then reads
    // short instead of faulting, and only the pieces asked for take memory.
    Status read_at(uint64_t offset, std::span<char> into, size_t& got) override {
        got = 0;
        while (got < into.size()) {
            const ssize_t n = ::pread(fd_, into.data() + got, into.size() - got,
                                      static_cast<off_t>(offset + got));
            if (n < 0) {
                if (errno == EINTR) continue;
                return Status::failure(std::strerror(errno));
            }
            if (n == 0) break;
            got += static_cast<size_t>(n);
        }
        return Status::success();
    }

    Status identify(FileIdentity& identity) override {
        struct stat st {};
        if (::fstat(fd_, &st) != 0) return Status::failure(std::strerror(errno));
        identity = file_identity(st);
        return Status::success();
    }

  private:
    int fd_;
};

}  // namespace

std::unique_ptr<ReadableFile> PosixFileSystem::open_readable(const std::string& name,
                                                             Status& failure) {
    // Not blocking: a FIFO put in the file's place must not hang the window.
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        failure = Status::failure(std::strerror(errno));
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        failure = Status::failure(S_ISDIR(st.st_mode) ? std::strerror(EISDIR)
                                                      : "not a regular file");
        ::close(fd);
        return nullptr;
    }
    failure = Status::success();
    return std::make_unique<PosixReadableFile>(fd);
}

}  // namespace tolvane
