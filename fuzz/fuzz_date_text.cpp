// Feeds arbitrary bytes as date text to every date routine under every date format, with and without the
// century flag. Besides memory faults it checks that a text IsValidDateStr accepts reads back: its day
// number gives the same text again, and normalising then formatting it changes nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "engine/core/dates.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/index/key_routines.h"
#include "platform/locale_facts.h"

namespace {

xb::Engine& engine() {
    static std::unique_ptr<xb::Engine> e = [] {
        auto p = std::make_unique<xb::Engine>(xb::platform::LocaleFactsFromName("en_US"));
        xb::SetErrorTrap(false);
        return p;
    }();
    return *e;
}

void check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    xb::Engine& e = engine();
    const std::string input(reinterpret_cast<const char*>(data), size);
    for (int format = 0; format < xb::kDateFormatCount; ++format) {
        for (bool century : {false, true}) {
            e.settings.century = century;
            xb::SetDateFormat(format);

            std::string normalized = input;
            xb::NormalizeDateStr(normalized);
            check(normalized.size() <= 14);
            std::string formatted = input;
            xb::FormatDateStr(formatted);
            check(formatted.size() <= 14);

            (void)xb::Dow(input);
            (void)xb::CDow(input);
            (void)xb::CMonth(input);
            (void)xb::CDowUtf8(input);
            (void)xb::CMonthUtf8(input);
            (void)xb::MonthOf(input);
            (void)xb::DayOf(input);
            (void)xb::YearOf(input);
            check(xb::DateToDtos(input).size() == 8);
            const double julian = xb::DateStrToJulian(input);
            check(xb::DateStrToDtos(input) == xb::JulianToDtos(julian));
            (void)xb::DtosToJulian(input);

            std::string valid = input;
            if (xb::IsValidDateStr(valid)) {
                check(valid.size() == 8 || valid.size() == 10);
                const double j = xb::DateStrToJulian(valid);
                if (valid == xb::BlankDateText(format)) {
                    check(j == xb::kBlankDate);
                } else {
                    check(j != xb::kBlankDate);
                    check(xb::JulianToDateStr(j) == valid);
                    check(xb::Dow(valid) >= 1 && xb::Dow(valid) <= 7);
                }
                std::string again = valid;
                xb::NormalizeDateStr(again);
                xb::FormatDateStr(again);
                check(again == valid);
            } else {
                check(valid == input);
            }
        }
    }
    return 0;
}
