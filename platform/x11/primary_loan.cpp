#include "platform/x11/primary_loan.h"

#include <memory>

#include "platform/pasteboard.h"

namespace lumora::x11 {

namespace {
// As long as the clipboard's loan: the paste has long been read by then.
constexpr double restoreDelay = 1.0;
}  // namespace

PrimaryLoan::PrimaryLoan(EventLoop& loop)
    : reader_(X11Connection::open(), "PRIMARY"),
      owner_(X11Connection::open(), "PRIMARY", [this] { ++changesElsewhere_; }),
      restore_(loop) {}

bool PrimaryLoan::lend(const std::string& text) {
    // Our earlier loan still out holds the reply, not the user's selection, which it kept.
    if (!restore_.isRunning() || changesElsewhere_ != lentAt_) saved_ = reader_.item();
    HeldItem reply{{platform::plainTextType, std::make_shared<const std::string>(text)}};
    lentAt_ = changesElsewhere_;
    if (!owner_.own(offeredTargets(reply))) {
        giveBack();
        return false;
    }
    served_ = std::move(reply);
    restore_.start(restoreDelay, [this] { giveBack(); });
    return true;
}

void PrimaryLoan::returnNow() {
    if (restore_.isRunning()) giveBack();
}

std::optional<HeldItem> PrimaryLoan::held() const {
    if (!owner_.owns() || served_.empty()) return std::nullopt;
    return served_;
}

void PrimaryLoan::giveBack() {
    restore_.stop();
    if (owner_.owns() && changesElsewhere_ == lentAt_ && owner_.own(offeredTargets(saved_))) {
        served_ = std::move(saved_);
    } else {
        served_.clear();
    }
    saved_.clear();
}

}  // namespace lumora::x11
