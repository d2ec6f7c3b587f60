// Line helpers shared by the document-object and tree writers and readers of
// this folder.
#pragma once

#include <cstdio>
#include <string>

namespace QORThingyInternal {

// Writes the current indentation, key, a tab, value and LF.
void WriteKeyLine(FILE* file, const char* key, const char* value);
void WriteKeyLine(FILE* file, const char* key, int value);
// Reads one whole line and removes surrounding blanks and tabs.
void ReadTrimmedLine(FILE* file, std::string& line);

// A line split into key and value, in buffers that grow with the line, so
// the char* handlers of the document classes see values of any length.
struct TKeyValueLine {
    std::string key;
    std::string value;
    void Split(const char* line);
};

} // namespace QORThingyInternal
