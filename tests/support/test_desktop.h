// A private headless desktop for the tests of the real desktop backend: Xvfb on a display of
// its own, a D-Bus session bus from which the accessibility bus is activated (with assistive
// technologies switched on, as a user would), a small window manager, real GTK editors
// (mousepad), a terminal without accessibility (xterm), other clients of the clipboard
// (xclip), and a sound server (PulseAudio) whose one speaker the microphone hears. Everything is
// started on first use, polled until ready within a bounded time, and stopped when the test process
// exits. No X11 or AT-SPI header is needed to use it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace lumora::test_support {

class TestDesktop {
  public:
    // The one desktop of this test process. Throws std::runtime_error naming what did not
    // start (and its output) when a part is not ready in time.
    static TestDesktop& shared();

    // Points this process at the desktop (DISPLAY, DBUS_SESSION_BUS_ADDRESS, PULSE_SERVER and
    // the private home and runtime folders), so that ports created afterwards use it.
    void enter();
    // "NAME=value" entries for a child process that is to run on this desktop: this process's
    // environment with the desktop's variables put in.
    std::vector<std::string> environment() const;

    // The applications people write in, each a toolkit of its own.
    enum class Application { mousepad, featherpad, textEditor, writer, chromium, firefox };

    struct Editor {
        Application application = Application::mousepad;
        pid_t pid = 0;
        std::uint32_t window = 0;
        // The window's title as the window manager shows it.
        std::string title;
        // The file the editor was opened on.
        std::string path;
    };
    // Starts a new editor process on a new file holding `text` and waits until its window is
    // mapped and active (frontmost), and then until `ready` (polled) is true. Throws
    // std::runtime_error when that takes longer than ten seconds.
    Editor openEditor(const std::string& text,
                      const std::function<bool(const Editor&)>& ready = {});
    // Brings the editor to the front and types `keys` into it as the user would, through the
    // X server's test extension ("ctrl+End", "Return" …, as xdotool names them).
    void pressKeys(const Editor& editor, const std::vector<std::string>& keys);
    // The user's hand on the keyboard, wherever the focus is, through the X server's test
    // extension: the key ("Alt_R", "Escape", "a", as xdotool names them) goes down, or up, and
    // stays so; holdKey presses it for `seconds` and lets go.
    void keyDown(const std::string& key);
    void keyUp(const std::string& key);
    void holdKey(const std::string& key, double seconds);
    // The windows of the editor's process on screen: its own, and any dialog it has open.
    std::size_t windowCount(const Editor& editor);
    // Once a region selector (maim) runs, the user drags across the screen from (x0, y0) to
    // (x1, y1), or presses Escape to give up, holding each key and button as a person does.
    void dragRegion(int x0, int y0, int x1, int y1);
    void abortRegionSelection();
    // Resizes the editor's window to `width` by `height` pixels and waits until it has that size.
    void resizeWindow(const Editor& editor, int width, int height);
    // The editor's text as it saves it: the user's Ctrl+S, then the file once the window says
    // it holds no unsaved change. Brings the editor to the front.
    std::string savedText(const Editor& editor);
    // The editor's window as the screen shows it, written to `path` as a PNG file.
    void saveScreenshot(const Editor& editor, const std::string& path);
    // The user switches to the editor's window; returns once it is active.
    void switchTo(const Editor& editor);
    // The text other X clients see selected last (the PRIMARY selection), once it is
    // `expected`; false when it is not within 3 seconds.
    bool awaitSelected(const std::string& expected);
    struct Geometry {
        int x = 0, y = 0, width = 0, height = 0;
    };
    // The editor's window on screen, in root coordinates.
    Geometry windowGeometry(const Editor& editor);
    // Starts `application` on a new document holding `text` (its first line not empty), the
    // caret at its end, and waits (within 30 seconds) until its window is active and the text
    // is in. A browser shows a
    // page whose one text area holds the text. Throws std::runtime_error naming what did not
    // happen in time.
    Editor openApplication(Application application, const std::string& text);
    // The document's text as the application itself shows it, whoever wrote it: the user
    // copies all of it to the clipboard, from where another client reads it.
    std::string shownText(const Editor& editor);
    // Ends the editor process (no save prompt survives it) and waits until its window is gone.
    void closeEditor(const Editor& editor);

    // A terminal (xterm, which offers no accessibility tree) running `cat`, which writes what
    // it is given to a new file, active once this returns. Ctrl+V pastes the clipboard there,
    // as it does in an editor. Its path is that file; closeEditor ends it.
    Editor openTerminal();

    // Another X client (xclip) takes the clipboard with `bytes` as its one target `target` and
    // serves them until another client takes it; returns once it serves them. The result is
    // that client's process group, for a test that stops or ends it.
    pid_t copyToClipboard(const std::string& target, const std::string& bytes);
    // What another X client (xclip) reads from the clipboard as `target` ("TARGETS" lists the
    // targets, one a line); none when the owner refuses, or does not answer within 3 seconds.
    std::optional<std::string> pasteFromClipboard(const std::string& target);

    // Plays a WAV file into the speaker, where the default source (the speaker's monitor) hears
    // it, as the user's voice reaches a microphone; returns once it has been played. Throws
    // std::runtime_error when it cannot be played.
    void play(const std::string& wavPath);

    // A desktop of its own, for a test that takes parts of it away.
    TestDesktop();
    TestDesktop(const TestDesktop&) = delete;
    TestDesktop& operator=(const TestDesktop&) = delete;
    ~TestDesktop();

    // The X server goes away.
    void stopDisplay();
    // The session bus goes away, and the accessibility bus it started with it.
    void stopSessionBus();
    // The sound server goes away.
    void stopSoundServer();

    // A terminal emulator ("xterm", "lxterminal") as it comes, with its own paste keys, running
    // `cat`, which writes what it is given to a new file; active once this returns. Its path
    // is that file; closeEditor ends it.
    Editor openTerminalEmulator(const std::string& program);
    // As copyToClipboard and pasteFromClipboard, for the selection xclip names `selection`
    // ("clipboard", "primary").
    pid_t copyToSelection(const std::string& selection, const std::string& target,
                          const std::string& bytes);
    std::optional<std::string> pasteFromSelection(const std::string& selection,
                                                  const std::string& target);
    // The desktop's clipboard manager (xfsettingsd), running once this returns: it owns
    // CLIPBOARD_MANAGER. Stopped with the desktop.
    void startClipboardManager();
    // The file name of the program whose client owns the selection ("CLIPBOARD"), as the X
    // server knows the client's process; none when nobody owns it.
    std::optional<std::string> selectionOwnerProgram(const std::string& selection);

  private:
    void awaitRegionSelector();
    struct Processes;
    Processes* processes_;
};

}  // namespace lumora::test_support
