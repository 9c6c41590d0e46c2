#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/dialogs.h"

namespace tolvane {

// The window's message boxes. The ending waits while one is open. Once the
// ending began its messages also go to stderr (the session's journal); once
// a signal asked for it, messages go only there and questions are answered
// No, as nobody may be at the screen to answer them, and a signal never
// deletes data. A box that a signal closes unread leaves its text there too.
class EndingDialogs final : public Dialogs {
  public:
    EndingDialogs(Dialogs& to, std::function<void()> all_closed)
        : to_(to), all_closed_(std::move(all_closed)) {}
    void message(std::string_view text) override;
    bool ask_yes_no(std::string_view text) override;
    void close_open_boxes() override;

    int open() const { return static_cast<int>(open_.size()); }
    void journal() { journal_ = true; }
    void unattended() { journal_ = unattended_ = true; }

  private:
    struct Open {
        Open(EndingDialogs& d, std::string_view text, bool journalled);
        ~Open();
        EndingDialogs& d_;
    };
    Dialogs& to_;
    std::function<void()> all_closed_;
    // The open boxes' texts, and whether stderr has them.
    std::vector<std::pair<std::string, bool>> open_;
    bool journal_ = false;
    bool unattended_ = false;
};

// When the run ends. Closing, Exit and the signals end it alike, once, and
// never inside a box, the Clear question or a send: while one of them is
// open the ending is put off, and it runs as soon as the last one ends.
// From the first request on nothing new starts (no send, no timer, no port)
// and a send under way ends as if cancelled. A signal reaches the ending
// whatever is open: the boxes close as OK, a question as No.
class EndingRules {
  public:
    enum class Kind { none, close, exit };
    struct Links {
        // A box, a question or a send holds the window.
        std::function<bool()> held;
        // The first request: nothing may start from here on.
        std::function<void()> stop;
        // Ends a send under way as if cancelled.
        std::function<void()> cancel_send;
        // A signal: nobody is at the screen; the open boxes close.
        std::function<void()> unattended;
        // Runs `step` from the event loop, once the handler that calls this
        // has returned.
        std::function<void(std::function<void()>)> later;
        // The ending's own steps, of the kind first asked for; then what
        // ends the program.
        std::function<void(Kind)> run;
        std::function<void(Kind)> end;
    };

    explicit EndingRules(Links links) : l_(std::move(links)) {}

    void ask(Kind kind);
    // SIGTERM, SIGHUP, SIGINT or the session manager: a close with nobody
    // at the screen, also while the ending's own box is open.
    void signal();
    // A hold ended: a put-off ending may run now.
    void freed();

    // Nothing new may start.
    bool asked() const { return kind_ != Kind::none; }
    bool signalled() const { return signalled_; }
    bool began() const { return began_; }
    bool ended() const { return ended_; }

  private:
    void run();

    Links l_;
    Kind kind_ = Kind::none;
    bool signalled_ = false;
    bool began_ = false;
    bool ended_ = false;
};

}  // namespace tolvane
