// Every platform service the assistant uses, handed to it by the composition root.
#pragma once

#include "platform/accessibility.h"
#include "platform/audio.h"
#include "platform/images.h"
#include "platform/keyboard.h"
#include "platform/language_model.h"
#include "platform/pasteboard.h"
#include "platform/permissions.h"
#include "platform/screen_capture.h"
#include "platform/speech.h"
#include "platform/system.h"
#include "platform/text_recognition.h"
#include "platform/windows.h"
#include "platform/workspace.h"

namespace lumora::platform {

struct Ports {
    Accessibility& accessibility;
    Workspace& workspace;
    Windows& windows;
    Pasteboard& pasteboard;
    Keyboard& keyboard;
    Permissions& permissions;
    Speech& speech;
    Audio& audio;
    AudioConversion& audioConversion;
    ScreenCapture& screenCapture;
    TextRecognition& textRecognition;
    Images& images;
    LanguageModel& languageModel;
    System& system;
};

}  // namespace lumora::platform
