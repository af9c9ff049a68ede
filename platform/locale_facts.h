// What the engine learns from the user's locale at start-up: the language (as the primary and sub
// language of a Windows language identifier would give it) and the pair of code pages that goes with it.
// Read from LC_ALL, LC_MESSAGES or LANG, never from the C library's current locale.
#pragma once

#include <string>

namespace xb::platform {

enum class Language { Other, English, German, Spanish, French, Italian, Russian, Croatian, Portuguese, Swedish,
                      Danish };

struct LocaleFacts {
    Language language = Language::English;
    std::string region;  // "US", "CA", "FR", ... (upper case), empty when none
    int ansiCodePage = 1252;
    int oemCodePage = 850;
};

// Parses a POSIX locale name such as "fr_FR.UTF-8", "en_US", "hr_HR@euro" or "C".
LocaleFacts LocaleFactsFromName(const std::string& name);
// The facts of this process's environment.
LocaleFacts UserLocaleFacts();

}  // namespace xb::platform
