#include "uno/uno_spreadsheet_server.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/connection/Connector.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <com/sun/star/util/XProtectable.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <cppuhelper/exc_hlp.hxx>
#include <rtl/bootstrap.hxx>
#include <rtl/ustring.hxx>

extern char** environ;

namespace tolvane {

namespace uno = com::sun::star::uno;
namespace frame = com::sun::star::frame;
namespace sheet = com::sun::star::sheet;
namespace table = com::sun::star::table;
using rtl::OUString;
using uno::Reference;
using uno::UNO_QUERY;
using uno::UNO_QUERY_THROW;

namespace {

constexpr const char* kName = "LibreOffice Calc";

std::string utf8(const OUString& s) {
    const rtl::OString o = rtl::OUStringToOString(s, RTL_TEXTENCODING_UTF8);
    return std::string(o.getStr(), static_cast<size_t>(o.getLength()));
}

OUString ustr(const std::string& s) {
    return rtl::OStringToOUString(rtl::OString(s.c_str(), static_cast<sal_Int32>(s.size())),
                                  RTL_TEXTENCODING_UTF8);
}

// A reason for the user from the exception being handled.
std::string uno_reason(const uno::Exception& e) {
    std::string message = utf8(e.Message);
    // The office appends where it threw ("at ./sc/source/...:4962").
    for (const char* tail : {"at ./", "at /"}) {
        if (auto at = message.find(tail); at != std::string::npos) message.resize(at);
    }
    while (!message.empty() && message.back() == ' ')
        message.pop_back();
    if (message.empty()) {
        message = std::string(kName) + " reported an error (" +
                  utf8(cppu::getCaughtException().getValueTypeName()) + ")";
    }
    return message;
}

// Runs one step: every exception ends as a failure with a readable reason.
template <class Step>
Status guarded(Step&& step) {
    try {
        return step();
    } catch (const com::sun::star::lang::DisposedException&) {
        return Status::failure(std::string(kName) + " was closed or the connection to it was lost");
    } catch (const uno::Exception& e) {
        return Status::failure(uno_reason(e));
    } catch (const cppu::BootstrapException& e) {
        return Status::failure("UNO could not be started: " + utf8(e.getMessage()));
    } catch (const std::exception& e) {
        return Status::failure(e.what());
    } catch (...) {
        return Status::failure("unknown error");
    }
}

// The process-local UNO context, made once. The office's libraries find their
// configuration through URE_BOOTSTRAP; without it the remote Desktop cannot be
// made.
Reference<uno::XComponentContext> local_context() {
    static std::once_flag once;
    static Reference<uno::XComponentContext> context;
    std::call_once(once, [] {
        // A write to an office that went away must fail, not end the program.
        std::signal(SIGPIPE, SIG_IGN);
        if (std::getenv("URE_BOOTSTRAP") == nullptr) {
            rtl::Bootstrap::set("URE_BOOTSTRAP",
                                "vnd.sun.star.pathname:" TOLVANE_LO_PROGRAM_DIR "/fundamentalrc");
        }
        context = cppu::defaultBootstrap_InitialComponentContext();
    });
    if (!context.is()) throw std::runtime_error("UNO could not be started");
    return context;
}

Reference<sheet::XSpreadsheetDocument> new_spreadsheet(const Reference<frame::XDesktop2>& desktop) {
    Reference<frame::XComponentLoader> loader(desktop, UNO_QUERY_THROW);
    Reference<sheet::XSpreadsheetDocument> doc(
        loader->loadComponentFromURL(ustr("private:factory/scalc"), ustr("_default"), 0,
                                     uno::Sequence<com::sun::star::beans::PropertyValue>()),
        UNO_QUERY);
    if (!doc.is()) throw std::runtime_error("no new spreadsheet document could be opened");
    return doc;
}

// How the launcher ended, once it has: a thread waits for it so that it never
// lingers as a zombie, however long the office runs.
struct LauncherExit {
    std::atomic<bool> ended{false};
    int status = 0;
};

std::shared_ptr<LauncherExit> watch(pid_t pid) {
    auto state = std::make_shared<LauncherExit>();
    std::thread([pid, state] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        state->status = status;
        state->ended.store(true, std::memory_order_release);
    }).detach();
    return state;
}

std::string describe_exit(int status) {
    if (WIFEXITED(status))
        return "it ended with exit status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return "it was ended by signal " + std::to_string(WTERMSIG(status));
    return "it ended";
}

// Starts the launcher in a session of its own, with no terminal and no
// inherited output, and the signal handling a fresh program has.
Status spawn_detached(const std::vector<std::string>& args, pid_t& pid) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t files;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&files);
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    const int err = posix_spawnp(&pid, argv[0], &files, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&files);
    if (err != 0) return Status::failure(args[0] + ": " + std::strerror(err));
    return Status::success();
}

}  // namespace

std::string uno_pipe_from_environment() {
    const char* pipe = std::getenv("TOLVANE_UNO_PIPE");
    return pipe && *pipe ? pipe : "tolvane";
}

struct UnoSpreadsheetServer::Impl {
    Options options;
    Reference<frame::XDesktop2> desktop;
    Reference<frame::XController> controller;
    Reference<sheet::XSpreadsheet> sheet;

    // The bridge to the office, reachable from abandon() on another thread:
    // disposing it makes a call that waits on the office return at once.
    std::mutex bridge_mutex;
    Reference<com::sun::star::lang::XComponent> bridge;
    bool abandoned = false;
    std::atomic<bool> stop_waiting{false};

    // A connection of its own (not the resolver's shared one), so that it
    // can be broken off.
    Reference<frame::XDesktop2> connect(const std::string& pipe) {
        const Reference<uno::XComponentContext> local = local_context();
        Reference<com::sun::star::connection::XConnection> connection =
            com::sun::star::connection::Connector::create(local)->connect(
                ustr("pipe,name=" + pipe));
        Reference<com::sun::star::bridge::XBridge> made =
            com::sun::star::bridge::BridgeFactory::create(local)->createBridge(
                OUString(), ustr("urp"), connection, nullptr);
        Reference<com::sun::star::lang::XComponent> component(made, UNO_QUERY_THROW);
        {
            std::lock_guard<std::mutex> lock(bridge_mutex);
            if (abandoned) {
                component->dispose();
                throw std::runtime_error("the connection was broken off");
            }
            bridge = component;
        }
        Reference<uno::XComponentContext> remote(
            made->getInstance(ustr("StarOffice.ComponentContext")), UNO_QUERY);
        if (!remote.is())
            throw std::runtime_error("the office did not hand out its component context");
        return frame::Desktop::create(remote);
    }

    // Drops the bridge; returns it so that it is disposed outside the lock.
    Reference<com::sun::star::lang::XComponent> take_bridge() {
        std::lock_guard<std::mutex> lock(bridge_mutex);
        Reference<com::sun::star::lang::XComponent> b = bridge;
        bridge.clear();
        return b;
    }

    // A call that was broken off before it began: abandon() may come from
    // the waiting thread before this one got here, and is never undone.
    bool broken_off() {
        std::lock_guard<std::mutex> lock(bridge_mutex);
        return abandoned;
    }

    Status need_sheet() const {
        if (!sheet.is() || !controller.is())
            return Status::failure("no sheet has been taken from " + std::string(kName));
        return Status::success();
    }
};

UnoSpreadsheetServer::UnoSpreadsheetServer() : UnoSpreadsheetServer(Options{}) {}

UnoSpreadsheetServer::UnoSpreadsheetServer(Options options) : impl_(std::make_unique<Impl>()) {
    impl_->options = std::move(options);
}

UnoSpreadsheetServer::~UnoSpreadsheetServer() {
    release();
}

std::string UnoSpreadsheetServer::display_name() const {
    return kName;
}

Status UnoSpreadsheetServer::attach() {
    release();
    if (impl_->broken_off()) return Status::failure("the connection was broken off");
    return guarded([&] {
        try {
            impl_->desktop = impl_->connect(impl_->options.pipe);
        } catch (const com::sun::star::connection::NoConnectException&) {
            return Status::failure("no " + std::string(kName) + " listens on the pipe \"" +
                                   impl_->options.pipe + "\"");
        }
        return Status::success();
    });
}

Status UnoSpreadsheetServer::create() {
    release();
    if (impl_->broken_off()) return Status::failure("the start was broken off");
    const Options& o = impl_->options;
    pid_t pid = 0;
    if (Status s =
            spawn_detached({o.launcher, "--norestore",
                            "--accept=pipe,name=" + o.pipe + ";urp;StarOffice.ComponentContext"},
                           pid);
        !s.ok()) {
        return s;
    }
    const std::shared_ptr<LauncherExit> launcher = watch(pid);

    const auto deadline = std::chrono::steady_clock::now() + o.start_timeout;
    std::string last_problem = "it did not answer";
    for (;;) {
        const Status connected = guarded([&] {
            impl_->desktop = impl_->connect(o.pipe);
            return Status::success();
        });
        if (connected.ok()) break;
        // Given up: a launcher still running is stuck, handing the request
        // to an office that does not answer, or starting one that never
        // will. It goes, so that launchers do not pile up with every try.
        const bool out_of_time = std::chrono::steady_clock::now() >= deadline;
        if ((impl_->stop_waiting.load() || out_of_time) &&
            !launcher->ended.load(std::memory_order_acquire)) {
            kill(-pid, SIGTERM);
        }
        if (impl_->stop_waiting.load()) return Status::failure("the start was broken off");
        last_problem = connected.reason();
        // The launcher exits at once when it hands the request to an office
        // that already runs (status 0), and with an error when it cannot start
        // one: then waiting longer is pointless.
        if (launcher->ended.load(std::memory_order_acquire) && launcher->status != 0) {
            return Status::failure(
                o.launcher + " could not start an office: " + describe_exit(launcher->status));
        }
        if (out_of_time) {
            return Status::failure(
                "the office started with " + o.launcher + " did not answer on the pipe \"" +
                o.pipe + "\" within " +
                std::to_string(
                    std::chrono::duration_cast<std::chrono::seconds>(o.start_timeout).count()) +
                "\u00a0s (" + last_problem + ")");
        }
        std::this_thread::sleep_for(o.retry_interval);
    }
    // The office may have been running already, with the user's documents:
    // the launcher then only handed it the pipe. Its active spreadsheet is
    // the one to write into; active_sheet() opens a new one only when there
    // is none to offer.
    return Status::success();
}

Status UnoSpreadsheetServer::active_sheet(CellPosition& last_cell) {
    return guarded([&] {
        if (!impl_->desktop.is()) return Status::failure("not connected to " + std::string(kName));
        // Looked up at every send: the user may have switched or closed
        // documents since the last one.
        Reference<sheet::XSpreadsheetDocument> doc(impl_->desktop->getCurrentComponent(),
                                                   UNO_QUERY);
        // The Start Center, no document, or one of another kind: a new
        // spreadsheet takes its place.
        if (!doc.is()) doc = new_spreadsheet(impl_->desktop);

        Reference<frame::XModel> model(doc, UNO_QUERY_THROW);
        Reference<frame::XController> controller = model->getCurrentController();
        Reference<sheet::XSpreadsheetView> view(controller, UNO_QUERY);
        if (!view.is()) return Status::failure("the spreadsheet document has no window");
        Reference<sheet::XSpreadsheet> active = view->getActiveSheet();
        Reference<sheet::XCellRangeAddressable> whole(active, UNO_QUERY);
        if (!whole.is()) return Status::failure("the document has no active sheet");
        const table::CellRangeAddress extent = whole->getRangeAddress();
        last_cell = {extent.EndRow + 1, extent.EndColumn + 1};
        impl_->controller = controller;
        impl_->sheet = active;
        return Status::success();
    });
}

Status UnoSpreadsheetServer::active_cell(CellPosition& cell) {
    return guarded([&] {
        if (Status s = impl_->need_sheet(); !s.ok()) return s;
        Reference<com::sun::star::view::XSelectionSupplier> selection(impl_->controller,
                                                                      UNO_QUERY_THROW);
        Reference<uno::XInterface> selected(selection->getSelection(), UNO_QUERY);
        // A cell is a range of one; of several ranges the first counts.
        if (Reference<sheet::XCellRangeAddressable> range{selected, UNO_QUERY}; range.is()) {
            const table::CellRangeAddress a = range->getRangeAddress();
            cell = {a.StartRow + 1, a.StartColumn + 1};
            return Status::success();
        }
        if (Reference<sheet::XSheetCellRanges> ranges{selected, UNO_QUERY}; ranges.is()) {
            const uno::Sequence<table::CellRangeAddress> all = ranges->getRangeAddresses();
            if (all.getLength() > 0) {
                cell = {all[0].StartRow + 1, all[0].StartColumn + 1};
                return Status::success();
            }
        }
        return Status::failure(
            "the selection is not a cell but an object such as a drawing or chart; select a cell");
    });
}

Status UnoSpreadsheetServer::set_values(CellPosition first, FillDirection direction,
                                        std::span<const double> values) {
    if (values.empty()) return Status::success();
    return guarded([&] {
        if (Status s = impl_->need_sheet(); !s.ok()) return s;
        const sal_Int32 n = static_cast<sal_Int32>(values.size());
        const bool down = direction == FillDirection::down;
        const sal_Int32 rows = down ? n : 1;
        const sal_Int32 cols = down ? 1 : n;
        uno::Sequence<uno::Sequence<uno::Any>> data(rows);
        uno::Sequence<uno::Any>* row = data.getArray();
        for (sal_Int32 r = 0; r < rows; ++r) {
            row[r].realloc(cols);
            uno::Any* cell = row[r].getArray();
            for (sal_Int32 c = 0; c < cols; ++c)
                cell[c] <<= values[static_cast<size_t>(down ? r : c)];
        }
        // One call for the run: the cells end up as if written one by one,
        // and a protected or vanished sheet refuses the whole run.
        Reference<table::XCellRange> run = impl_->sheet->getCellRangeByPosition(
            first.col - 1, first.row - 1, first.col - 1 + cols - 1, first.row - 1 + rows - 1);
        Reference<sheet::XCellRangeData> target(run, UNO_QUERY_THROW);
        try {
            target->setDataArray(data);
        } catch (const uno::RuntimeException&) {
            // The office says nothing about why; protection is the usual cause.
            Reference<com::sun::star::util::XProtectable> lock(impl_->sheet, UNO_QUERY);
            if (lock.is() && lock->isProtected())
                return Status::failure("the sheet is protected against changes");
            throw;
        }
        return Status::success();
    });
}

Status UnoSpreadsheetServer::select(CellPosition cell) {
    return guarded([&] {
        if (Status s = impl_->need_sheet(); !s.ok()) return s;
        Reference<table::XCell> target =
            impl_->sheet->getCellByPosition(cell.col - 1, cell.row - 1);
        Reference<com::sun::star::view::XSelectionSupplier> selection(impl_->controller,
                                                                      UNO_QUERY_THROW);
        if (!selection->select(uno::Any(target)))
            return Status::failure("the cell was not selected");
        return Status::success();
    });
}

void UnoSpreadsheetServer::release() {
    // Dropping a reference to an office that is gone must not throw either.
    try {
        impl_->sheet.clear();
        impl_->controller.clear();
        impl_->desktop.clear();
        if (Reference<com::sun::star::lang::XComponent> bridge = impl_->take_bridge(); bridge.is())
            bridge->dispose();
    } catch (...) {
    }
}

void UnoSpreadsheetServer::abandon() {
    Reference<com::sun::star::lang::XComponent> bridge;
    {
        std::lock_guard<std::mutex> lock(impl_->bridge_mutex);
        impl_->abandoned = true;
        impl_->stop_waiting.store(true);
        bridge = impl_->bridge;
        impl_->bridge.clear();
    }
    try {
        if (bridge.is()) bridge->dispose();
    } catch (...) {
    }
}

}  // namespace tolvane
