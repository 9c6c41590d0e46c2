#pragma once

#include <string>
#include <vector>

#include "fakes/fake_controls.h"
#include "link/port_selection.h"
#include "link/reception_poll.h"

namespace tolvane::testing {

using Rows = std::vector<std::string>;

// The poll and the port selection wired to fake windows, files and dialogs,
// on a serial control of the test's choice.
template <class Serial>
struct LinkRig {
    // databac.txt's records: the fields after each time stamp.
    std::vector<Rows> records() const {
        std::vector<Rows> out;
        const auto it = files.files.find(kBackupFileName);
        if (it == files.files.end()) return out;
        const std::string& f = it->second;
        for (size_t pos = 0; pos < f.size();) {
            const size_t end = f.find("\r\n", pos);
            const std::string field = f.substr(pos, end - pos);
            pos = end + 2;
            if (field.front() == '#')
                out.emplace_back();
            else if (!out.empty())
                out.back().push_back(field);
        }
        return out;
    }
    std::vector<bool> marks() const {
        return {com1.is_checked, com2.is_checked, com3.is_checked, com4.is_checked};
    }

    Serial com;
    MeasTable table;
    MemoryFileSystem files;
    FakeClock clock;
    FakeDialogs dialogs;
    FakeList lst_backup, lst_meas;
    FakeTextBox txt_backupdes;
    FakeLabel lb_numpoints, lb_selectcom;
    FakeMenuItem com1, com2, com3, com4;
    FakeTimer tmr_main, tmr_mess, tmr_reopen;
    BackupFile backup{files, clock, dialogs, lst_backup, txt_backupdes};
    int16_t num_meas = 80;
    int16_t com_port = 1;
    bool port_locked = true;
    bool auto_connect = false;
    bool send_succeeds = true;
    int sends = 0;
    std::function<void()> during_send;
    Rows reports;  // the journal's lines
    ReceptionPoll poll{{com, table, backup, clock, lst_meas, lb_numpoints, num_meas, port_locked,
                        [this] { return auto_connect; },
                        [this] {
                            ++sends;
                            if (during_send) during_send();
                            return send_succeeds;
                        }}};
    PortSelection ports{{com,
                         dialogs,
                         poll,
                         {&com1, &com2, &com3, &com4},
                         lb_selectcom,
                         tmr_main,
                         tmr_mess,
                         tmr_reopen,
                         com_port,
                         port_locked,
                         [this](const std::string& line) { reports.push_back(line); }}};
};

}  // namespace tolvane::testing
