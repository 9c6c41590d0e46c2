#pragma once

#include <functional>

namespace tolvane {

// The program as started from the command line: --help, --version and
// --list-ports answer on the terminal and end; without them the windows
// start (run_application), and Qt's own options (-platform, -session,
// -style, ...) go on to QApplication. A wrong option or an argument prints
// one line and a pointer to --help on stderr and gives exit status 2.
int run_program(int argc, char** argv);

// Qt needs a UTF-8 character type. Where the session's locale has none (no
// LANG at all, say), Qt switches to C.UTF-8 itself and says so in four lines
// on stderr; choosing C.UTF-8 beforehand does the same quietly. Call it just
// before the application object is made and call what it returns just after,
// so that programs started later (the office) get the session's own locale.
std::function<void()> choose_utf8_ctype();

// Whether the arguments choose Qt's platform (-platform NAME).
bool platform_chosen(int argc, char** argv);

}  // namespace tolvane
