#include "inspect/record.h"

#include "records/backup_file.h"
#include "records/cp1252.h"
#include "records/field_reader.h"

namespace tolvane {

std::vector<Number> Record::numbers() const {
    std::vector<Number> numbers;
    numbers.reserve(values.size());
    for (const RecordValue& v : values)
        if (v.number) numbers.push_back(*v.number);
    return numbers;
}

size_t Record::not_numbers() const {
    size_t count = 0;
    for (const RecordValue& v : values)
        count += v.number ? 0 : 1;
    return count;
}

Record parse_record(std::string_view bytes) {
    Record record;
    FieldReader reader(bytes);
    if (reader.at_end()) return record;
    const Field stamp = reader.next_field();
    record.time_text = cp1252_to_utf8(stamp.text);
    if (!stamp.quoted) record.time = parse_date_time_field(stamp.text);
    bool first = true;
    while (!reader.at_end()) {
        const Field field = reader.next_field();
        if (first && field.quoted) {
            record.description = cp1252_to_utf8(field.text);
        } else {
            RecordValue value{cp1252_to_utf8(field.text), std::nullopt};
            if (!field.quoted) value.number = Number::parse(field.text);
            record.values.push_back(std::move(value));
        }
        first = false;
    }
    return record;
}

std::string iso_8601(const std::optional<LocalDateTime>& time) {
    if (!time) return {};
    // By hand: snprintf would be most of the time --stats takes.
    std::string text = "0000-00-00T00:00:00";
    const auto put = [&text](size_t at, int width, int value) {
        for (size_t i = at + static_cast<size_t>(width); i-- > at; value /= 10)
            text[i] = static_cast<char>('0' + value % 10);
    };
    put(0, 4, time->year);
    put(5, 2, time->month);
    put(8, 2, time->day);
    put(11, 2, time->hour);
    put(14, 2, time->minute);
    put(17, 2, time->second);
    return text;
}

}  // namespace tolvane
