#pragma once

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

namespace tolvane::testing {

// A fresh temporary directory that is the working directory while the object
// lives, as the program works in its own; removed afterwards.
class WorkDir {
  public:
    WorkDir() : old_(std::filesystem::current_path()) {
        std::string templ = (std::filesystem::temp_directory_path() / "tolvane-XXXXXX").string();
        if (::mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        dir_ = templ;
        std::filesystem::current_path(dir_);
    }
    ~WorkDir() {
        std::error_code ignored;
        std::filesystem::current_path(old_, ignored);
        std::filesystem::remove_all(dir_, ignored);
    }
    WorkDir(const WorkDir&) = delete;
    WorkDir& operator=(const WorkDir&) = delete;

    const std::filesystem::path& path() const { return dir_; }

  private:
    std::filesystem::path old_, dir_;
};

}  // namespace tolvane::testing
