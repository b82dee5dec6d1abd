// The real Linux desktop: accessibility over AT-SPI, the workspace, windows and their pixels
// over X11, permissions that follow what works, and the system facts of this machine. What it
// does not drive yet answers as a missing service does. Owns every connection it opens.
#pragma once

#include <memory>

#include "platform/ports.h"
#include "runtime/event_loop.h"

namespace lumora::x11 {

class X11Desktop {
  public:
    // Throws lumora::Error naming the display when the X server does not answer. The keyboard's
    // tap handlers run on `mainLoop`, which must outlive the desktop and run nothing once it is
    // gone.
    static std::unique_ptr<X11Desktop> open(EventLoop& mainLoop);
    ~X11Desktop();

    platform::Accessibility& accessibility();
    platform::Workspace& workspace();
    platform::Windows& windows();
    platform::ScreenCapture& screenCapture();
    platform::Permissions& permissions();
    platform::Keyboard& keyboard();
    platform::Pasteboard& pasteboard();
    platform::Audio& audio();
    platform::Speech& speech();
    // The assistant's ports: this desktop's, with the services it does not provide beside.
    platform::Ports ports(platform::TextRecognition& textRecognition, platform::Images& images,
                          platform::AudioConversion& audioConversion);
    // At exit, once nothing posts keys any more: a PRIMARY still lent comes back, and the
    // selections the helper holds pass to a clipboard manager or the clipboard keeper, so that
    // what the user copied outlives the helper.
    void handOnSelections();

  private:
    struct Services;
    explicit X11Desktop(std::unique_ptr<Services> services);
    std::unique_ptr<Services> services_;
};

}  // namespace lumora::x11
