#include "link/port_selection.h"

namespace tolvane {

std::string startup_locked_message(int16_t com_port) {
    return "Com Port " + std::to_string(com_port) + " Is Locked.  Please Select Another.";
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
    if (l_.com.port_open()) l_.com.set_port_open(false);
    l_.poll.take_remaining_input();
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
    l_.poll.take_remaining_input();
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
