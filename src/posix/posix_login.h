#pragma once

#include <string>

namespace tolvane {

// The name of the person logged in, for the journal: the full name (the
// first field of the login's GECOS), else the login name; empty when the
// account is unknown.
std::string login_user();

}  // namespace tolvane
