// The general pasteboard as the assistant uses it, on both desktops: what we write reads back
// type by type and byte for byte, here and in another application, and the change count follows
// our writes and another application's. On the real desktop also: the targets other X clients
// find and the marks of a transient reply, and owners or requestors that hang or vanish.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/sim/sim_desktop.h"
#include "tests/platform/contract/desktop_world.h"
#include "tests/support/test_desktop.h"

namespace lumora::contract {
namespace {

using platform::plainTextType;
using test_support::TestDesktop;
using Clock = std::chrono::steady_clock;
using Types = std::vector<std::string>;

// Polls `done` for a few seconds: another application's copy reaches the real desktop's change
// count as an X event.
template <class Predicate>
bool eventually(Predicate done) {
    auto deadline = Clock::now() + std::chrono::seconds(5);
    while (!done()) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// Bytes no text encoding accepts, NUL included, and long enough that X sends them in chunks.
std::string binary(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t index = 0; index < size; ++index) {
        bytes[index] = static_cast<char>((index * 7 + index / 251) % 256);
    }
    return bytes;
}

// Another application copying and pasting on the same desktop: a second port onto the
// simulated pasteboard, or another X client (xclip), which names plain text UTF8_STRING.
class OtherApplication {
  public:
    explicit OtherApplication(DesktopWorld& world) : world_(world) {}

    void copy(const std::string& type, const std::string& bytes) {
        if (sim::SimDesktop* simulated = world_.simulated()) {
            platform::Pasteboard& pasteboard = simulated->anotherApplicationsPasteboard();
            pasteboard.clearContents();
            pasteboard.writeItems({{{type, bytes}}});
        } else {
            TestDesktop::shared().copyToClipboard(targetOf(type), bytes);
        }
    }
    std::optional<std::string> paste(const std::string& type) {
        if (sim::SimDesktop* simulated = world_.simulated()) {
            return simulated->anotherApplicationsPasteboard().data(0, type);
        }
        return TestDesktop::shared().pasteFromClipboard(targetOf(type));
    }

  private:
    static std::string targetOf(const std::string& type) {
        return type == plainTextType ? "UTF8_STRING" : type;
    }
    DesktopWorld& world_;
};

template <class World>
class PasteboardContract : public ::testing::Test {
  protected:
    // The user's editor in front, as when the assistant copies or pastes.
    void SetUp() override { world->openEditors({"A note."}); }
    platform::Pasteboard& pasteboard() { return world->pasteboard(); }

    std::unique_ptr<DesktopWorld> world = makeWorld<World>();
    OtherApplication other{*world};
};

TYPED_TEST_SUITE(PasteboardContract, Worlds);

TYPED_TEST(PasteboardContract, WhatWeWriteReadsBackTypeByTypeHereAndInAnotherApplication) {
    platform::Pasteboard& pasteboard = this->pasteboard();
    const std::string text = "Dear Ada, caf\u00e9 \U0001F600\nsecond line";
    const std::string html = "<p>Dear <b>Ada</b></p>";
    const std::string small = binary(300);
    const std::string large = binary(1 << 20);
    const long before = pasteboard.changeCount();

    EXPECT_EQ(pasteboard.clearContents(), before + 1);
    EXPECT_EQ(pasteboard.itemCount(), 0u);
    ASSERT_TRUE(pasteboard.writeItems({{{plainTextType, text},
                                        {"public.html", html},
                                        {"com.example.small", small},
                                        {"com.example.large", large}}}));
    EXPECT_EQ(pasteboard.changeCount(), before + 2);
    ASSERT_EQ(pasteboard.itemCount(), 1u);
    EXPECT_EQ(pasteboard.types(0),
              (Types{plainTextType, "public.html", "com.example.small", "com.example.large"}));
    EXPECT_EQ(pasteboard.data(0, plainTextType), text);
    EXPECT_EQ(pasteboard.data(0, "public.html"), html);
    EXPECT_EQ(pasteboard.data(0, "com.example.small"), small);
    EXPECT_TRUE(pasteboard.data(0, "com.example.large") == large);
    EXPECT_EQ(pasteboard.data(0, "public.rtf"), std::nullopt);

    EXPECT_EQ(this->other.paste(plainTextType), text);
    EXPECT_EQ(this->other.paste("public.html"), html);
    EXPECT_EQ(this->other.paste("com.example.small"), small);
    EXPECT_TRUE(this->other.paste("com.example.large") == large);

    // The plain text is replaced; the other types stay.
    ASSERT_TRUE(pasteboard.setString("Fresh"));
    EXPECT_EQ(pasteboard.changeCount(), before + 3);
    EXPECT_EQ(pasteboard.data(0, plainTextType), "Fresh");
    EXPECT_EQ(this->other.paste(plainTextType), "Fresh");
    EXPECT_EQ(this->other.paste("public.html"), html);
}

TYPED_TEST(PasteboardContract, AnotherApplicationsCopyBumpsTheCountAndReadsBackByteForByte) {
    platform::Pasteboard& pasteboard = this->pasteboard();
    ASSERT_TRUE(pasteboard.setString("Ours"));
    const std::string text = "Copied elsewhere: na\u00efve \U0001F680";
    const std::string bytes = binary(200 * 1024);

    long ours = pasteboard.changeCount();
    this->other.copy(plainTextType, text);
    ASSERT_TRUE(eventually([&] { return pasteboard.changeCount() > ours; }));
    ASSERT_EQ(pasteboard.itemCount(), 1u);
    EXPECT_EQ(pasteboard.types(0), Types{plainTextType});
    EXPECT_EQ(pasteboard.data(0, plainTextType), text);

    long first = pasteboard.changeCount();
    this->other.copy("com.example.binary", bytes);
    ASSERT_TRUE(eventually([&] { return pasteboard.changeCount() > first; }));
    EXPECT_EQ(pasteboard.types(0), Types{"com.example.binary"});
    EXPECT_TRUE(pasteboard.data(0, "com.example.binary") == bytes);
    EXPECT_EQ(pasteboard.data(0, plainTextType), std::nullopt);
}

class RealPasteboard : public ::testing::Test {
  protected:
    std::unique_ptr<DesktopWorld> world = makeWorld<X11World>();
    platform::Pasteboard& pasteboard = world->pasteboard();
    TestDesktop& desktop = TestDesktop::shared();
};

// Programs that ask for text in another encoding find it; clipboard managers find a transient
// reply marked secret, and a copy the user keeps unmarked.
TEST_F(RealPasteboard, OtherClientsFindTextUnderEveryTextTargetAndTransientRepliesMarked) {
    const std::string text = "Gr\u00fc\u00dfe, Ada \U0001F600";
    pasteboard.clearContents();
    ASSERT_TRUE(pasteboard.writeItems({{{plainTextType, text},
                                        {platform::transientType, ""},
                                        {platform::autoGeneratedType, ""}}}));

    std::optional<std::string> targets = desktop.pasteFromClipboard("TARGETS");
    ASSERT_TRUE(targets);
    for (const char* target : {"UTF8_STRING", "text/plain;charset=utf-8", "text/plain", "TEXT",
                               "STRING", "org.nspasteboard.TransientType",
                               "org.nspasteboard.AutoGeneratedType", "x-kde-passwordManagerHint"}) {
        EXPECT_NE(targets->find(std::string(target) + "\n"), std::string::npos) << target;
    }
    for (const char* target : {"UTF8_STRING", "text/plain;charset=utf-8", "text/plain", "TEXT"}) {
        EXPECT_EQ(desktop.pasteFromClipboard(target), text) << target;
    }
    EXPECT_EQ(desktop.pasteFromClipboard("STRING"),
              "Gr\xfc\xdf"
              "e, Ada ?");
    EXPECT_EQ(desktop.pasteFromClipboard("x-kde-passwordManagerHint"), "secret");
    EXPECT_EQ(desktop.pasteFromClipboard("org.nspasteboard.TransientType"), "");

    pasteboard.clearContents();
    ASSERT_TRUE(pasteboard.setString(text));
    EXPECT_EQ(desktop.pasteFromClipboard("x-kde-passwordManagerHint"), std::nullopt);
}

// Older programs offer their text only in another encoding: it reads as plain text (STRING in
// Latin-1), or COMPOUND_TEXT as itself, and written back it is served byte for byte again, as
// the paste puts the user's clipboard back.
TEST_F(RealPasteboard, TextOfferedWithoutUtf8ReadsAndComesBackByteForByte) {
    struct Case {
        std::string target;
        std::string bytes;
        std::string type;
        std::string read;
    };
    for (const Case& given : {Case{"STRING", "Caf\xe9 at 10", plainTextType, "Caf\u00e9 at 10"},
                              Case{"TEXT", "Meeting at 10", plainTextType, "Meeting at 10"},
                              Case{"text/plain", "Meeting at 10", plainTextType, "Meeting at 10"},
                              Case{"COMPOUND_TEXT", "Meeting", "COMPOUND_TEXT", "Meeting"}}) {
        desktop.copyToClipboard(given.target, given.bytes);
        ASSERT_EQ(pasteboard.types(0), Types{given.type}) << given.target;
        const std::optional<std::string> read = pasteboard.data(0, given.type);
        EXPECT_EQ(read, given.read) << given.target;
        ASSERT_TRUE(read && pasteboard.writeItems({{{given.type, *read}}})) << given.target;
        EXPECT_EQ(desktop.pasteFromClipboard(given.target), given.bytes) << given.target;
    }
}

// A hung owner costs each read one bound, not a hang; one that goes away leaves the clipboard
// empty, and that counts as a change.
TEST_F(RealPasteboard, AnOwnerThatStopsAnsweringOrVanishesReadsAsNothingPromptly) {
    pid_t owner = desktop.copyToClipboard("UTF8_STRING", "The user's words");
    ASSERT_EQ(::kill(-owner, SIGSTOP), 0);
    auto started = Clock::now();
    EXPECT_EQ(pasteboard.itemCount(), 1u);
    EXPECT_EQ(pasteboard.types(0), Types{});
    EXPECT_EQ(pasteboard.data(0, plainTextType), std::nullopt);
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(2));

    long before = pasteboard.changeCount();
    ASSERT_EQ(::kill(-owner, SIGKILL), 0);
    ASSERT_TRUE(eventually([&] { return pasteboard.changeCount() > before; }));
    EXPECT_EQ(pasteboard.itemCount(), 0u);
    EXPECT_EQ(pasteboard.types(0), Types{});
}

// An X client that asks for our clipboard and gets an incremental transfer.
class IncrementalRequestor {
  public:
    IncrementalRequestor() : connection_(xcb_connect(nullptr, nullptr)) {
        xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                          &events);
    }
    ~IncrementalRequestor() { xcb_disconnect(connection_); }

    // Asks for the text; true once the owner announced it in chunks.
    bool startTransfer() {
        xcb_convert_selection(connection_, window_, atom("CLIPBOARD"), atom("UTF8_STRING"),
                              property_, XCB_CURRENT_TIME);
        xcb_flush(connection_);
        pollfd readable{xcb_get_file_descriptor(connection_), POLLIN, 0};
        for (auto deadline = Clock::now() + std::chrono::seconds(2); Clock::now() < deadline;) {
            while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
                bool notified = (event->response_type & 0x7f) == XCB_SELECTION_NOTIFY;
                std::free(event);
                if (notified) return announced();
            }
            ::poll(&readable, 1, 10);
        }
        return false;
    }
    // Asks for the first chunk and is gone before it comes.
    void vanish() {
        xcb_delete_property(connection_, window_, property_);
        xcb_destroy_window(connection_, window_);
        xcb_flush(connection_);
    }

  private:
    xcb_atom_t atom(const std::string& name) {
        auto cookie = xcb_intern_atom(connection_, 0, name.size(), name.c_str());
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection_, cookie, nullptr);
        xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(reply);
        return atom;
    }
    bool announced() {
        auto cookie =
            xcb_get_property(connection_, 0, window_, property_, XCB_GET_PROPERTY_TYPE_ANY, 0, 1);
        xcb_get_property_reply_t* reply = xcb_get_property_reply(connection_, cookie, nullptr);
        bool incremental = reply && reply->type == atom("INCR");
        std::free(reply);
        return incremental;
    }

    xcb_connection_t* connection_;
    xcb_window_t window_ = xcb_generate_id(connection_);
    xcb_atom_t property_ = atom("LUMORA_TEST_TRANSFER");
};

TEST_F(RealPasteboard, RequestorsThatVanishOrStopReadingMidTransferLeaveOthersServed) {
    const std::string text(3 << 20, 'x');
    pasteboard.clearContents();
    ASSERT_TRUE(pasteboard.setString(text));

    IncrementalRequestor stalled;
    ASSERT_TRUE(stalled.startTransfer());
    IncrementalRequestor vanishing;
    ASSERT_TRUE(vanishing.startTransfer());
    vanishing.vanish();

    EXPECT_TRUE(desktop.pasteFromClipboard("UTF8_STRING") == text);
    ASSERT_TRUE(pasteboard.setString("Still served"));
    EXPECT_EQ(desktop.pasteFromClipboard("UTF8_STRING"), "Still served");
}

}  // namespace
}  // namespace lumora::contract
