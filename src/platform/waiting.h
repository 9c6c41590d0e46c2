#pragma once

#include <chrono>
#include <future>
#include <string>

namespace tolvane {

// How the program waits for work that runs on another thread (a call into
// the spreadsheet application): the window stays alive meanwhile, takes no
// other command, and after a moment shows what it waits for, with Cancel.
class Waiting {
  public:
    enum class Outcome { finished, deadline_passed, cancelled };

    virtual ~Waiting() = default;

    // Until `job` is ready, `deadline` passes or the user cancels. Waits of
    // one errand follow each other until end(); the progress window, once
    // shown, stays up for the rest of the errand and then says `what`. A
    // Cancel holds for every later wait of the send, and a wait that ends
    // for any reason but its job's end (the program quitting) counts as one.
    // An uncancellable wait ends only with its job or its deadline: for a
    // call that was broken off to come back.
    virtual Outcome wait(const std::shared_future<void>& job,
                         std::chrono::steady_clock::time_point deadline, const std::string& what,
                         bool cancellable = true) = 0;
    // The errand is over: the progress window goes. A Cancel stays until the
    // whole send is over: no later step may run after it.
    virtual void end() = 0;
    // The user (or the program's ending) cancelled the send under way.
    virtual bool cancelled() const = 0;
};

}  // namespace tolvane
