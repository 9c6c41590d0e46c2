#pragma once

namespace tolvane {

// The program as started from the command line: --help, --version and
// --list-ports answer on the terminal and end; without options the windows
// start (run_application). A wrong option prints the usage on stderr and
// gives exit status 2.
int run_program(int argc, char** argv);

}  // namespace tolvane
