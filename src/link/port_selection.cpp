#include "link/port_selection.h"

namespace tolvane {

std::string startup_locked_message(int16_t com_port) {
    return "Com Port " + std::to_string(com_port) + " Is Locked.  Please Select Another.";
}

std::string unfinished_block_message(size_t bytes) {
    return "The port closed while a block was arriving; its " + std::to_string(bytes) +
           (bytes == 1 ? " byte was" : " bytes were") +
           " dropped (a block is recorded whole or not at all).";
}

std::string port_lost_message(int16_t com_port, size_t dropped_bytes) {
    std::string text = "Com Port " + std::to_string(com_port) +
                       " was lost; it opens again as soon as it is back.";
    if (dropped_bytes > 0)
        text += " An unfinished block (" + std::to_string(dropped_bytes) +
                (dropped_bytes == 1 ? " byte" : " bytes") + ") was dropped.";
    return text;
}

PortSelection::PortSelection(Links links) : l_(links) {
    l_.com.set_lost_handler([this] { port_lost(); });
}

bool PortSelection::open(int16_t port) {
    if (open_no_more_) return false;
    if (!l_.com.set_comm_port(port).ok()) return false;
    if (!l_.com.set_port_open(true).ok()) return false;
    l_.poll.port_opened(l_.com.opened_at());
    return true;
}

void PortSelection::close_port() {
    if (l_.com.port_open()) {
        l_.poll.let_line_fall_quiet();
        l_.com.set_port_open(false);
    }
    const size_t dropped = l_.poll.take_remaining_input();
    if (dropped > 0 && l_.report) l_.report(unfinished_block_message(dropped));
}

void PortSelection::set_check_marks(int16_t port) {
    for (int16_t i = 0; i < 4; ++i)
        l_.com_items[i]->set_checked(port == i + 1);
}

void PortSelection::comstartup() {
    if (l_.com.port_open()) l_.com.set_port_open(false);
    if (!open(l_.com_port)) {
        l_.dialogs.message(startup_locked_message(l_.com_port));
        l_.port_locked = true;
        l_.lb_selectcom.set_caption(kNotSelectedCaption);
        l_.tmr_mess.set_enabled(true);
        return;
    }
    l_.port_locked = false;
    if (l_.com_port >= 1 && l_.com_port <= 4) l_.com_items[l_.com_port - 1]->set_checked(true);
    l_.tmr_main.set_enabled(true);
}

void PortSelection::com_click(int16_t port) {
    menu_port_ = port;
    comsetup();
}

void PortSelection::comsetup() {
    l_.tmr_main.set_enabled(false);
    close_port();
    l_.port_locked = true;
    if (open_no_more_) return;
    if (!open(menu_port_)) {
        l_.dialogs.message(kMenuLockedMessage);
        return;
    }
    l_.com_port = menu_port_;
    opened();
}

void PortSelection::tmr_mess_timer() {
    l_.lb_selectcom.set_visible(!l_.lb_selectcom.visible());
}

void PortSelection::port_lost() {
    l_.port_locked = true;
    l_.tmr_main.set_enabled(false);
    const size_t dropped = l_.poll.take_remaining_input();
    if (l_.report) l_.report(port_lost_message(l_.com_port, dropped));
    l_.lb_selectcom.set_caption(kNotSelectedCaption);
    l_.tmr_mess.set_enabled(true);
    l_.tmr_reopen.set_enabled(true);
}

void PortSelection::tmr_reopen_timer() {
    if (open(l_.com_port)) opened();
}

void PortSelection::opened() {
    l_.port_locked = false;
    l_.tmr_reopen.set_enabled(false);
    l_.tmr_mess.set_enabled(false);
    l_.lb_selectcom.set_visible(false);
    set_check_marks(l_.com_port);
    l_.tmr_main.set_enabled(true);
}

}  // namespace tolvane
