#pragma once

// Test helpers around a real LibreOffice: start one on a pipe with a profile
// of its own, stop it for good, and look into its documents through UNO
// independently of the code under test.

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>

namespace tolvane::testing {

namespace css = ::com::sun::star;

// An office started by start_office. Its launcher leads a process group of
// its own, which soffice.bin joins.
struct OfficeProcess {
    pid_t launcher = 0;
    bool our_child = false;
};

// Starts `soffice` with its profile in <dir>/profile, output in
// <dir>/soffice.log and the launcher's pid in <dir>/pid, and waits until it
// answers on the pipe. Throws std::runtime_error when it does not in time.
// Without `own_profile` it uses the user's profile, as one started from the
// desktop does (then HOME must be a throw-away one).
OfficeProcess start_office(const std::string& dir, const std::string& pipe, bool headless = true,
                           std::chrono::seconds timeout = std::chrono::seconds(90),
                           bool own_profile = true);

// Opens a new document of a kind ("scalc", "swriter") in its own window.
css::uno::Reference<css::lang::XComponent> new_document(
    const css::uno::Reference<css::frame::XDesktop2>& desktop, const std::string& kind);
// How many documents the office has open.
int document_count(const css::uno::Reference<css::frame::XDesktop2>& desktop);

// Closes its documents unsaved, terminates it, and makes sure no process of
// its group is left (SIGTERM, then SIGKILL). Quiet when it is not running.
void stop_office(const OfficeProcess& office, const std::string& pipe);
// The same for the office whose pid start_office wrote into <dir>/pid.
void stop_office(const std::string& dir, const std::string& pipe);

// Ends the whole process group at once, as a crash would.
void kill_office(const OfficeProcess& office);

// The desktop of the office on `pipe`; throws when none answers.
css::uno::Reference<css::frame::XDesktop2> desktop_on(const std::string& pipe);

// A new spreadsheet document in its own window, which becomes the current one.
css::uno::Reference<css::sheet::XSpreadsheetDocument> new_calc_document(
    const css::uno::Reference<css::frame::XDesktop2>& desktop);

css::uno::Reference<css::sheet::XSpreadsheet> active_sheet_of(
    const css::uno::Reference<css::sheet::XSpreadsheetDocument>& doc);

// Selects cells by name ("C5", "C5:E9") or several ranges ("B2:B3;E7").
void select(const css::uno::Reference<css::sheet::XSpreadsheetDocument>& doc,
            const std::string& ranges);
// The selection as a range name ("C8"); "" when it is no cell range.
std::string selection(const css::uno::Reference<css::sheet::XSpreadsheetDocument>& doc);

// A cell's number; NaN when the cell holds nothing.
double value(const css::uno::Reference<css::sheet::XSpreadsheetDocument>& doc,
             const std::string& cell);

// A rectangle on the active sheet, selected.
void select_a_shape(const css::uno::Reference<css::sheet::XSpreadsheetDocument>& doc);

// A process as /proc/<pid>/stat shows it.
struct ProcessState {
    pid_t pid = 0;
    char state = 0;  // 'Z' for a zombie
    pid_t ppid = 0;
    pid_t pgrp = 0;
};
std::vector<ProcessState> processes();

// Closes every document without saving.
void close_documents(const css::uno::Reference<css::frame::XDesktop2>& desktop);

}  // namespace tolvane::testing

namespace tolvane {

// The UNO names that every office test uses.
using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

}  // namespace tolvane
