#include "records/output_target.h"

#include <array>
#include <string_view>

#include "records/backup_file.h"

namespace tolvane {

namespace {

// The first line, CR LF or LF alike, is the backup file's header.
bool begins_like_backup(FileSystem& files, const std::string& name) {
    Status failure = Status::success();
    const std::unique_ptr<ReadableFile> file = files.open_readable(name, failure);
    if (!file) return false;
    std::array<char, 32> head{};
    size_t got = 0;
    if (!file->read_at(0, head, got).ok()) return false;
    std::string_view line(head.data(), got);
    line = line.substr(0, line.find('\n'));
    if (line.ends_with('\r')) line.remove_suffix(1);
    std::string_view header = kBackupHeader;
    header.remove_suffix(2);  // its CR LF
    return line == header;
}

}  // namespace

std::optional<std::string> output_refusal(FileSystem& files, const std::string& out,
                                          const std::vector<std::string>& inputs) {
    FileIdentity target;
    if (!files.identify(out, target).ok()) return std::nullopt;  // missing: nothing to lose
    for (const std::string& input : inputs) {
        FileIdentity source;
        if (!files.identify(input, source).ok() || !source.same_file(target)) continue;
        if (input == out)
            return out + " is the file the records are read from; no output replaces it.";
        return out + " is the same file as " + input +
               ", which the records are read from; no output replaces it.";
    }
    if (begins_like_backup(files, out))
        return out + " holds backup data (its first line is \"Backup Data\"); no output replaces it.";
    return std::nullopt;
}

}  // namespace tolvane
