// Colours as the report windows name them. A "$BBGGRR" colour of the window descriptions is the GUI
// library's integer, blue byte first: $F4FFE1 is the RGB colour #E1FFF4, $FF0000 is blue and $0000FF red.
// A "#RRGGBB" colour is an HTML colour and needs no conversion.
#pragma once

#include <QString>
#include <cstdint>

namespace app {

// The 0xRRGGBB value of a $BBGGRR colour.
constexpr uint32_t RgbOfBgr(uint32_t bgr) {
    return ((bgr & 0xFF) << 16) | (bgr & 0xFF00) | ((bgr >> 16) & 0xFF);
}

// "#RRGGBB" (upper-case hex digits) of a 0xRRGGBB value.
QString HtmlColor(uint32_t rgb);

}  // namespace app
