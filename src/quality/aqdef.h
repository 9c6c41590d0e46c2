#pragma once

#include <span>
#include <string>
#include <vector>

#include "quality/lot.h"

namespace tolvane {

// The AQDEF (Q-DAS ASCII transfer format) file of a lot: a .dfq, the
// description part and the values in one file, every line "Kxxxx[/n] text"
// with CR LF, Windows-1252, numbers with a point whatever the user's locale.
//
// Part:            K0100 number of characteristics, K1001 part number,
//                  K1002 part description.
// Characteristic n (one per tolerance entry the lot's records match, in
// the order they first appear):
//                  K2001/n its number, K2002/n the entry's pattern,
//                  K2004/n 0 (variable), K2101/n nominal, K2110/n lower
//                  and K2111/n upper limit (each only when the entry has it).
// Each value, in the records' order:
//                  K0001/n the value, K0004/n the record's time
//                  (DD.MM.YYYY/HH:MM:SS), K0006/n the record's description
//                  (the batch number), K0012/n the station's number (1 for
//                  the first station named) and K0009/n its name.
struct AqdefPart {
    std::string number;       // UTF-8
    std::string description;  // UTF-8
};

struct AqdefFile {
    std::string bytes;  // the file; empty when refused
    // A text longer than its field is cut, and each such text says so here
    // once (UTF-8), as do records left out for matching no tolerance.
    std::vector<std::string> warnings;
    // Why no file can be made (UTF-8): a value or time stamp the format has
    // no form for, a text Windows-1252 cannot hold, no characteristic at all.
    std::string refusal;
};

// `stations` holds each record's station name, in the lot's order (one name
// for every record, or a single name for all).
AqdefFile aqdef_file(const Lot& lot, std::span<const std::string> stations, const AqdefPart& part);

}  // namespace tolvane
