#include "records/station_files.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "records/backup_file.h"

namespace tolvane {

namespace {

std::string joined(const std::string& folder, const std::string& name) {
    return folder.ends_with('/') ? folder + name : folder + "/" + name;
}

// The folders holding the file, innermost first: "/lab/north/bench".
std::vector<std::string> folders_of(FileSystem& files, const std::string& path) {
    const std::filesystem::path full =
        std::filesystem::path(files.full_path(path)).lexically_normal();
    std::vector<std::string> folders;
    for (std::filesystem::path at = full.parent_path(); at.has_relative_path();
         at = at.parent_path())
        folders.push_back(at.filename().string());
    return folders;
}

// The same file by another path ("./databac.txt", a link): the same file
// identity where the file system tells it, else the same normal path.
std::string identity_key(FileSystem& files, const std::string& path) {
    FileIdentity identity;
    if (files.identify(path, identity).ok() && (identity.device || identity.inode))
        return std::to_string(identity.device) + ":" + std::to_string(identity.inode);
    return std::filesystem::path(files.full_path(path)).lexically_normal().string();
}

std::string name_of(const std::vector<std::string>& folders, size_t depth) {
    std::string name;
    for (size_t i = std::min(depth, folders.size()); i-- > 0;)
        name += folders[i] + (i ? "/" : "");
    return name.empty() ? "/" : name;
}

}  // namespace

StationFiles station_files(FileSystem& files, const std::vector<std::string>& arguments) {
    StationFiles result;
    std::vector<std::string> paths;
    for (const std::string& argument : arguments) {
        std::vector<FileSystem::Entry> entries;
        if (!files.list_folder(argument, entries).ok()) {
            paths.push_back(argument);  // a file, or nothing the followers will report
            continue;
        }
        std::vector<std::string> found;
        for (const FileSystem::Entry& entry : entries) {
            if (!entry.folder && entry.name == kBackupFileName) {
                found.push_back(joined(argument, entry.name));
            } else if (entry.folder) {
                const std::string candidate = joined(joined(argument, entry.name), kBackupFileName);
                if (files.exists(candidate)) found.push_back(candidate);
            }
        }
        if (found.empty()) {
            result.error = argument + ": no " + std::string(kBackupFileName) +
                           " in this folder or in its subfolders";
            return result;
        }
        std::sort(found.begin(), found.end());
        paths.insert(paths.end(), found.begin(), found.end());
    }
    std::set<std::string> seen;
    std::vector<std::vector<std::string>> folders;
    for (const std::string& path : paths) {
        if (!seen.insert(identity_key(files, path)).second) continue;
        result.files.push_back({path, {}});
        folders.push_back(folders_of(files, path));
    }
    // One folder more for every name still shared, until none is (or the
    // whole paths are all there is).
    std::vector<size_t> depth(result.files.size(), 1);
    for (bool shared = true; shared;) {
        std::map<std::string, std::vector<size_t>> by_name;
        for (size_t i = 0; i < result.files.size(); ++i)
            by_name[name_of(folders[i], depth[i])].push_back(i);
        shared = false;
        for (const auto& [name, holders] : by_name) {
            if (holders.size() < 2) continue;
            for (size_t i : holders) {
                if (depth[i] >= folders[i].size()) continue;
                ++depth[i];
                shared = true;
            }
        }
    }
    for (size_t i = 0; i < result.files.size(); ++i)
        result.files[i].name = name_of(folders[i], depth[i]);
    return result;
}

}  // namespace tolvane
