// The world most assistant tests and benchmarks run in: Notes in front, its body focused, its
// window capturable, and a scripted on-device model.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace lumora::controller_testing {

using nlohmann::json;

inline constexpr const char* classifierInstructions = "Return exactly one lowercase word";
inline constexpr const char* extractionInstructions = "Extract the main document passage";

// Notes in front with its body focused; `replies` script the model, the classifier first.
inline json notesWorld(const std::vector<json>& replies) {
    return {
        {"parentPid", 100},
        {"frontmost", 200},
        {"apps",
         {{{"pid", 100}, {"name", "Lumora"}},
          {{"pid", 200},
           {"name", "Notes"},
           {"focusedWindow", "window"},
           {"focusedElement", "body"},
           {"elements",
            {{{"id", "window"}, {"role", "AXWindow"}, {"title", "Draft — Notes"}},
             {{"id", "body"},
              {"role", "AXTextArea"},
              {"parent", "window"},
              {"description", "Note body"},
              {"value", "Dear Ada, "},
              {"selection", {{"location", 10}, {"length", 0}}}},
             {{"id", "stubborn"},
              {"role", "AXTextArea"},
              {"parent", "window"},
              {"value", ""},
              {"rejectWrites", -25205}}}}}}},
        {"windows",
         {{{"number", 42},
           {"ownerPid", 200},
           {"layer", 0},
           {"name", "Draft — Notes"},
           {"bounds", {{"x", 200}, {"y", 120}, {"width", 640}, {"height", 400}}},
           {"image", {{"width", 640}, {"height", 400}, {"fill", "#FFFFFF"}}}}}},
        {"system", {{"osVersion", "26.1"}}},
        {"permissions", {{"accessibility", true}, {"screenCapture", true}}},
        {"keyboard", {{"layout", {{"9", "v"}}}}},
        {"languageModel", {{"replies", replies}}},
    };
}

inline json classifierSays(const std::string& answer) {
    return {{"instructionsMatch", classifierInstructions}, {"text", answer}};
}

inline json modelSays(const std::string& text, int chunkSize = 4) {
    return {{"text", text}, {"chunkSize", chunkSize}};
}

}  // namespace lumora::controller_testing
