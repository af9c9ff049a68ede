// The dataset layer speaks UTF-8; the engine below it holds text in its ANSI code page (Windows-1252 by
// default). Every string that crosses goes through these; a character the code page lacks becomes "?".
#pragma once

#include <string>

#include "engine/core/engine.h"
#include "platform/codepage.h"

namespace xb {

inline std::string EngineText(const std::string& utf8) {
    return platform::FromUtf8(utf8, Engine::current().settings.ansiCodePage);
}

inline std::string Utf8Text(const std::string& engineText) {
    return platform::ToUtf8(engineText, Engine::current().settings.ansiCodePage);
}

}  // namespace xb
