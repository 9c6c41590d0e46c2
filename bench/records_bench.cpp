// Speed of the per-block work, of loading a long backup file, and of a line
// of very many fields.
//   cmake --build build --target records_bench && build/bench/records_bench
#include <benchmark/benchmark.h>

#include <string>
#include <utility>

#include "fakes/fake_controls.h"
#include "link/frame_decoder.h"
#include "records/backup_file.h"
#include "records/field_reader.h"
#include "records/meas_table.h"

namespace {

using namespace tolvane;

std::string hundred_value_block() {
    std::string block(1, '\x01');
    for (int i = 0; i < 100; ++i) {
        block.push_back(static_cast<char>(((i % 16) << 4) | (i % 10)));
        block.push_back(static_cast<char>(0x45));
    }
    block.push_back('\xFF');
    return block;
}

// One 100-value block: tabulate, decode, list texts, backup record in memory.
void BM_Block100(benchmark::State& state) {
    const std::string block = hundred_value_block();
    MeasTable table;
    testing::MemoryFileSystem files;
    testing::FakeClock clock;
    testing::FakeDialogs dialogs;
    testing::FakeList lst_meas, lst_backup;
    testing::FakeTextBox description;
    description.value = "Sample A";
    BackupFile backup(files, clock, dialogs, lst_backup, description);
    for (auto _ : state) {
        lst_meas.clear();
        table.meas_count = 0;
        fill_rx_hex(table, block);
        backup.append_backup_record_open(clock.now());
        decode_meas(table, 100, [&](int i) {
            const std::string text = meas_text(table.meas(i), ".");
            lst_meas.add_row(text);
            backup.append_backup_record_value(table.meas(i), text);
        });
        backup.append_backup_record_close();
        files.files.clear();
        lst_backup.clear();
    }
}
BENCHMARK(BM_Block100);

// Start-up with `file` as databac.txt.
void load_at_start_up(benchmark::State& state, std::string file) {
    testing::MemoryFileSystem files;
    files.files[kBackupFileName] = std::move(file);
    testing::FakeClock clock;
    testing::FakeDialogs dialogs;
    testing::FakeTextBox description;
    for (auto _ : state) {
        testing::FakeList lst_backup;
        BackupFile backup(files, clock, dialogs, lst_backup, description);
        backup.load_backup_list();
        benchmark::DoNotOptimize(lst_backup.rows.data());
    }
}

// Start-up with a databac.txt of N lines (records of 100 values).
void BM_LoadBackupList(benchmark::State& state) {
    std::string file(kBackupHeader);
    for (int64_t line = 1; line < state.range(0);) {
        file += "#2026-12-06 05:54:07#\r\n\"Sample A\"\r\n";
        line += 2;
        for (int v = 0; v < 100 && line < state.range(0); ++v, ++line)
            file += "345000\r\n";
    }
    load_at_start_up(state, std::move(file));
    state.counters["lines"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_LoadBackupList)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// A line of N comma-separated fields (a databac.txt from elsewhere): the
// field reader's time must grow with N, not with N squared.
std::string many_fields(int64_t n) {
    std::string line;
    for (int64_t i = 0; i < n; ++i)
        line += "1.23,";
    return line + "4.56\r\n";
}

void BM_FieldReaderLongLine(benchmark::State& state) {
    const std::string line = many_fields(state.range(0));
    for (auto _ : state) {
        FieldReader reader(line);
        while (!reader.at_end())
            benchmark::DoNotOptimize(reader.next_field());
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_FieldReaderLongLine)
    ->RangeMultiplier(10)
    ->Range(1000, 100000)
    ->Complexity()
    ->Unit(benchmark::kMillisecond);

// The same line as the whole of databac.txt at start-up, list rows included.
void BM_LoadLongLine(benchmark::State& state) {
    load_at_start_up(state, std::string(kBackupHeader) + many_fields(state.range(0)));
}
BENCHMARK(BM_LoadLongLine)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
