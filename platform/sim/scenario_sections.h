// The sections of a scenario beside the desktop itself (applications, windows, pasteboard):
// one reader per service, each filling its part of the world.
#pragma once

#include "platform/sim/scenario_reader.h"
#include "platform/sim/sim_world.h"

namespace lumora::sim {

void readPermissions(ScenarioObject section, PermissionState& permissions);
void readSystem(ScenarioObject section, SystemOverrides& system);
void readKeyboard(ScenarioObject section, KeyboardState& keyboard);
void readSpeech(ScenarioObject section, SpeechState& speech);
void readAudio(ScenarioObject section, AudioState& audio);
void readProcesses(ScenarioObject section, std::map<std::string, ProcessScript>& processes);
void readLanguageModel(ScenarioObject section, ModelState& model);

}  // namespace lumora::sim
