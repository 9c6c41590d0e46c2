#include "app/command_line.h"

int main(int argc, char** argv) {
    return tolvane::run_program(argc, argv);
}
