// Arbitrary com.dat and numdat.dat contents through the settings loaders.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fakes/fake_controls.h"
#include "records/settings_files.h"

using namespace tolvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    testing::MemoryFileSystem files;
    files.files[kNumMeasFileName] = bytes;
    files.files[kComFileName] = bytes;
    const int16_t num_meas = load_num_meas(files);
    const int16_t com_port = load_com_port(files);
    // A file holding one number and nothing else gives that number.
    if (bytes.find_first_of(",\r\n\"") == std::string::npos) {
        if (const auto n = parse_setting_number(bytes); n && (num_meas != *n || com_port != *n)) {
            std::abort();
        }
    }
    // What is saved loads again unchanged.
    if (!save_num_meas(files, num_meas).ok() || load_num_meas(files) != num_meas) std::abort();
    if (!save_com_port(files, com_port).ok() || load_com_port(files) != com_port) std::abort();
    return 0;
}
