// String and file-name utilities on plain zero-terminated texts.
//
// Every subsystem compares names and keys through QORstrcmpi, splits its text
// lines with GetCommandAndParameter and takes paths apart with the file-name
// helpers here. Paths use "/" as the separator and a folder text ends with "/".
//
// The functions that write take a caller-owned output buffer without a size:
// each output is at most as long as the input it is cut from (callers use
// 10000-byte buffers for names and lines), except FloatToStringWithCommas,
// whose output never exceeds QOR_FLOAT_WITH_COMMAS_MAX bytes. Output and input
// may be the same buffer. None of them allocates visibly, fails or throws.
//
// The random generator is the one generator of the program: an additive
// lagged-Fibonacci generator (lags 24 and 55) of 30-bit values, shared by
// every caller; a sequence is repeatable only while one thread draws after
// QORSetRandomSeed.
//
// QORFormat builds printf-style texts of any length, so that no caller needs a
// fixed formatting buffer.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>

// [Case and comparison]
// Maps only the letters a-z / A-Z; every other byte (also 128-255) is returned unchanged.
char QOR_toupper(char c);
char QOR_tolower(char c);

// Case-insensitive compare: the difference of the first differing lower-cased
// characters (signed bytes); otherwise 1 when a is longer, -1 when b is longer, 0 when equal.
int32_t QORstrcmpi(const char* a, const char* b);
// As QORstrcmpi over the first n positions only (0 when n positions are equal, also for n = 0).
int32_t QORstrncmpi(const char* a, const char* b, uint32_t n);

// First / last case-insensitive occurrence of pattern in text, or null;
// an empty pattern gives null. strstri_last finds overlapping occurrences.
const char* QORstrstri(const char* text, const char* pattern);
char* QORstrstri(char* text, const char* pattern);
const char* strstri_last(const char* text, const char* pattern);
char* strstri_last(char* text, const char* pattern);

// [Random numbers]
// Rebuilds the generator from seed (masked to 30 bits) and marks it seeded.
void QORSetRandomSeed(int32_t seed);
// 0 .. n-1; 0 (and no draw) when n < 2. Seeds itself from the calendar time when never seeded.
int32_t QORrandom(int32_t n);

// [File names]
// Splits at the last "/": folder gets everything up to and including it, name the rest.
void SeperateFileName(const char* path, char* folder, char* name);
// The folder part of SeperateFileName (with its trailing "/"; empty without "/").
void GetPathFromFileName(char* folder, const char* path);
// The name part; with removeExtension the name is cut at its last "." (".profile" becomes empty).
void GetShortNameFromFileName(char* name, const char* path, bool removeExtension);
// Appends "/" unless path is empty or already ends with "/".
void AddLastSlashIfNecessary(char* path);
// Cuts path in place at its last "." after the first position (the search crosses "/").
void RemoveExtensionFromFileName(char* path);
// The text after the last "." of the last path component (empty text when none); points into path.
const char* GetExtensionFromFileName(const char* path);
char* GetExtensionFromFileName(char* path);
// Copies that extension into extension.
void GetExtensionFromFileName(char* extension, const char* path);
// Copies the extension into extension and, when nameWithoutExtension is not null,
// the path without ".extension" into it (a path ending in "." loses that dot).
void GetExtensionFromFileName(const char* path, char* nameWithoutExtension, char* extension);

// [White space and lines]
// Space and tab only.
bool CharIsWhitespace(char c);
bool StringContainsWhitespace(const char* text);
// Removes spaces, tabs and line feeds (not carriage returns) from both ends, in place.
void DeleteLeadingAndTrailingWhiteSpace(char* text);
// Splits a text line into its first word (command) and the trimmed rest (parameter).
void GetCommandAndParameter(const char* line, char* command, char* parameter);

// [Numbers]
// Largest output of FloatToStringWithCommas, terminating zero included.
constexpr int QOR_FLOAT_WITH_COMMAS_MAX = 128;
// Formats value for display with "," thousands separators; at most six significant
// digits for values of 1 and more, trailing zeros removed. Negative decimals count as 0.
void FloatToStringWithCommas(char* out, float value, int32_t decimals);
// Parses a user-typed number with "," separators and an optional "K"/"M" suffix;
// false (value untouched) when the text does not start like a number. Texts of any length.
bool StringToFloatWithCommas(float& value, const char* text);

// [Interface texts]
// The lower-cased character right after the first "[u]" (any tag starting with u/U), or 0.
char GetHotkeyFromUnderlinedLetterInText(const char* caption);
// Whether text carries the same printf conversions (the character after each "%") as reference.
bool VerifyPrintfString(const char* text, const char* reference);

// [Formatting]
// printf-style formatting into a string of any length.
std::string QORFormat(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string QORVFormat(const char* fmt, va_list args);
