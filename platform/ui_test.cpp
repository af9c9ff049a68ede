#include "platform/ui.h"

#include <gtest/gtest.h>

namespace xb::platform {
namespace {

TEST(Hotkeys, OneRuleForEveryCaption) {
    struct {
        const char* caption;
        char hotkey;
    } cases[] = {
        {"&Oui", 'O'},
        {"A&nnuler", 'N'},
        {"Ok", 'O'},  // no marker: the first character
        {"", ' '},    // as a dialog closed without a button
        {"&", '&'},   // a marker with nothing after it marks nothing
        {"&&", '&'},  // a literal "&" only
        {"a&b", 'B'},
        {"&&x", '&'},  // "&x" shown, no marker: its first character
        {"x&&", 'X'},
        {"&&&x", 'X'},      // a literal "&" then the marked x
        {"R&&D &Go", 'G'},  // the first single marker, past a literal "&"
        {"&1 but", '1'},
        {"&\xC3\xA9quipe", '\xC9'},  // UTF-8: the letter in Windows-1252, upper case
        {"&\xE9quipe", '\xC9'},      // Windows-1252 already
        {"&\xE2\x82\xAC", '\x80'},   // the euro sign has its byte in the page
        {"&\xE4\xB8\xAD", '?'},      // a character the page lacks
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.caption);
        EXPECT_EQ(HotkeyOf(c.caption), c.hotkey);
        // The stderr seam answers a dialog with that single button by the same rule.
        StderrUi ui;
        EXPECT_EQ(ui.dialog("", '?', "text", c.caption), c.hotkey);
    }
}

TEST(Hotkeys, TheDefaultButtonIsTheFirstCaption) {
    struct {
        const char* buttons;
        char hotkey;
    } cases[] = {{"&Oui;&Non", 'O'}, {"Ok;&Non", 'O'}, {"&&;&Non", '&'}, {";&Non", ' '}, {"", ' '}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.buttons);
        EXPECT_EQ(DefaultButtonHotkey(c.buttons), c.hotkey);
    }
}

}  // namespace
}  // namespace xb::platform
