#include "platform/sim/sim_desktop.h"

namespace lumora::sim {

// The demo world: Lumora's own app with its floating widget, a note being drafted in front,
// and a browser behind it whose web content only shows its tree once asked to. The user's
// words come in as they would while a key is held: the recogniser's first guesses after half
// a second and most of a second of audio, the whole sentence once the audio ends.
std::string_view SimDesktop::embeddedScenario() {
    return R"({
  "parentPid": 100,
  "frontmost": 200,
  "apps": [
    {"pid": 100, "name": "Lumora", "bundleId": "com.vantor.app"},
    {
      "pid": 200, "name": "Notes", "bundleId": "com.apple.Notes",
      "focusedWindow": "notes-window", "focusedElement": "notes-body",
      "elements": [
        {"id": "notes-window", "role": "AXWindow", "title": "Draft — Notes"},
        {"id": "notes-scroll", "role": "AXScrollArea", "parent": "notes-window"},
        {
          "id": "notes-body", "role": "AXTextArea", "parent": "notes-scroll",
          "description": "Note body",
          "value": "Team update: the beta ships on Friday. ",
          "selection": {"location": 39, "length": 0},
          "caretBounds": {"x": 412, "y": 318, "width": 1, "height": 17}
        }
      ]
    },
    {
      "pid": 300, "name": "Safari", "bundleId": "com.apple.Safari",
      "exposesAfterManualAccessibility": true,
      "focusedWindow": "safari-window", "focusedElement": "safari-search",
      "elements": [
        {"id": "safari-window", "role": "AXWindow", "title": "Release notes"},
        {"id": "safari-page", "role": "AXWebArea", "parent": "safari-window"},
        {
          "id": "safari-search", "role": "AXTextField", "parent": "safari-page",
          "placeholder": "Search the notes", "value": ""
        }
      ]
    }
  ],
  "installedApplications": {
    "com.apple.Notes": "/System/Applications/Notes.app/Contents/MacOS/Notes",
    "com.apple.Safari": "/Applications/Safari.app/Contents/MacOS/Safari"
  },
  "windows": [
    {
      "number": 7, "ownerPid": 100, "layer": 1000, "name": "Lumora",
      "bounds": {"x": 1180, "y": 760, "width": 220, "height": 56}
    },
    {
      "number": 42, "ownerPid": 200, "layer": 0, "name": "Draft — Notes",
      "bounds": {"x": 200, "y": 120, "width": 760, "height": 540},
      "image": {"width": 760, "height": 540, "fill": "#FFFDF5"}
    },
    {
      "number": 43, "ownerPid": 300, "layer": 0, "name": "Release notes",
      "bounds": {"x": 80, "y": 60, "width": 1100, "height": 720},
      "image": {"width": 1100, "height": 720, "fill": "#FFFFFF"}
    }
  ],
  "system": {"osVersion": "26.1", "locale": "en_US"},
  "permissions": {
    "microphone": 3, "speechRecognition": 3, "accessibility": true, "screenCapture": true
  },
  "speech": {
    "results": [
      {"text": "Thank the", "afterAudio": 0.5, "segments": [{"timestamp": 0.2, "duration": 0.3}]},
      {
        "text": "Thank the beta team", "afterAudio": 0.9,
        "segments": [{"timestamp": 0.2, "duration": 0.3}, {"timestamp": 0.5, "duration": 0.4}]
      },
      {
        "text": "Thank the beta team for their feedback.", "final": true, "metadata": true,
        "segments": [
          {"timestamp": 0.2, "duration": 0.3}, {"timestamp": 0.5, "duration": 0.4},
          {"timestamp": 0.9, "duration": 0.3}
        ]
      }
    ]
  },
  "processes": {
    "/usr/sbin/screencapture": {
      "exitStatus": 0, "outputImage": {"width": 320, "height": 200, "fill": "#F2F2F7"}
    }
  },
  "languageModel": {
    "available": true,
    "availability": "available",
    "replies": [
      {"instructionsMatch": "Return exactly one lowercase word", "text": "none"},
      {"match": "thank-you", "text": "0|Thank you for all the work on the beta. Friday is ours!"},
      {
        "match": "Thank the beta team",
        "text": "0|A big thank-you to everyone who sent feedback on the beta: you made Friday's release better.",
        "chunkSize": 12, "chunkInterval": 0.04
      }
    ],
    "defaultReply": {"text": "0|Here is a first draft you can edit."}
  }
})";
}

}  // namespace lumora::sim
