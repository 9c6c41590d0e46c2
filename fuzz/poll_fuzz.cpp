// Arbitrary reads, split at arbitrary points, through the whole poll: every
// frame handed out must give one record, and the lists must match the table.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fakes/fake_controls.h"
#include "fakes/fake_serial.h"
#include "link/frame_decoder.h"
#include "link/link_rig.h"

using namespace tolvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    testing::LinkRig<testing::FakeSerial> rig;
    rig.port_locked = false;
    testing::FakeSerial& com = rig.com;
    // The first byte is N.M.; then each byte 0xFE ends a read (0xFE is rare in
    // blocks, and an empty read is an idle tick).
    rig.num_meas = static_cast<int16_t>(data[0]);
    std::string read;
    for (size_t i = 1; i < size; ++i) {
        if (data[i] == 0xFE) {
            com.reads.push_back(read);
            read.clear();
        } else {
            read.push_back(static_cast<char>(data[i]));
        }
    }
    com.reads.push_back(read);
    const size_t reads = com.reads.size();

    for (size_t i = 0; i <= reads; ++i)
        rig.poll.tmr_main_timer();

    const std::string& file = rig.files.files[kBackupFileName];
    long stamps = 0;
    for (size_t pos = 0; (pos = file.find("\r\n#", pos)) != std::string::npos; ++pos)
        ++stamps;
    stamps += !file.empty() && file[0] == '#';
    if (stamps != rig.poll.assembler().frames() || rig.poll.assembler().pending()) std::abort();
    if (rig.lst_meas.rows.size() != static_cast<size_t>(rig.table.meas_count)) std::abort();
    if (rig.table.meas_count > kMaxValuesPerBlock) std::abort();
    return 0;
}
