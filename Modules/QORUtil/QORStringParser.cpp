// Command-line style tokeniser (see QORStringParser.h).
#include "QORStringParser.h"

#include <cstring>

namespace {

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == '\n'; }

} // namespace

TQORStringParser::TQORStringParser(const char* text, bool dotSeparated)
{
    if (!text) return;
    Copy.assign(text, text + std::strlen(text) + 1);
    char* p = Copy.data();

    for (;;) {
        while (IsSeparator(*p)) ++p;
        if (!*p) break;

        if (dotSeparated) {
            Tokens.Add(p);
            while (*p && *p != '.') ++p;
            if (!*p) break;
            *p++ = 0;
            continue;
        }

        if (*p == '"') {
            // The closing quote is one followed by white space or the end; other
            // quotes belong to the token. Without one the token runs to the end.
            char* q = ++p;
            Tokens.Add(p);
            while (*q && !(*q == '"' && (IsSeparator(q[1]) || q[1] == 0))) ++q;
            if (!*q) break;
            bool atEnd = q[1] == 0;
            *q = 0;
            if (atEnd) break;
            p = q + 2;
            continue;
        }

        Tokens.Add(p);
        while (*p && !IsSeparator(*p)) ++p;
        if (!*p) break;
        *p++ = 0;
    }
}
