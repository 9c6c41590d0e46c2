#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "link/reception_poll.h"
#include "platform/dialogs.h"
#include "platform/serial_control.h"
#include "platform/window_controls.h"

namespace tolvane {

std::string startup_locked_message(int16_t com_port);
inline constexpr const char* kMenuLockedMessage = "Com Port Is Locked.  Please Select Another.";
inline constexpr const char* kNotSelectedCaption = "Com Port Not Selected!";
// The journal's lines when a port closes with a block unfinished, and when
// the open port is lost.
std::string unfinished_block_message(size_t bytes);
std::string port_lost_message(int16_t com_port, size_t dropped_bytes);

// Opening the port at start-up and from the Com Port menu, the warning label
// and its blinking, and getting a lost port back.
class PortSelection {
  public:
    struct Links {
        SerialControl& com;
        Dialogs& dialogs;
        ReceptionPoll& poll;
        std::array<MenuItemControl*, 4> com_items;  // com1 .. com4
        LabelControl& lb_selectcom;
        TimerControl& tmr_main;
        TimerControl& tmr_mess;
        // Ticks every 500 ms while a lost port is being reopened.
        TimerControl& tmr_reopen;
        int16_t& com_port;
        bool& port_locked;
        // One line for the session's journal (standard error): a port lost,
        // a block dropped unfinished.
        std::function<void(const std::string&)> report;
    };

    // Takes over the serial control's lost-port notice.
    explicit PortSelection(Links links);

    void comstartup();
    // com1 .. com4 Click: port = 1 .. 4.
    void com_click(int16_t port);
    void comsetup();
    void tmr_mess_timer();

    // Closes the open port, having handled every byte it received. The line
    // gets up to ReceptionPoll::kEndWait to fall quiet, so that neither a
    // block arriving nor one the kernel has not handed on yet is cut; one
    // still unfinished then is dropped and reported. Before a port change, closing
    // the window, Exit, a signal.
    void close_port();

    // An open port was lost: keep the blocks it received (an unfinished one
    // can never end: it is dropped), stop the poll, warn without a box
    // (nobody may be watching) but in the journal, and keep trying to reopen
    // it.
    void port_lost();
    void tmr_reopen_timer();

    // The program is ending: no port opens any more, also not at the end of
    // a choice whose closing step ran a send meanwhile.
    void open_no_more() { open_no_more_ = true; }

    int16_t menu_port() const { return menu_port_; }

  private:
    bool open(int16_t port);
    void set_check_marks(int16_t port);
    // The port com_port is open again after a choice or a loss: poll on,
    // warning off, its check mark set, no more retrying.
    void opened();

    Links l_;
    int16_t menu_port_ = 0;
    bool open_no_more_ = false;
};

}  // namespace tolvane
