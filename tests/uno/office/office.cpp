#include "uno/office/office.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include <com/sun/star/awt/Size.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/drawing/XDrawPageSupplier.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/drawing/XShapes.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XSheetCellRangeContainer.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>
#include <cppuhelper/bootstrap.hxx>

extern char** environ;

namespace tolvane::testing {

using rtl::OUString;

namespace {

OUString ustr(const std::string& s) {
    return OUString::createFromAscii(s.c_str());
}

Reference<css::uno::XComponentContext> local_context() {
    static Reference<css::uno::XComponentContext> context = [] {
        signal(SIGPIPE, SIG_IGN);
        setenv("URE_BOOTSTRAP", "vnd.sun.star.pathname:" TOLVANE_LO_PROGRAM_DIR "/fundamentalrc",
               0);
        return cppu::defaultBootstrap_InitialComponentContext();
    }();
    return context;
}

// Live (not zombie) processes of a process group.
std::vector<pid_t> group_members(pid_t pgid) {
    std::vector<pid_t> pids;
    for (const ProcessState& p : processes()) {
        if (p.pgrp == pgid && p.state != 'Z') pids.push_back(p.pid);
    }
    return pids;
}

bool wait_group_gone(const OfficeProcess& office, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (office.our_child) waitpid(office.launcher, nullptr, WNOHANG);
        if (group_members(office.launcher).empty()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

css::table::CellRangeAddress address_of(const Reference<css::sheet::XSpreadsheet>& sheet,
                                        const std::string& name) {
    Reference<css::sheet::XCellRangeAddressable> range(sheet->getCellRangeByName(ustr(name)),
                                                       UNO_QUERY_THROW);
    return range->getRangeAddress();
}

std::string cell_name(sal_Int32 col, sal_Int32 row) {
    std::string letters;
    for (sal_Int32 c = col + 1; c > 0; c = (c - 1) / 26)
        letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
    return letters + std::to_string(row + 1);
}

Reference<css::view::XSelectionSupplier> selection_of(
    const Reference<css::sheet::XSpreadsheetDocument>& doc) {
    Reference<css::frame::XModel> model(doc, UNO_QUERY_THROW);
    return Reference<css::view::XSelectionSupplier>(model->getCurrentController(), UNO_QUERY_THROW);
}

}  // namespace

Reference<css::frame::XDesktop2> desktop_on(const std::string& pipe) {
    Reference<css::bridge::XUnoUrlResolver> resolver =
        css::bridge::UnoUrlResolver::create(local_context());
    Reference<css::uno::XComponentContext> remote(
        resolver->resolve(ustr("uno:pipe,name=" + pipe + ";urp;StarOffice.ComponentContext")),
        UNO_QUERY_THROW);
    return css::frame::Desktop::create(remote);
}

OfficeProcess start_office(const std::string& dir, const std::string& pipe, bool headless,
                           std::chrono::seconds timeout, bool own_profile) {
    mkdir(dir.c_str(), 0700);
    std::vector<std::string> args{"soffice"};
    if (headless) {
        args.push_back("--headless");
        args.push_back("--invisible");
    }
    for (const char* a : {"--norestore", "--nologo", "--nodefault"})
        args.push_back(a);
    if (own_profile) args.push_back("-env:UserInstallation=file://" + dir + "/profile");
    args.push_back("--accept=pipe,name=" + pipe + ";urp;StarOffice.ComponentContext");
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    const std::string log = dir + "/soffice.log";
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&files, 1, 2);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF);
    OfficeProcess office;
    const int err = posix_spawnp(&office.launcher, argv[0], &files, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&files);
    if (err != 0) throw std::runtime_error(std::string("soffice: ") + std::strerror(err));
    office.our_child = true;
    std::ofstream(dir + "/pid") << office.launcher << "\n";

    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string problem;
    for (;;) {
        try {
            desktop_on(pipe);
            return office;
        } catch (const css::uno::Exception& e) {
            problem = rtl::OUStringToOString(e.Message, RTL_TEXTENCODING_UTF8).getStr();
        }
        int status = 0;
        if (waitpid(office.launcher, &status, WNOHANG) == office.launcher) {
            office.our_child = false;
            stop_office(office, pipe);
            throw std::runtime_error("soffice ended before it answered, status " +
                                     std::to_string(status) + "; see " + log);
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            stop_office(office, pipe);
            throw std::runtime_error("soffice did not answer on pipe " + pipe + ": " + problem);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

void stop_office(const OfficeProcess& office, const std::string& pipe) {
    try {
        Reference<css::frame::XDesktop2> desktop = desktop_on(pipe);
        close_documents(desktop);
        desktop->terminate();
    } catch (...) {
        // Not answering: the signals below end it.
    }
    if (office.launcher > 0 && !wait_group_gone(office, std::chrono::seconds(15))) {
        kill(-office.launcher, SIGTERM);
        if (!wait_group_gone(office, std::chrono::seconds(10))) {
            kill(-office.launcher, SIGKILL);
            wait_group_gone(office, std::chrono::seconds(10));
        }
    }
    // A killed office leaves its pipe's socket behind.
    if (office.launcher <= 0 || group_members(office.launcher).empty())
        unlink(("/tmp/OSL_PIPE_" + std::to_string(getuid()) + "_" + pipe).c_str());
}

void stop_office(const std::string& dir, const std::string& pipe) {
    OfficeProcess office;
    std::ifstream(dir + "/pid") >> office.launcher;
    // Signal the group only while its leader is still the office of <dir>,
    // not some later process that got the same pid.
    std::ifstream cmdline("/proc/" + std::to_string(office.launcher) + "/cmdline");
    const std::string args((std::istreambuf_iterator<char>(cmdline)),
                           std::istreambuf_iterator<char>());
    if (office.launcher > 0 && args.find(dir + "/profile") == std::string::npos)
        office.launcher = 0;
    stop_office(office, pipe);
}

void kill_office(const OfficeProcess& office) {
    kill(-office.launcher, SIGKILL);
    wait_group_gone(office, std::chrono::seconds(10));
}

Reference<css::lang::XComponent> new_document(const Reference<css::frame::XDesktop2>& desktop,
                                              const std::string& kind) {
    Reference<css::frame::XComponentLoader> loader(desktop, UNO_QUERY_THROW);
    return loader->loadComponentFromURL(ustr("private:factory/" + kind), ustr("_blank"), 0,
                                        css::uno::Sequence<css::beans::PropertyValue>());
}

Reference<css::sheet::XSpreadsheetDocument> new_calc_document(
    const Reference<css::frame::XDesktop2>& desktop) {
    return Reference<css::sheet::XSpreadsheetDocument>(new_document(desktop, "scalc"),
                                                       UNO_QUERY_THROW);
}

int document_count(const Reference<css::frame::XDesktop2>& desktop) {
    Reference<css::container::XEnumeration> all = desktop->getComponents()->createEnumeration();
    int n = 0;
    for (; all->hasMoreElements(); all->nextElement())
        ++n;
    return n;
}

Reference<css::sheet::XSpreadsheet> active_sheet_of(
    const Reference<css::sheet::XSpreadsheetDocument>& doc) {
    Reference<css::frame::XModel> model(doc, UNO_QUERY_THROW);
    Reference<css::sheet::XSpreadsheetView> view(model->getCurrentController(), UNO_QUERY_THROW);
    return view->getActiveSheet();
}

void select(const Reference<css::sheet::XSpreadsheetDocument>& doc, const std::string& ranges) {
    Reference<css::sheet::XSpreadsheet> sheet = active_sheet_of(doc);
    if (ranges.find(';') == std::string::npos) {
        selection_of(doc)->select(css::uno::Any(sheet->getCellRangeByName(ustr(ranges))));
        return;
    }
    Reference<css::lang::XMultiServiceFactory> factory(doc, UNO_QUERY_THROW);
    Reference<css::sheet::XSheetCellRangeContainer> container(
        factory->createInstance(ustr("com.sun.star.sheet.SheetCellRanges")), UNO_QUERY_THROW);
    std::istringstream names(ranges);
    for (std::string name; std::getline(names, name, ';');)
        container->addRangeAddress(address_of(sheet, name), false);
    selection_of(doc)->select(css::uno::Any(container));
}

std::string selection(const Reference<css::sheet::XSpreadsheetDocument>& doc) {
    Reference<css::sheet::XCellRangeAddressable> range(selection_of(doc)->getSelection(),
                                                       UNO_QUERY);
    if (!range.is()) return "";
    const css::table::CellRangeAddress a = range->getRangeAddress();
    std::string name = cell_name(a.StartColumn, a.StartRow);
    if (a.EndColumn != a.StartColumn || a.EndRow != a.StartRow)
        name += ":" + cell_name(a.EndColumn, a.EndRow);
    return name;
}

double value(const Reference<css::sheet::XSpreadsheetDocument>& doc, const std::string& cell) {
    Reference<css::sheet::XSpreadsheet> sheet = active_sheet_of(doc);
    const css::table::CellRangeAddress a = address_of(sheet, cell);
    Reference<css::table::XCell> c = sheet->getCellByPosition(a.StartColumn, a.StartRow);
    if (c->getType() == css::table::CellContentType_EMPTY)
        return std::numeric_limits<double>::quiet_NaN();
    return c->getValue();
}

void select_a_shape(const Reference<css::sheet::XSpreadsheetDocument>& doc) {
    Reference<css::lang::XMultiServiceFactory> factory(doc, UNO_QUERY_THROW);
    Reference<css::drawing::XShape> shape(
        factory->createInstance(ustr("com.sun.star.drawing.RectangleShape")), UNO_QUERY_THROW);
    shape->setSize(css::awt::Size(3000, 2000));
    Reference<css::drawing::XDrawPageSupplier> pages(active_sheet_of(doc), UNO_QUERY_THROW);
    // The sheet's own draw page; the IDL marks the getter deprecated in favour
    // of the same page reached through the document.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    Reference<css::drawing::XShapes>(pages->getDrawPage(), UNO_QUERY_THROW)->add(shape);
#pragma GCC diagnostic pop
    selection_of(doc)->select(css::uno::Any(shape));
}

void close_documents(const Reference<css::frame::XDesktop2>& desktop) {
    Reference<css::container::XEnumeration> all = desktop->getComponents()->createEnumeration();
    std::vector<Reference<css::util::XCloseable>> docs;
    while (all->hasMoreElements()) {
        Reference<css::util::XCloseable> doc(all->nextElement(), UNO_QUERY);
        if (doc.is()) docs.push_back(doc);
    }
    for (auto& doc : docs) {
        try {
            doc->close(true);
        } catch (const css::uno::Exception&) {
        }
    }
}

std::vector<ProcessState> processes() {
    std::vector<ProcessState> all;
    DIR* proc = opendir("/proc");
    if (!proc) return all;
    while (dirent* e = readdir(proc)) {
        ProcessState p;
        p.pid = static_cast<pid_t>(std::atoi(e->d_name));
        if (p.pid <= 0) continue;
        std::ifstream stat("/proc/" + std::string(e->d_name) + "/stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        // pid (comm) state ppid pgrp ...; comm may hold blanks.
        const auto close = line.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 1));
        rest >> p.state >> p.ppid >> p.pgrp;
        all.push_back(p);
    }
    closedir(proc);
    return all;
}

}  // namespace tolvane::testing
