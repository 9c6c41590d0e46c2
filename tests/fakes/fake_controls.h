#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock_locale.h"
#include "platform/dialogs.h"
#include "platform/file_system.h"
#include "platform/window_controls.h"

namespace tolvane::testing {

struct FakeList : ListControl {
    std::vector<std::string> rows;
    void add_row(std::string_view text) override { rows.emplace_back(text); }
    void add_rows(std::vector<std::string> more) override {
        rows.insert(rows.end(), more.begin(), more.end());
    }
    void show_rows(std::unique_ptr<RowSource> source) override {
        rows.clear();
        for (size_t i = 0; i < source->row_count(); ++i)
            rows.push_back(source->row(i));
    }
    void clear() override { rows.clear(); }
};

struct FakeLabel : LabelControl {
    std::string caption;
    bool shown = true;
    void set_caption(std::string_view text) override { caption = text; }
    void set_visible(bool v) override { shown = v; }
    bool visible() const override { return shown; }
};

struct FakeMenuItem : MenuItemControl {
    bool is_checked = false;
    void set_checked(bool c) override { is_checked = c; }
    bool checked() const override { return is_checked; }
};

struct FakeTimer : TimerControl {
    bool is_enabled = false;
    void set_enabled(bool e) override { is_enabled = e; }
    bool enabled() const override { return is_enabled; }
};

struct FakeButton : ButtonControl {
    bool is_enabled = true;
    void set_enabled(bool e) override { is_enabled = e; }
    bool enabled() const override { return is_enabled; }
};

struct FakeTextBox : TextBoxControl {
    std::string value;
    std::string text() const override { return value; }
};

struct FakeDialogs : Dialogs {
    std::vector<std::string> messages;
    std::vector<std::string> questions;
    bool answer_yes = true;
    // Runs while a box is "open", before it is answered.
    std::function<void()> while_open;
    void message(std::string_view text) override {
        messages.emplace_back(text);
        if (while_open) while_open();
    }
    bool ask_yes_no(std::string_view text) override {
        questions.emplace_back(text);
        if (while_open) while_open();
        return answer_yes;
    }
    int closes = 0;  // close_open_boxes() calls
    void close_open_boxes() override { ++closes; }
};

// Each now() gives the next queued time (the last one repeats); dates are
// shown as "d.m.yyyy h:mm:ss" with the date alone at midnight.
struct FakeClock : ClockLocale {
    std::deque<LocalDateTime> times{{2026, 12, 6, 5, 54, 7}};
    std::string separator = ".";
    LocalDateTime now() override {
        const LocalDateTime t = times.front();
        if (times.size() > 1) times.pop_front();
        return t;
    }
    // Unset: every moment is now(). Set: now() is at `wall_now`, and a
    // moment before it that many seconds earlier (on the same day).
    std::optional<std::chrono::system_clock::time_point> wall_now;
    LocalDateTime at(std::chrono::system_clock::time_point moment) override {
        LocalDateTime t = now();
        if (!wall_now) return t;
        const auto ago = std::chrono::duration_cast<std::chrono::seconds>(*wall_now - moment);
        const long s = t.hour * 3600L + t.minute * 60 + t.second - ago.count();
        t.hour = static_cast<int>(s / 3600), t.minute = static_cast<int>(s / 60 % 60);
        t.second = static_cast<int>(s % 60);
        return t;
    }
    std::string decimal_separator() override { return separator; }
    std::string general_date_time(const LocalDateTime& t) override {
        std::string s =
            std::to_string(t.day) + "." + std::to_string(t.month) + "." + std::to_string(t.year);
        if (t.hour || t.minute || t.second) {
            auto two = [](int v) { return (v < 10 ? "0" : "") + std::to_string(v); };
            s += " " + std::to_string(t.hour) + ":" + two(t.minute) + ":" + two(t.second);
        }
        return s;
    }
};

// Files in memory. A name in `failing` makes every write to it fail with that
// reason and leaves it unchanged; a name in `unreadable` fails reads.
struct MemoryFileSystem : FileSystem {
    std::map<std::string, std::string> files;
    std::map<std::string, std::string> failing;
    std::map<std::string, std::string> unreadable;
    int appends = 0;

    bool exists(const std::string& name) override { return files.count(name) > 0; }
    Status read_all(const std::string& name, std::string& bytes) override {
        bytes.clear();
        if (unreadable.count(name)) return Status::failure(unreadable[name]);
        if (!files.count(name)) return Status::failure("No such file or directory");
        bytes = files[name];
        return Status::success();
    }
    // A copy of the file as it is now.
    std::unique_ptr<ReadableFile> open_readable(const std::string& name,
                                                Status& failure) override {
        struct Copy : ReadableFile {
            std::string bytes;
            Status read_at(uint64_t offset, std::span<char> into, size_t& got) override {
                got = offset < bytes.size() ? bytes.copy(into.data(), into.size(), offset) : 0;
                return Status::success();
            }
            Status identify(FileIdentity& identity) override {
                identity.size = bytes.size();
                return Status::success();
            }
        };
        auto copy = std::make_unique<Copy>();
        failure = read_all(name, copy->bytes);
        if (!failure.ok()) return nullptr;
        return copy;
    }
    Status replace(const std::string& name, std::string_view bytes) override {
        if (failing.count(name)) return Status::failure(failing[name]);
        files[name] = std::string(bytes);
        return Status::success();
    }
    Status append(const std::string& name, std::string_view bytes, const Lead& lead) override {
        ++appends;
        if (failing.count(name)) return Status::failure(failing[name]);
        std::string& file = files[name];
        if (lead) file += lead(file.size(), file.empty() ? '\0' : file.back());
        file += bytes;
        return Status::success();
    }
    // Only the size: a memory file has no inode.
    Status identify(const std::string& name, FileIdentity& identity) override {
        if (unreadable.count(name)) return Status::failure(unreadable[name]);
        if (!files.count(name)) return Status::failure("No such file or directory");
        identity.size = files[name].size();
        return Status::success();
    }
    // Files written aside go under "/state/"; failing["aside"] fails them.
    Status write_aside(const std::string& name, std::string_view bytes,
                       std::string& path) override {
        path = "/state/" + name;
        if (failing.count("aside")) return Status::failure(failing["aside"]);
        files[path] = std::string(bytes);
        return Status::success();
    }
    std::string full_path(const std::string& name) override {
        return name.starts_with('/') ? name : "/lab/" + name;
    }
    // Folders are what the files' names imply: "a/b/databac.txt" makes "a"
    // and "a/b".
    Status list_folder(const std::string& path, std::vector<Entry>& entries) override {
        entries.clear();
        const std::string prefix = path.ends_with('/') ? path : path + "/";
        for (const auto& [name, bytes] : files) {
            if (!name.starts_with(prefix)) continue;
            const std::string rest = name.substr(prefix.size());
            const size_t slash = rest.find('/');
            Entry entry{rest.substr(0, slash), slash != std::string::npos};
            if (entries.empty() || entries.back().name != entry.name) entries.push_back(entry);
        }
        if (entries.empty()) return Status::failure("No such file or directory");
        return Status::success();
    }
};

}  // namespace tolvane::testing
