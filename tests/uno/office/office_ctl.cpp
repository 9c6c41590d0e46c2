// Starts and stops the headless office the office tests share (the CTest
// fixture "office"):
//   office_ctl start <dir> <pipe>
//   office_ctl stop <dir> <pipe>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>

#include "uno/office/office.h"

int main(int argc, char** argv) {
    if (argc != 4 || (std::strcmp(argv[1], "start") != 0 && std::strcmp(argv[1], "stop") != 0)) {
        std::cerr << "usage: office_ctl start|stop <dir> <pipe>\n";
        return 2;
    }
    try {
        if (std::strcmp(argv[1], "start") == 0) {
            // An office left over from an interrupted run would hold the pipe.
            tolvane::testing::stop_office(argv[2], argv[3]);
            std::filesystem::remove_all(std::string(argv[2]) + "/profile");
            tolvane::testing::start_office(argv[2], argv[3]);
        } else {
            tolvane::testing::stop_office(argv[2], argv[3]);
        }
    } catch (const std::exception& e) {
        std::cerr << "office_ctl " << argv[1] << ": " << e.what() << "\n";
        return 1;
    }
    return 0;
}
