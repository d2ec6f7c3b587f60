// The project file's text as the writer produces it, taken in memory, and the
// same text without the values of "ID" and "Collapsed", which are written
// but never read: two documents are the same when these texts are.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "KSN_Project.h"
#include "QORTextBlock.h"

namespace ksn_file_text {

// The top-level block of the project's file, written into memory.
inline std::string ProjectFileText(TKSN_Project* project)
{
    char* buffer = nullptr;
    size_t size = 0;
    FILE* file = ::open_memstream(&buffer, &size);
    if (!file) return {};
    TextFileIndent = 0;
    project->SaveToStream_Text(file, true);
    TextFileIndent = 0;
    std::fclose(file);
    std::string text(buffer ? buffer : "", size);
    std::free(buffer);
    return text;
}

inline std::string WithoutUnreadValues(const std::string& text)
{
    std::string out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        const size_t start = line.find_first_not_of('\t');
        const bool unread = start != std::string::npos &&
                            (line.compare(start, 3, "ID\t") == 0 || line.compare(start, 10, "Collapsed\t") == 0);
        out += (unread ? line.substr(0, line.find('\t', start)) : line) + "\n";
    }
    return out;
}

} // namespace ksn_file_text
