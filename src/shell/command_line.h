#pragma once

namespace tolvane {

// The program as started from the command line: --help, --version and
// --list-ports answer on the terminal and end; without them the windows
// start (run_application), and Qt's own options (-platform, -session,
// -style, ...) go on to QApplication. A wrong option or an argument prints
// one line and a pointer to --help on stderr and gives exit status 2.
int run_program(int argc, char** argv);

// Whether the arguments choose Qt's platform (-platform NAME).
bool platform_chosen(int argc, char** argv);

}  // namespace tolvane
