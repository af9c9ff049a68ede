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

// The language-driver byte of a DBF header (byte 29) that names a code page, as the xBase peers write it:
// 437 0x01, 850 0x02, 1252 0x03, 852 0x64, 866 0x65, 1250 0xC8, 1251 0xC9; 0 for a page without one.
uint8_t LanguageDriverOf(int cp);
// The code page a language-driver byte names, the regional variants included (0x1F Czech 852, 0x57 ANSI
// 1252, ...); 0 for 0 and for a byte naming a page this system has no table for.
int CodePageOfLanguageDriver(uint8_t id);
// The first character of a UTF-8 text that the code page lacks, or 0 when it holds them all.
char32_t FirstMissingChar(const std::string& utf8, int cp);

}  // namespace xb::platform
