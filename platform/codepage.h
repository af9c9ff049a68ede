// Single-byte code pages: 1252, 1250 and 1251 (ANSI) and 850, 852, 866 and 437 (OEM), each a bijection
// between 256 bytes and 256 characters. Conversion between an ANSI and an OEM page is a bijection too:
// a character both pages hold keeps its meaning, and the characters only one of them holds are paired
// with the other's spare bytes in order, so every byte survives a round trip.
#pragma once

#include <cstdint>
#include <string>

namespace xb::platform {

bool IsKnownCodePage(int cp);
// The Unicode character of a byte (the byte itself for an unknown code page).
char32_t CharOf(int cp, unsigned char byte);
// The byte of a character, or -1 when the code page lacks it.
int ByteOf(int cp, char32_t ch);

// ANSI to OEM and back (CharToOemA / OemToCharA). Same length.
std::string ConvertBytes(const std::string& text, int fromCp, int toCp);
void ConvertBytesInPlace(char* buf, size_t n, int fromCp, int toCp);

// Code-page text to UTF-8 and back; a character the code page lacks becomes "?".
std::string ToUtf8(const std::string& bytes, int cp);
std::string FromUtf8(const std::string& utf8, int cp);
// UTF-8 to UTF-32 and back; invalid sequences become U+FFFD.
std::u32string DecodeUtf8(const std::string& utf8);
std::string EncodeUtf8(const std::u32string& text);
bool IsValidUtf8(const std::string& text);

// Case mapping of single characters in a code page (CharUpperA / CharLowerA): a letter whose other case
// the code page also holds is mapped, every other byte stays.
unsigned char UpperByte(int cp, unsigned char byte);
unsigned char LowerByte(int cp, unsigned char byte);
bool IsAlphaByte(int cp, unsigned char byte);

}  // namespace xb::platform
