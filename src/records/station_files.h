#pragma once

#include <string>
#include <vector>

#include "platform/file_system.h"

namespace tolvane {

// One databac.txt of a station (an instrument or a bench PC), and the name
// its records are shown with.
struct StationFile {
    std::string path;
    std::string name;

    bool operator==(const StationFile&) const = default;
};

struct StationFiles {
    std::vector<StationFile> files;
    std::string error;  // why the arguments name no files; empty when they do
};

// The files a command line names: each argument a file, or a folder that
// stands for the databac.txt in it and in its direct subfolders (by path).
// A file named twice is taken once. Each station is called after the folder
// holding its file; when two would share a name, they are told apart by as
// many of the folders above as it takes ("north/bench", "south/bench").
StationFiles station_files(FileSystem& files, const std::vector<std::string>& arguments);

}  // namespace tolvane
