#include "platform/linux/pocketsphinx_model.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace lumora::platform {

namespace {

namespace fs = std::filesystem;

// "en-us" is "en_US"; a name that is not a language and a region names no locale.
std::optional<std::string> localeOf(const std::string& name) {
    const std::size_t dash = name.find('-');
    if (dash == std::string::npos || dash == 0 || dash + 1 == name.size()) return std::nullopt;
    std::string locale = name.substr(0, dash) + "_" + name.substr(dash + 1);
    std::transform(locale.begin() + static_cast<std::ptrdiff_t>(dash), locale.end(),
                   locale.begin() + static_cast<std::ptrdiff_t>(dash),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return locale;
}

}  // namespace

std::vector<PocketsphinxModel> pocketsphinxModelsIn(const fs::path& folder) {
    std::vector<PocketsphinxModel> models;
    std::error_code ignored;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ignored)) {
        const std::string name = entry.path().filename().string();
        std::optional<std::string> locale = localeOf(name);
        PocketsphinxModel model{locale.value_or(""), entry.path() / name,
                                entry.path() / (name + ".lm.bin"),
                                entry.path() / ("cmudict-" + name + ".dict")};
        if (locale && fs::is_directory(model.acousticModel, ignored) &&
            fs::is_regular_file(model.languageModel, ignored) &&
            fs::is_regular_file(model.dictionary, ignored)) {
            models.push_back(std::move(model));
        }
    }
    std::sort(models.begin(), models.end(),
              [](const auto& a, const auto& b) { return a.locale < b.locale; });
    return models;
}

std::vector<PocketsphinxModel> installedPocketsphinxModels() {
    return pocketsphinxModelsIn(LUMORA_POCKETSPHINX_MODELS);
}

}  // namespace lumora::platform
