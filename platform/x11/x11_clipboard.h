// The general pasteboard on X11: the CLIPBOARD selection, which is one item with many targets.
// What the helper writes is served by SelectionOwner's thread until another client takes the
// clipboard; reads convert from the current owner through SelectionReader, or answer from the
// helper's own item while it owns. The change count counts our writes and every change of
// owner another client makes, so that "has somebody else used the clipboard" can be asked of
// it.
#pragma once

#include <atomic>
#include <mutex>
#include <optional>

#include "platform/pasteboard.h"
#include "platform/x11/selection_owner.h"
#include "platform/x11/selection_reader.h"
#include "platform/x11/selection_targets.h"

namespace lumora::x11 {

class X11Clipboard final : public platform::Pasteboard {
  public:
    // Opens two connections of its own to the display DISPLAY names, one for the owner's
    // thread and one for reading. Throws lumora::Error (errorDomain, 1) when it cannot.
    X11Clipboard();

    long changeCount() override;
    std::size_t itemCount() override;
    std::vector<std::string> types(std::size_t item) override;
    std::optional<std::string> data(std::size_t item, const std::string& type) override;
    long clearContents() override;
    // Plain text into the one item, replacing the plain text it had.
    bool setString(const std::string& text) override;
    // The items written become the one item X has: each type keeps the bytes written last.
    bool writeItems(const std::vector<platform::PasteboardItem>& items) override;

    // What the helper serves while it owns the clipboard and it is not empty, for whoever is
    // to keep it once the helper is gone.
    std::optional<HeldItem> held();

  private:
    // What a write adds to: our item while we still own the clipboard, else nothing.
    HeldItem currentItem() const;
    // Serves `item` from now on; false when the clipboard could not be taken.
    bool serve(HeldItem item);

    std::mutex mutex_;  // one port call at a time; guards item_
    // What the helper serves while it owns the clipboard; none once it cleared it.
    std::optional<HeldItem> item_;
    // Bumped by our writes here and by the owner's thread for changes made elsewhere.
    std::atomic<long> changeCount_ = 0;
    SelectionReader reader_;
    SelectionOwner owner_;
};

}  // namespace lumora::x11
