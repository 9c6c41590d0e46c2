#pragma once

namespace tolvane {

// The program: the title window first, then the main window.
int run_application(int argc, char** argv);

}  // namespace tolvane
