// Arbitrary file contents through the field reader and the backup list load.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fakes/fake_controls.h"
#include "records/backup_file.h"
#include "records/cp1252.h"
#include "records/field_reader.h"

using namespace tolvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    FieldReader reader(bytes);
    size_t fields = 0;
    while (!reader.at_end()) {
        const Field f = reader.next_field();
        if (f.text.size() > bytes.size()) std::abort();
        if (++fields > bytes.size()) std::abort();  // every field consumes input
    }

    testing::MemoryFileSystem files;
    files.files[kBackupFileName] = bytes;
    testing::FakeClock clock;
    testing::FakeDialogs dialogs;
    testing::FakeList list;
    testing::FakeTextBox description;
    BackupFile backup(files, clock, dialogs, list, description);
    backup.load_backup_list();
    if (list.rows.size() != fields || !dialogs.messages.empty()) std::abort();

    // Every row is valid UTF-8 that maps back to the file's code page.
    for (const std::string& row : list.rows) {
        if (!cp1252_can_hold(row)) std::abort();
    }
    return 0;
}
