#include "session/ending.h"

#include <iostream>

namespace tolvane {
namespace {

void to_journal(std::string_view text) {
    std::cerr << "tolvane: " << text << std::endl;
}

}  // namespace

EndingDialogs::Open::Open(EndingDialogs& d, std::string_view text, bool journalled) : d_(d) {
    d_.open_.emplace_back(std::string(text), journalled);
}

EndingDialogs::Open::~Open() {
    d_.open_.pop_back();
    if (d_.open_.empty()) d_.all_closed_();
}

void EndingDialogs::message(std::string_view text) {
    if (journal_) to_journal(text);
    if (unattended_) return;
    Open open(*this, text, journal_);
    to_.message(text);
}

bool EndingDialogs::ask_yes_no(std::string_view text) {
    if (unattended_) return false;
    Open open(*this, std::string(text) + " No", false);
    return to_.ask_yes_no(text);
}

void EndingDialogs::close_open_boxes() {
    for (auto& [text, journalled] : open_) {
        if (!std::exchange(journalled, true)) to_journal(text);
    }
    to_.close_open_boxes();
}

void EndingRules::ask(Kind kind) {
    if (began_) return;
    if (kind_ == Kind::none) {
        kind_ = kind;
        l_.stop();
    }
    if (!l_.held()) {
        run();
        return;
    }
    // A box waits for its answer.
    l_.cancel_send();
}

void EndingRules::signal() {
    signalled_ = true;
    l_.unattended();
    l_.cancel_send();
    ask(Kind::close);
}

void EndingRules::freed() {
    if (kind_ == Kind::none || began_ || l_.held()) return;
    l_.later([this] {
        if (!began_ && !l_.held()) run();
    });
}

void EndingRules::run() {
    began_ = true;
    l_.run(kind_);
    ended_ = true;
    l_.end(kind_);
}

}  // namespace tolvane
