#include "assistant/speech/recognition_languages.h"

#include <unicode/ucol.h>
#include <unicode/uloc.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "runtime/text.h"

namespace lumora {

namespace {

struct Language {
    std::string code;
    std::u16string name;
};

std::u16string displayName(const std::string& identifier, const std::string& displayLocale) {
    UErrorCode status = U_ZERO_ERROR;
    std::u16string name(128, u'\0');
    int32_t length = uloc_getDisplayName(identifier.c_str(), displayLocale.c_str(), name.data(),
                                         static_cast<int32_t>(name.size()), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        status = U_ZERO_ERROR;
        name.assign(static_cast<std::size_t>(length) + 1, u'\0');
        length = uloc_getDisplayName(identifier.c_str(), displayLocale.c_str(), name.data(),
                                     static_cast<int32_t>(name.size()), &status);
    }
    if (U_FAILURE(status) || length <= 0) {
        return std::u16string(identifier.begin(), identifier.end());
    }
    name.resize(static_cast<std::size_t>(length));
    return name;
}

std::string utf8(const std::u16string& text) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strToUTF8(nullptr, 0, &length, text.data(), static_cast<int32_t>(text.size()), &status);
    std::string result(static_cast<std::size_t>(length), '\0');
    status = U_ZERO_ERROR;
    u_strToUTF8(result.data(), length, nullptr, text.data(), static_cast<int32_t>(text.size()),
                &status);
    return result;
}

struct CollatorCloser {
    void operator()(UCollator* collator) const { ucol_close(collator); }
};

}  // namespace

json::Document recognitionLanguages(platform::Speech& speech, platform::System& system) {
    const std::string displayLocale = system.currentLocale();
    std::vector<Language> languages;
    for (const auto& identifier : speech.supportedLocales()) {
        languages.push_back(
            {text::replaceAll(identifier, "_", "-"), displayName(identifier, displayLocale)});
    }

    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UCollator, CollatorCloser> collator(ucol_open(displayLocale.c_str(), &status));
    if (U_SUCCESS(status)) {
        ucol_setAttribute(collator.get(), UCOL_NUMERIC_COLLATION, UCOL_ON, &status);
        std::stable_sort(languages.begin(), languages.end(),
                         [&](const Language& a, const Language& b) {
                             return ucol_strcoll(collator.get(), a.name.data(),
                                                 static_cast<int32_t>(a.name.size()), b.name.data(),
                                                 static_cast<int32_t>(b.name.size())) == UCOL_LESS;
                         });
    }

    json::Document list = json::Document::array();
    for (const auto& language : languages) {
        list.push_back({{"code", language.code}, {"name", utf8(language.name)}});
    }
    return list;
}

}  // namespace lumora
