#pragma once

#include <sys/stat.h>

#include "platform/readable_file.h"

namespace tolvane {

// A stat's answer as the logic sees it.
FileIdentity file_identity(const struct stat& st);

}  // namespace tolvane
