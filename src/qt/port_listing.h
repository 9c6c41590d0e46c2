#pragma once

#include <string>

namespace tolvane {

// What `tolvane --list-ports` prints: the serial devices this computer
// offers, with their stable names under /dev/serial/by-id and whether this
// user may open them, then the device that each of the ports 1 to 16 opens
// and where that choice comes from. Opens no port.
std::string port_listing();

}  // namespace tolvane
