#include "quality/journal.h"

#include <array>
#include <charconv>
#include <filesystem>
#include <memory>

#include "quality/csv_export.h"
#include "records/record.h"

namespace tolvane {

namespace {

constexpr std::array<std::string_view, 5> kEventTexts = {
    "acknowledged", "left out", "taken back in", "limits frozen", "limits removed"};
constexpr std::array<std::string_view, 8> kColumns = {
    "time", "record_time", "description", "event", "tests", "cause", "action", "user"};
constexpr int kHighestTest = 8;

struct Field {
    std::string text;
    bool quoted = false;
};

// The fields of the line that starts at `pos`. False when the bytes end
// before its line end (it is still being written); otherwise `pos` moves
// past it and `fields` is empty for a line that is no RFC 4180 record.
bool next_line(std::string_view bytes, size_t& pos, std::vector<Field>& fields) {
    fields.clear();
    size_t i = pos;
    const auto malformed = [&] {
        // Whatever it was, it ends at the next line feed.
        const size_t end = bytes.find('\n', i);
        if (end == std::string_view::npos) return false;
        fields.clear();
        pos = end + 1;
        return true;
    };
    while (true) {
        Field field;
        if (i < bytes.size() && bytes[i] == '"') {
            field.quoted = true;
            ++i;
            while (true) {
                const size_t quote = bytes.find('"', i);
                if (quote == std::string_view::npos) return false;
                field.text.append(bytes.substr(i, quote - i));
                i = quote + 1;
                if (i == bytes.size()) return false;
                if (bytes[i] != '"') break;
                field.text += '"';
                ++i;
            }
        } else {
            const size_t end = bytes.find_first_of(",\r\n\"", i);
            if (end == std::string_view::npos) return false;
            if (bytes[end] == '"') {
                i = end;
                return malformed();
            }
            field.text.assign(bytes.substr(i, end - i));
            i = end;
        }
        fields.push_back(std::move(field));
        if (i == bytes.size()) return false;
        if (bytes[i] == ',') {
            ++i;
            continue;
        }
        if (bytes[i] == '\r') {
            if (i + 1 == bytes.size()) return false;
            if (bytes[i + 1] != '\n') return malformed();
            ++i;
        }
        if (bytes[i] != '\n') return malformed();
        pos = i + 1;
        return true;
    }
}

// The text as written: a guarded formula loses the tab put before it.
std::string text_of(const Field& field) {
    if (field.quoted && field.text.size() > 1 && field.text[0] == '\t' &&
        std::string_view("=+-@").find(field.text[1]) != std::string_view::npos)
        return field.text.substr(1);
    return field.text;
}

std::optional<LocalDateTime> time_of(std::string_view text) {
    if (text.size() != 19 || text[10] != 'T') return std::nullopt;
    return parse_iso_time(text, false);
}

std::optional<std::vector<int>> tests_of(std::string_view text) {
    std::vector<int> tests;
    size_t i = 0;
    while (i < text.size()) {
        int test = 0;
        const auto [end, error] = std::from_chars(text.data() + i, text.data() + text.size(), test);
        if (error != std::errc{} || test < 1 || test > kHighestTest) return std::nullopt;
        tests.push_back(test);
        i = static_cast<size_t>(end - text.data());
        if (i < text.size() && text[i++] != ' ') return std::nullopt;
        if (i == text.size() && text.back() == ' ') return std::nullopt;
    }
    return tests;
}

std::optional<JournalEntry> entry_of(const std::vector<Field>& fields) {
    if (fields.size() != kColumns.size()) return std::nullopt;
    JournalEntry entry;
    const std::optional<LocalDateTime> time = time_of(fields[0].text);
    const std::optional<JournalEvent> event = journal_event_from_text(fields[3].text);
    std::optional<std::vector<int>> tests = tests_of(fields[4].text);
    if (!time || !event || !tests) return std::nullopt;
    entry.time = *time;
    if (!fields[1].text.empty()) {
        entry.record_time = time_of(fields[1].text);
        if (!entry.record_time) return std::nullopt;
    }
    entry.description = text_of(fields[2]);
    entry.event = *event;
    entry.tests = std::move(*tests);
    entry.cause = text_of(fields[5]);
    entry.action = text_of(fields[6]);
    entry.user = text_of(fields[7]);
    return entry;
}

bool is_header(const std::vector<Field>& fields) {
    if (fields.size() != kColumns.size()) return false;
    for (size_t i = 0; i < fields.size(); ++i)
        if (fields[i].text != kColumns[i]) return false;
    return true;
}

}  // namespace

std::string_view journal_event_text(JournalEvent event) {
    return kEventTexts[static_cast<size_t>(event)];
}

std::optional<JournalEvent> journal_event_from_text(std::string_view text) {
    for (size_t i = 0; i < kEventTexts.size(); ++i)
        if (kEventTexts[i] == text) return static_cast<JournalEvent>(i);
    return std::nullopt;
}

std::string journal_path(std::string_view backup_path) {
    std::filesystem::path path{std::string(backup_path)};
    path.replace_filename(path.stem().string() + "-journal.csv");
    return path.string();
}

std::string journal_header() {
    std::string header;
    for (const std::string_view column : kColumns) {
        if (!header.empty()) header += ',';
        header += column;
    }
    return header + "\r\n";
}

std::string journal_line(const JournalEntry& entry) {
    std::string line = iso_8601(entry.time);
    line += ',';
    line += iso_8601(entry.record_time);
    line += ',';
    line += export_text_field(entry.description);
    line += ',';
    line += journal_event_text(entry.event);
    line += ',';
    for (size_t i = 0; i < entry.tests.size(); ++i) {
        if (i > 0) line += ' ';
        line += std::to_string(entry.tests[i]);
    }
    for (const std::string* text : {&entry.cause, &entry.action, &entry.user}) {
        line += ',';
        line += export_text_field(*text);
    }
    return line + "\r\n";
}

std::string journal_write_failed_message(std::string_view path, std::string_view reason) {
    return "The journal " + std::string(path) + " could not be written (" + std::string(reason) +
           "), so nothing was changed.";
}

Status Journal::append(const JournalEntry& entry) { return append(std::span(&entry, 1)); }

Status Journal::append(std::span<const JournalEntry> entries) {
    std::string lines;
    for (const JournalEntry& entry : entries) lines += journal_line(entry);
    const Status written =
        files_.append(path_, lines, [](uint64_t size, char last_byte) {
            // A file that lost its last line end (an edit by hand) gets it
            // back, so that the entry stays a line of its own.
            if (size == 0) return journal_header();
            return last_byte == '\n' ? std::string() : std::string("\r\n");
        });
    if (written.ok()) return written;
    return Status::failure(journal_write_failed_message(files_.full_path(path_), written.reason()));
}

std::vector<JournalEntry> JournalReader::read(std::string_view bytes) {
    std::vector<JournalEntry> entries;
    std::vector<Field> fields;
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t next = pos;
        if (!next_line(bytes, next, fields)) break;
        pos = next;
        const bool blank = fields.size() == 1 && fields[0].text.empty() && !fields[0].quoted;
        if (blank || is_header(fields)) continue;
        if (std::optional<JournalEntry> entry = entry_of(fields))
            entries.push_back(std::move(*entry));
        else
            ++skipped_;
    }
    offset_ += pos;
    return entries;
}

Status JournalReader::poll(FileSystem& files, const std::string& path,
                           std::vector<JournalEntry>& entries) {
    entries.clear();
    reset_ = false;
    FileIdentity now;
    if (Status seen = files.identify(path, now); !seen.ok()) {
        if (!files.exists(path)) return Status::success();
        return seen;
    }
    if (identity_ && (!identity_->same_file(now) || now.size < offset_)) {
        offset_ = 0;
        skipped_ = 0;
        reset_ = true;
    }
    identity_ = now;
    if (now.size == offset_) return Status::success();
    Status opened = Status::success();
    const std::unique_ptr<ReadableFile> file = files.open_readable(path, opened);
    if (!file) return opened;
    std::string bytes;
    char chunk[64 * 1024];
    while (true) {
        size_t got = 0;
        if (Status read = file->read_at(offset_ + bytes.size(), chunk, got); !read.ok())
            return read;
        bytes.append(chunk, got);
        if (got < sizeof chunk) break;
    }
    entries = read(bytes);
    return Status::success();
}

}  // namespace tolvane
