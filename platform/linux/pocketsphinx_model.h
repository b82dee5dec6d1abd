// The pocketsphinx models installed on this machine, as Debian lays them out (pocketsphinx-en-us
// installs "en-us"): one folder per language under pocketsphinx's model folder, holding the
// acoustic model in a folder of the same name, the language model "<name>.lm.bin" and the
// pronouncing dictionary "cmudict-<name>.dict". A folder "en-us" is the locale "en_US".
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace lumora::platform {

struct PocketsphinxModel {
    std::string locale;
    std::filesystem::path acousticModel;
    std::filesystem::path languageModel;
    std::filesystem::path dictionary;
};

// The models under `folder` whose files are all there, ordered by locale.
std::vector<PocketsphinxModel> pocketsphinxModelsIn(const std::filesystem::path& folder);
// Those in the folder where pocketsphinx's packages install them.
std::vector<PocketsphinxModel> installedPocketsphinxModels();

}  // namespace lumora::platform
