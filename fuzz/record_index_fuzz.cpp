// Arbitrary file contents: the follower's records, read in steps of any
// size, are exactly where the field reader over the whole file finds an
// unquoted field beginning with '#', up to the last line end; and their
// statistics are never infinite or NaN. The first byte chooses the step.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fakes/fake_controls.h"
#include "quality/statistics.h"
#include "records/cp1252.h"
#include "records/field_reader.h"
#include "records/record_follower.h"

using namespace tolvane;

namespace {

bool finite(const std::optional<double>& x) {
    return !x || std::isfinite(*x);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const size_t step = 1u + data[0] % 97;
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    testing::MemoryFileSystem files;
    files.files["f"] = bytes;
    RecordFollower follower(files, "f", {128u + data[0] % 64});
    for (int polls = 0; follower.poll(step), follower.pending(); ++polls)
        if (polls > 100000) std::abort();

    const size_t complete = bytes.rfind('\n') == std::string::npos ? 0 : bytes.rfind('\n') + 1;
    FieldReader reader(std::string_view(bytes).substr(0, complete));
    size_t i = 0;
    while (!reader.at_end()) {
        const Field field = reader.next_field();
        if (field.quoted || !field.text.starts_with('#')) continue;
        const auto record = follower.record(i++);
        if (!record || record->time_text != cp1252_to_utf8(field.text)) std::abort();
        const Statistics s = compute_statistics(record->numbers(), {0.5, 1.5});
        for (const auto& x : {s.mean, s.sd, s.min, s.max, s.range, s.pp, s.ppk, s.share_out})
            if (!finite(x)) std::abort();
    }
    if (i != follower.record_count()) std::abort();
    return 0;
}
