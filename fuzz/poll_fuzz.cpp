// Arbitrary bytes at arbitrary arrival times, read by ticks at arbitrary
// times, through the whole poll: no frame may span a pause on the line or
// outgrow rx_hex, every frame worth a record must give exactly one, and the
// lists must match the table.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

#include "fakes/fake_controls.h"
#include "fakes/fake_serial.h"
#include "link/frame_assembler.h"
#include "link/frame_decoder.h"
#include "link/link_rig.h"

using namespace tolvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    testing::LinkRig<testing::FakeSerial> rig;
    testing::FakeSerial& com = rig.com;
    com.ticking = false;
    rig.ports.comstartup();
    // The first byte is N.M.; then 0xFE d starts a chunk d ms after the last
    // event, 0xFD d ticks d ms after it; other bytes go into the chunk. A
    // chunk taken in late (by a reader held up) has 0xFC d: taken d ms after.
    rig.num_meas = static_cast<int16_t>(data[0]);
    long t = 0;
    std::vector<long> ticks;
    for (size_t i = 1; i < size; ++i) {
        const uint8_t b = data[i];
        if (b >= 0xFC && b <= 0xFE && i + 1 < size) {
            t += data[++i];
            if (b == 0xFD)
                ticks.push_back(t);
            else if (b == 0xFE)
                com.arrive(t, "");
            else if (!com.line.empty())
                com.line.back().by = testing::at_ms(t);
        } else if (com.line.empty()) {
            com.arrive(t, std::string(1, static_cast<char>(b)));
        } else {
            com.line.back().bytes.push_back(static_cast<char>(b));
        }
    }
    ticks.push_back(t + 1000);
    const std::deque<ReceivedChunk> line = com.line;

    // The same reads through an assembler of its own, to see the frames.
    FrameAssembler assembler;
    assembler.port_opened(testing::at_ms(0));
    std::deque<Frame> frames;
    size_t next = 0;
    for (const long tick : ticks) {
        SerialInput in{{}, testing::at_ms(tick)};
        while (next < line.size() && line[next].by <= in.complete_until)
            in.chunks.push_back(line[next++]);
        assembler.take(in, frames);
        com.now = in.complete_until;
        rig.poll.tmr_main_timer();
    }
    assembler.finish(rig.num_meas, frames);
    rig.ports.close_port();

    std::vector<ReceivedChunk> arrivals;
    for (const ReceivedChunk& c : line)
        if (!c.bytes.empty()) arrivals.push_back(c);
    long worth = 0;
    for (const Frame& f : frames) {
        if (f.bytes.empty() || f.bytes.size() > FrameAssembler::kMaxFrame || f.bytes[0] == '\0')
            std::abort();
        for (size_t i = 1; i < arrivals.size(); ++i) {
            // A pause as the assembler can be sure of it: before a chunk's
            // bytes had time to cross the line.
            const ReceivedChunk& c = arrivals[i];
            const auto line_time = FrameAssembler::kByteTime * long(c.bytes.size() - 1);
            const MonotonicTime first = std::min(c.after, c.by - line_time);
            if (arrivals[i - 1].after >= f.first_at && c.by <= f.last_at &&
                first - arrivals[i - 1].by >= FrameAssembler::kSilence)
                std::abort();
        }
        worth += frame_makes_record(f.bytes, rig.num_meas);
    }

    const std::string& file = rig.files.files[kBackupFileName];
    long stamps = 0;
    for (size_t pos = 0; (pos = file.find("\r\n#", pos)) != std::string::npos; ++pos)
        ++stamps;
    stamps += !file.empty() && file[0] == '#';
    if (stamps != worth || rig.poll.assembler().pending()) std::abort();
    if (rig.lst_meas.rows.size() != static_cast<size_t>(rig.table.meas_count)) std::abort();
    if (rig.table.meas_count > kMaxValuesPerBlock) std::abort();
    return 0;
}
