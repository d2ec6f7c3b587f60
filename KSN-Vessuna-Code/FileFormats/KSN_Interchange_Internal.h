// Small helpers shared by the set, pose-file, exchange and sculpted-prim
// sources of this folder; no other folder includes this header.
//
// Lines are read whole (any length), so a long name or path never spills
// into the next value; CR, LF, CR LF and LF CR all end a line, as the text
// block readers of the document accept.
#pragma once

#include <cstdio>
#include <string>

#include "OS.h"
#include "QORLanguage.h"

namespace ksn_interchange {

// Language texts used here.
inline constexpr int kCannotCreateFileText = 1020;
inline constexpr int kCannotOpenFileText = 1021;

// Reads one line without its end into line. False at the end of the file
// when nothing was read.
inline bool ReadWholeLine(FILE* file, std::string& line)
{
    line.clear();
    if (!file) return false;
    bool any = false;
    for (;;) {
        int c = std::getc(file);
        if (c == EOF) return any;
        any = true;
        if (c == '\r' || c == '\n') {
            const int partner = c == '\r' ? '\n' : '\r';
            const int next = std::getc(file);
            if (next != partner && next != EOF) std::ungetc(next, file);
            return true;
        }
        if (c != 0) line += char(c);
    }
}

// The first word of a trimmed line and the trimmed rest.
inline void SplitKeyAndValue(const std::string& line, std::string& key, std::string& value)
{
    auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; };
    size_t start = 0;
    while (start < line.size() && isBlank(line[start])) ++start;
    size_t end = start;
    while (end < line.size() && !isBlank(line[end])) ++end;
    key = line.substr(start, end - start);
    size_t vs = end;
    while (vs < line.size() && isBlank(line[vs])) ++vs;
    size_t ve = line.size();
    while (ve > vs && isBlank(line[ve - 1])) --ve;
    value = line.substr(vs, ve - vs);
}

// A language text with a "%s" placeholder filled literally.
inline std::string TextWith(int id, const std::string& value)
{
    std::string text = Lang.GetText(id);
    const size_t at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, value);
    return text;
}

// Deletes any file at path and creates it for writing ("w"); null on failure.
inline FILE* CreateReplacing(const char* path)
{
    if (!path || !path[0]) return nullptr;
    TOS::OS_DeleteFile(path);
    return std::fopen(path, "w");
}

} // namespace ksn_interchange
