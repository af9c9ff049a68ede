#include "platform/locale_facts.h"

#include <cctype>
#include <cstdlib>

namespace xb::platform {

LocaleFacts LocaleFactsFromName(const std::string& name) {
    LocaleFacts f;
    std::string lang, region;
    size_t i = 0;
    while (i < name.size() && std::isalpha(static_cast<unsigned char>(name[i])))
        lang += static_cast<char>(std::tolower(static_cast<unsigned char>(name[i++])));
    if (i < name.size() && name[i] == '_') {
        ++i;
        while (i < name.size() && std::isalpha(static_cast<unsigned char>(name[i])))
            region += static_cast<char>(std::toupper(static_cast<unsigned char>(name[i++])));
    }
    f.region = region;
    if (lang.empty() || lang == "c" || lang == "posix") {
        f.language = Language::English;
        f.region = "US";
    } else if (lang == "en") f.language = Language::English;
    else if (lang == "de") f.language = Language::German;
    else if (lang == "es") f.language = Language::Spanish;
    else if (lang == "fr") f.language = Language::French;
    else if (lang == "it") f.language = Language::Italian;
    else if (lang == "ru") f.language = Language::Russian;
    else if (lang == "hr") f.language = Language::Croatian;
    else if (lang == "pt") f.language = Language::Portuguese;
    else if (lang == "sv") f.language = Language::Swedish;
    else if (lang == "da") f.language = Language::Danish;
    else f.language = Language::Other;

    // The code pages Windows pairs with these languages.
    switch (f.language) {
        case Language::Croatian: f.ansiCodePage = 1250; f.oemCodePage = 852; break;
        case Language::Russian: f.ansiCodePage = 1251; f.oemCodePage = 866; break;
        default: f.ansiCodePage = 1252; f.oemCodePage = 850; break;
    }
    return f;
}

LocaleFacts UserLocaleFacts() {
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(var);
        if (v && *v) return LocaleFactsFromName(v);
    }
    return LocaleFactsFromName("C");
}

}  // namespace xb::platform
