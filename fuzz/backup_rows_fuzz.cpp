// Arbitrary file contents: the backup list's rows, read block by block from
// the file, are those of the field reader over the whole file. The first two
// bytes choose the rows per block and the bytes per read.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fakes/fake_controls.h"
#include "records/backup_rows.h"

using namespace tolvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const BackupRows::Tuning tuning{1u + data[0] % 8, 128u + data[1] % 64};
    const std::string bytes(reinterpret_cast<const char*>(data) + 2, size - 2);

    testing::MemoryFileSystem files;
    files.files["f"] = bytes;
    testing::FakeClock clock;
    Status failure = Status::success();
    auto rows = BackupRows::open(files.open_readable("f", failure), clock, tuning);
    if (!rows) std::abort();

    FieldReader reader(bytes);
    size_t i = 0;
    for (; !reader.at_end(); ++i) {
        if (i >= rows->row_count() || rows->row(i) != loaded_row(reader.next_field(), clock))
            std::abort();
    }
    if (i != rows->row_count()) std::abort();
    return 0;
}
