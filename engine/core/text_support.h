// The small routines the rest of the engine stands on: memory blocks that report their failures, OEM and
// ANSI conversion, trimming and padding, number texts and option keywords inside command texts.
//
// Text is single-byte ANSI (the current engine's code page). Case mapping and letter tests go through
// the engine's code-page tables, and number texts never go through the C library's locale, which the
// GUI sets from the environment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace xb {

// ---- memory ----

// The largest block GetMem hands out.
constexpr unsigned kMaxBlockSize = 65535;

// Allocates size bytes (zero-filled) into p. Fails with 217 when the allocation fails and with 266 when
// size is beyond kMaxBlockSize; p is nil after a failure.
bool GetMem(void*& p, unsigned size);
// Frees a block from GetMem and sets p to nil; a nil p reports 9.
void FreeMem(void*& p);
// The largest block that could be allocated, as callers compare it with what they need.
long MaxAvail();

// Replaces the allocator GetMem uses (nullptr restores malloc) and returns the previous one; lets tests
// make an allocation fail.
using MemAllocator = void* (*)(size_t);
MemAllocator SetMemAllocator(MemAllocator alloc);

// ---- OEM and ANSI ----

std::string AnsiToOemStr(const std::string& text);
std::string OemToAnsiStr(const std::string& text);
void AnsiToOemBuf(char* buf, size_t n);
void OemToAnsiBuf(char* buf, size_t n);
// The same with a table's own code page in place of the engine's OEM page (0: the engine's).
std::string AnsiToOemStr(const std::string& text, int oemCp);
void AnsiToOemBuf(char* buf, size_t n, int oemCp);

// ---- trimming, case, searching ----

// Without trailing (leading) blanks and control characters, that is every byte of code 32 or below.
std::string TrimRightStr(const std::string& text);
std::string RTrim(const std::string& text);
std::string TrimLeftStr(const std::string& text);
std::string LTrim(const std::string& text);
std::string AllTrim(const std::string& text);

std::string UpperStr(const std::string& text);
char CharUpperStr(char c);
char CharLowerStr(char c);

// Non-overlapping occurrences of sub in text, left to right; 0 when either is empty.
int CountSubStr(const std::string& sub, const std::string& text);
// The 1-based position of the n-th non-overlapping occurrence of sub in text; a negative n counts from
// the end. 0 when there is none, n is 0 or either text is empty.
int FindOccurrence(const std::string& sub, const std::string& text, int n);
// Upper-cases text, cuts out every occurrence of keyword (given in upper case, usually with a leading
// blank, such as " EXCLUSIVE") that is not followed by a letter, digit, backslash or underscore, and
// trims the text. True when at least one occurrence was cut.
bool TakeKeyword(std::string& text, const std::string& keyword);

// ---- building texts ----

std::string Replicate(char c, int n);
std::string Space(int n);
std::string PadR(const std::string& text, int n);
// Decimal text right-aligned in width (no padding for width 0; a longer number stays whole).
std::string IntToStrWidth(long value, int width);
// Fixed-point text with dec decimals right-aligned in width. With decimals, the point becomes the
// engine's decimal separator (a display text); callers writing files keep the separator ".".
std::string FloatToStrDec(double value, int width, int dec);

// ---- reading number texts ----

// A numeric text as typed by a user to a 16-bit integer, clamped to -32768..32767; 0 for an empty text.
int16_t StrToNum(const std::string& text);
// Normalises a typed number in place: no "$", sign folded in front, the engine's decimal separator turned
// into ".", thousands separators removed, cut at the first character that is not part of the number.
void CleanNumberText(std::string& text);
// CleanNumberText, then the integer part (clamped to 32 bits); 0 for an empty text.
int32_t StrToLongNum(const std::string& text);

std::string IfStr(bool cond, const std::string& a, const std::string& b);
// True when the first character is a letter of the ANSI code page.
bool IsAlphaStr(const std::string& text);

}  // namespace xb
