// Splits a text into tokens the way a command line is split.
//
// Default mode: tokens are separated by runs of spaces, tabs and newlines; a
// token that begins with a double quote runs to the next double quote that is
// followed by white space or the end of the text, without the quotes (an
// unterminated quote runs to the end). Dot-separated mode: tokens end at each
// "." and quotes mean nothing. There are no escape characters.
// Tokens point into the parser's own copy and live as long as the parser.
#pragma once

#include <vector>

#include "QORNewStaticList.h"

class TQORStringParser {
public:
    // A null text gives no tokens.
    TQORStringParser(const char* text, bool dotSeparated);
    TQORStringParser(const TQORStringParser&) = delete;
    TQORStringParser& operator=(const TQORStringParser&) = delete;

    // Read directly by callers: Tokens.Count() and Tokens[i].
    TQORNewStaticList<char*> Tokens;

private:
    std::vector<char> Copy;   // the parsed text with zeros written at token ends
};
