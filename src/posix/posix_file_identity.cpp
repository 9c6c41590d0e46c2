#include "posix/posix_file_identity.h"

#include <cerrno>
#include <cstring>

#include "posix/posix_file_system.h"

namespace tolvane {

FileIdentity file_identity(const struct stat& st) {
    FileIdentity identity;
    identity.device = static_cast<uint64_t>(st.st_dev);
    identity.inode = static_cast<uint64_t>(st.st_ino);
    identity.size = static_cast<uint64_t>(st.st_size);
    identity.modified_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 +
                           static_cast<int64_t>(st.st_mtim.tv_nsec);
    return identity;
}

Status PosixFileSystem::identify(const std::string& name, FileIdentity& identity) {
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0) return Status::failure(std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        return Status::failure(S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "not a regular file");
    identity = file_identity(st);
    return Status::success();
}

}  // namespace tolvane
