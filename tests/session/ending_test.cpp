#include "session/ending.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "fakes/fake_controls.h"

namespace tolvane {
namespace {

using Kind = EndingRules::Kind;

const char* name(Kind kind) {
    return kind == Kind::exit ? "exit" : kind == Kind::close ? "close" : "none";
}

// The ending wired as the main window wires it: the boxes hold it, a send
// may hold it, and "later" is an event loop the test turns by hand.
struct EndingRig {
    testing::FakeDialogs screen;
    std::vector<std::string> steps;
    std::deque<std::function<void()>> event_loop;
    int sending = 0;
    EndingDialogs boxes{screen, [this] { rules.freed(); }};
    EndingRules rules{EndingRules::Links{
        [this] { return boxes.open() > 0 || sending > 0; },
        [this] { steps.push_back("stop"); },
        [this] { steps.push_back("cancel send"); },
        [this] {
            boxes.unattended();
            boxes.close_open_boxes();
        },
        [this](std::function<void()> step) { event_loop.push_back(std::move(step)); },
        [this](Kind kind) { steps.push_back(std::string("run ") + name(kind)); },
        [this](Kind kind) { steps.push_back(std::string("end ") + name(kind)); }}};

    void turn_event_loop() {
        while (!event_loop.empty()) {
            auto step = std::move(event_loop.front());
            event_loop.pop_front();
            step();
        }
    }
};

// What goes to stderr meanwhile.
struct Journal {
    std::ostringstream text;
    std::streambuf* old = std::cerr.rdbuf(text.rdbuf());
    ~Journal() { std::cerr.rdbuf(old); }
};

TEST(Ending, AskedDuringABoxWaitsForItAndRunsOnceOfTheFirstKind) {
    EndingRig rig;
    rig.screen.while_open = [&rig] {
        rig.rules.ask(Kind::exit);
        rig.rules.ask(Kind::close);
        EXPECT_TRUE(rig.rules.asked());
        EXPECT_FALSE(rig.rules.began());
    };
    rig.boxes.message("The port was lost.");
    // Nothing new started from the request on, and the ending waits for
    // the event loop, not inside the box's own handler.
    EXPECT_EQ(rig.steps, (std::vector<std::string>{"stop", "cancel send", "cancel send"}));
    rig.screen.while_open = nullptr;
    rig.turn_event_loop();
    EXPECT_EQ(rig.steps, (std::vector<std::string>{"stop", "cancel send", "cancel send",
                                                   "run exit", "end exit"}));
    EXPECT_TRUE(rig.rules.ended());
    rig.rules.ask(Kind::close);
    rig.rules.signal();
    rig.turn_event_loop();
    EXPECT_EQ(std::count(rig.steps.begin(), rig.steps.end(), "run exit"), 1);
    EXPECT_EQ(std::count_if(rig.steps.begin(), rig.steps.end(),
                            [](const std::string& s) { return s.ends_with("close"); }),
              0);
}

TEST(Ending, PutOffByASendRunsWhenTheSendEnds) {
    EndingRig rig;
    rig.sending = 1;
    rig.rules.ask(Kind::close);
    rig.rules.freed();  // a box closed, but the send still holds
    rig.turn_event_loop();
    EXPECT_FALSE(rig.rules.began());
    rig.sending = 0;
    rig.rules.freed();
    rig.turn_event_loop();
    EXPECT_EQ(rig.steps, (std::vector<std::string>{"stop", "cancel send", "run close", "end close"}));
}

TEST(Ending, ASignalWhileAQuestionIsOpenClosesItAndAsksNobodyAgain) {
    EndingRig rig;
    Journal journal;
    rig.screen.while_open = [&rig] { rig.rules.signal(); };
    rig.boxes.ask_yes_no("Clear the list?");
    EXPECT_TRUE(rig.rules.signalled());
    EXPECT_EQ(rig.screen.closes, 1);
    // Closed unread, the question leaves its text and its answer.
    EXPECT_EQ(journal.text.str(), "tolvane: Clear the list? No\n");
    rig.screen.while_open = nullptr;
    rig.turn_event_loop();
    EXPECT_EQ(rig.steps.back(), "end close");
    // Nobody is at the screen any more: a question is No without a box, a
    // message goes only to the journal.
    EXPECT_FALSE(rig.boxes.ask_yes_no("Delete the records?"));
    rig.boxes.message("com.dat could not be saved.");
    EXPECT_EQ(rig.screen.questions, std::vector<std::string>{"Clear the list?"});
    EXPECT_TRUE(rig.screen.messages.empty());
    EXPECT_EQ(journal.text.str(),
              "tolvane: Clear the list? No\ntolvane: com.dat could not be saved.\n");
}

}  // namespace
}  // namespace tolvane
