#include "platform/x11/x11_screen_capture.h"

#include <xcb/composite.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <bit>
#include <cstdio>

#include "platform/linux/image_scaling.h"
#include "platform/linux/posix_child_process.h"

namespace lumora::x11 {

namespace {

// Error codes of captures; 1 is the connection's own (the display cannot be opened).
enum CaptureFailure {
    connectionLost = 2,
    notOnScreen,
    notViewable,
    refusedByServer,
    unreadablePixels,
};

constexpr const char* macRegionTool = "/usr/sbin/screencapture";
const std::vector<std::string> macRegionOptions = {"-x", "-i", "-s", "-T", "0"};

std::string windowName(WindowId window) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%x", window);
    return std::string("window ") + hex;
}

Error failure(CaptureFailure code, std::string description) {
    return Error(std::string(errorDomain), code, std::move(description));
}

Error lostConnection() {
    return failure(connectionLost, "The connection to the X display is lost.");
}

Error requestFailed(X11Connection& connection, WindowId window, const xcb_generic_error_t* error) {
    if (!connection.alive() || error == nullptr) return lostConnection();
    switch (error->error_code) {
        case XCB_WINDOW:
        case XCB_DRAWABLE:
            return failure(notOnScreen, "The " + windowName(window) + " has closed.");
        case XCB_MATCH:
            return failure(notViewable, "The " + windowName(window) + " is not viewable.");
        default:
            return failure(refusedByServer, "The X server refused to capture the " +
                                                windowName(window) + " (error " +
                                                std::to_string(error->error_code) + ").");
    }
}

// Without a compositing manager the X server keeps no pixels for the covered or off-screen
// parts of a window: GetImage gives black there, or fails with BadMatch. Redirecting the root's
// subwindows (Composite, automatic, so the server still paints the screen itself) gives every
// top-level window a pixmap of its own, kept up to date whatever lies on top of it, and GetImage
// on the window then reads that. A window that is already covered when the redirection begins
// has its covered part filled in once it repaints, which the server asks of it at once; so the
// port is best created before the windows it will capture. Where a compositing manager has
// redirected the windows already this changes nothing, and where the server lacks Composite
// captures show what is visible. The redirection lasts as long as the connection.
void keepWindowPixels(X11Connection& connection) {
    xcb_connection_t* raw = connection.raw();
    // An extension request to a server without the extension would close the connection.
    const xcb_query_extension_reply_t* composite = xcb_get_extension_data(raw, &xcb_composite_id);
    if (composite == nullptr || !composite->present) return;
    Reply<xcb_composite_query_version_reply_t> version(xcb_composite_query_version_reply(
        raw,
        xcb_composite_query_version(raw, XCB_COMPOSITE_MAJOR_VERSION, XCB_COMPOSITE_MINOR_VERSION),
        nullptr));
    if (!version) return;
    // Refused only when this connection has redirected them before; they are redirected then.
    Reply<xcb_generic_error_t> refused(
        xcb_request_check(raw, xcb_composite_redirect_subwindows_checked(
                                   raw, connection.root(), XCB_COMPOSITE_REDIRECT_AUTOMATIC)));
}

// How a window's pixels are laid out in a ZPixmap image.
struct PixelLayout {
    unsigned bytesPerPixel = 0;
    std::size_t rowBytes = 0;
    bool mostSignificantByteFirst = false;
    std::uint32_t masks[3] = {};
};

const xcb_visualtype_t* findVisual(const xcb_setup_t* setup, xcb_visualid_t id) {
    for (auto screens = xcb_setup_roots_iterator(setup); screens.rem; xcb_screen_next(&screens)) {
        for (auto depths = xcb_screen_allowed_depths_iterator(screens.data); depths.rem;
             xcb_depth_next(&depths)) {
            for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem;
                 xcb_visualtype_next(&visuals)) {
                if (visuals.data->visual_id == id) return visuals.data;
            }
        }
    }
    return nullptr;
}

const xcb_format_t* findFormat(const xcb_setup_t* setup, std::uint8_t depth) {
    for (auto formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem;
         xcb_format_next(&formats)) {
        if (formats.data->depth == depth) return formats.data;
    }
    return nullptr;
}

// Only true-colour visuals of whole bytes per pixel, which is what desktops use.
std::optional<PixelLayout> layoutOf(const xcb_setup_t* setup, const xcb_get_image_reply_t& image,
                                    std::uint32_t width) {
    const xcb_visualtype_t* visual = findVisual(setup, image.visual);
    const xcb_format_t* format = findFormat(setup, image.depth);
    if (visual == nullptr || format == nullptr ||
        (visual->_class != XCB_VISUAL_CLASS_TRUE_COLOR &&
         visual->_class != XCB_VISUAL_CLASS_DIRECT_COLOR) ||
        visual->red_mask == 0 || visual->green_mask == 0 || visual->blue_mask == 0 ||
        format->bits_per_pixel % 8 != 0 || format->bits_per_pixel < 16 ||
        format->scanline_pad == 0) {
        return std::nullopt;
    }
    std::size_t rowBits = std::size_t{width} * format->bits_per_pixel;
    std::size_t padBits = format->scanline_pad;
    return PixelLayout{
        .bytesPerPixel = format->bits_per_pixel / 8u,
        .rowBytes = (rowBits + padBits - 1) / padBits * padBits / 8,
        .mostSignificantByteFirst = setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST,
        .masks = {visual->red_mask, visual->green_mask, visual->blue_mask},
    };
}

std::uint32_t pixelAt(const std::uint8_t* bytes, const PixelLayout& layout) {
    std::uint32_t pixel = 0;
    for (unsigned index = 0; index < layout.bytesPerPixel; ++index) {
        unsigned byte = layout.mostSignificantByteFirst ? index : layout.bytesPerPixel - 1 - index;
        pixel = pixel << 8 | bytes[byte];
    }
    return pixel;
}

// The channel under `mask`, stretched to eight bits.
std::uint8_t channel(std::uint32_t pixel, std::uint32_t mask) {
    int shift = std::countr_zero(mask);
    std::uint64_t maximum = mask >> shift;
    return static_cast<std::uint8_t>(((pixel & mask) >> shift) * 255 / maximum);
}

// Opaque RGBA: a window's pixels have no alpha worth keeping, even in a 32-bit visual.
std::optional<platform::Image> rgbaFrom(const xcb_setup_t* setup, xcb_get_image_reply_t& reply,
                                        std::uint32_t width, std::uint32_t height) {
    std::optional<PixelLayout> layout = layoutOf(setup, reply, width);
    if (!layout ||
        static_cast<std::size_t>(xcb_get_image_data_length(&reply)) < layout->rowBytes * height) {
        return std::nullopt;
    }
    const std::uint8_t* data = xcb_get_image_data(&reply);
    platform::Image image{width, height, {}};
    image.rgba.reserve(std::size_t{width} * height * 4);
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t* row = data + y * layout->rowBytes;
        for (std::uint32_t x = 0; x < width; ++x) {
            std::uint32_t pixel = pixelAt(row + std::size_t{x} * layout->bytesPerPixel, *layout);
            for (std::uint32_t mask : layout->masks) image.rgba.push_back(channel(pixel, mask));
            image.rgba.push_back(255);
        }
    }
    return image;
}

}  // namespace

X11ScreenCapture::X11ScreenCapture(std::shared_ptr<X11Connection> connection)
    : connection_(std::move(connection)), windows_(connection_) {
    keepWindowPixels(*connection_);
}

void X11ScreenCapture::shareableWindows(
    std::function<void(platform::Outcome<std::vector<platform::ShareableWindow>>)> done) {
    if (!connection_->alive()) {
        done(lostConnection());
        return;
    }
    std::vector<platform::ShareableWindow> shareable;
    for (const platform::WindowInfo& window : windows_.onScreenWindows()) {
        shareable.push_back({*window.number, *window.bounds, 1});
    }
    done(std::move(shareable));
}

void X11ScreenCapture::captureWindow(std::uint32_t windowID, std::uint32_t width,
                                     std::uint32_t height,
                                     std::function<void(platform::Outcome<platform::Image>)> done) {
    platform::Outcome<platform::Image> picture = capture(windowID);
    if (auto* image = std::get_if<platform::Image>(&picture)) {
        picture = platform::scaledTo(*image, std::max<std::uint32_t>(width, 1),
                                     std::max<std::uint32_t>(height, 1));
    }
    done(std::move(picture));
}

platform::Outcome<platform::Image> X11ScreenCapture::capture(WindowId window) {
    if (!connection_->alive()) return lostConnection();
    std::vector<platform::WindowInfo> onScreen = windows_.onScreenWindows();
    auto found = std::find_if(onScreen.begin(), onScreen.end(),
                              [window](const auto& info) { return info.number == window; });
    if (found == onScreen.end()) {
        return failure(notOnScreen, "No " + windowName(window) + " is on screen.");
    }
    auto width = static_cast<std::uint16_t>(found->bounds->width);
    auto height = static_cast<std::uint16_t>(found->bounds->height);
    xcb_connection_t* raw = connection_->raw();
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_get_image_reply_t> reply(xcb_get_image_reply(
        raw, xcb_get_image(raw, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0, width, height, ~0u),
        &error));
    Reply<xcb_generic_error_t> imageError(error);
    if (!reply) return requestFailed(*connection_, window, imageError.get());
    std::optional<platform::Image> image = rgbaFrom(xcb_get_setup(raw), *reply, width, height);
    if (!image) {
        return failure(unreadablePixels, "The pixels of the " + windowName(window) +
                                             " are in a format Lumora cannot read.");
    }
    return std::move(*image);
}

std::unique_ptr<platform::ChildProcess> X11ScreenCapture::makeProcess(
    const std::string& executable, const std::vector<std::string>& arguments) {
    bool regionTool =
        executable == macRegionTool && arguments.size() == macRegionOptions.size() + 1 &&
        std::equal(macRegionOptions.begin(), macRegionOptions.end(), arguments.begin());
    if (regionTool) {
        return std::make_unique<platform::PosixChildProcess>(
            "maim", std::vector<std::string>{"--select", "--hidecursor", arguments.back()});
    }
    return std::make_unique<platform::PosixChildProcess>(executable, arguments);
}

}  // namespace lumora::x11
