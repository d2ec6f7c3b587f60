// Line helpers shared by the document-object and tree writers and readers of
// this folder.
#pragma once

#include <cstdio>

namespace QORThingyInternal {

// Lines are read into buffers of this size (at most 998 characters a line).
constexpr int LineBufferSize = 999;

// Writes the current indentation, key, a tab, value and LF.
void WriteKeyLine(FILE* file, const char* key, const char* value);
void WriteKeyLine(FILE* file, const char* key, int value);
// Reads one line with the OS layer's reader and removes surrounding blanks and tabs.
void ReadTrimmedLine(FILE* file, char* line);

} // namespace QORThingyInternal
