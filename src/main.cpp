#include "shell/application.h"

int main(int argc, char** argv) {
    return tolvane::run_application(argc, argv);
}
