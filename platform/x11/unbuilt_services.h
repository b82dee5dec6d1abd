// The desktop services the real Linux desktop does not drive yet, each answering as the
// platform does when the service is missing, so that every request that needs one fails with
// the assistant's existing refusal instead of pretending: no keyboard access (no event tap, no
// key events, so no hold keys and no paste), a clipboard that refuses writes and reads empty,
// no microphone and no recogniser.
#pragma once

#include "platform/audio.h"
#include "platform/keyboard.h"
#include "platform/pasteboard.h"
#include "platform/speech.h"

namespace lumora::x11 {

class NoKeyboardAccess final : public platform::Keyboard {
  public:
    platform::EventFlags sessionFlags() override { return 0; }
    bool isKeyDown(std::uint16_t) override { return false; }
    std::optional<platform::InputEvent> createKeyEvent(std::uint16_t, bool) override {
        return std::nullopt;
    }
    void post(const platform::InputEvent&) override {}
    bool hasLayoutData() override { return false; }
    std::optional<std::u16string> translate(std::uint16_t) override { return std::nullopt; }
    std::shared_ptr<void> addGlobalKeyDownMonitor(std::function<void(std::uint16_t)>) override {
        return std::make_shared<int>(0);
    }
    std::unique_ptr<platform::EventTap> createEventTap(std::uint64_t,
                                                       platform::EventTapHandler) override {
        return nullptr;
    }
};

class NoClipboardAccess final : public platform::Pasteboard {
  public:
    long changeCount() override { return 0; }
    std::size_t itemCount() override { return 0; }
    std::vector<std::string> types(std::size_t) override { return {}; }
    std::optional<std::string> data(std::size_t, const std::string&) override {
        return std::nullopt;
    }
    long clearContents() override { return 0; }
    bool setString(const std::string&) override { return false; }
    bool writeItems(const std::vector<platform::PasteboardItem>&) override { return false; }
};

class NoMicrophone final : public platform::Audio {
  public:
    std::unique_ptr<platform::AudioEngine> createEngine() override;
};

class NoRecognizers final : public platform::Speech {
  public:
    std::vector<std::string> supportedLocales() override { return {}; }
    std::unique_ptr<platform::SpeechRecognizer> recognizer(const std::string&) override {
        return nullptr;
    }
};

}  // namespace lumora::x11
