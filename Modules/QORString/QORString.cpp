// String and file-name utilities (see QORString.h).
//
// Index: [Case and comparison] [File names] [White space and lines] [Numbers]
//        [Interface texts] [Formatting]
//
// Outputs are built in a std::string first and copied out at the end, so a
// caller may pass the same buffer as input and output.
#include "QORString.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

void CopyOut(char* out, std::string_view text)
{
    std::memcpy(out, text.data(), text.size());
    out[text.size()] = 0;
}

bool IsTrimChar(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// The C library's white-space set of the "C" locale.
bool IsCSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view Trimmed(std::string_view s)
{
    while (!s.empty() && IsTrimChar(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsTrimChar(s.back())) s.remove_suffix(1);
    return s;
}

// Case-insensitive match of pattern at text (text may be shorter).
bool MatchesAt(const char* text, const char* pattern)
{
    for (; *pattern; ++text, ++pattern)
        if (!*text || QOR_tolower(*text) != QOR_tolower(*pattern))
            return false;
    return true;
}

// Position of the dot that starts the extension of the last path component, or npos.
size_t ExtensionDot(std::string_view path)
{
    for (size_t i = path.size(); i-- > 0;) {
        if (path[i] == '/') return std::string_view::npos;
        if (path[i] == '.') return i;
    }
    return std::string_view::npos;
}

} // namespace

// [Case and comparison] ------------------------------------------------------

char QOR_toupper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }
char QOR_tolower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

int32_t QORstrcmpi(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b) {
        int d = int(static_cast<signed char>(QOR_tolower(*a))) - int(static_cast<signed char>(QOR_tolower(*b)));
        if (d != 0) return d;
    }
    if (*a) return 1;
    if (*b) return -1;
    return 0;
}

int32_t QORstrncmpi(const char* a, const char* b, uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i, ++a, ++b) {
        if (!*a || !*b) {
            if (*a) return 1;
            if (*b) return -1;
            return 0;
        }
        int d = int(static_cast<signed char>(QOR_tolower(*a))) - int(static_cast<signed char>(QOR_tolower(*b)));
        if (d != 0) return d;
    }
    return 0;
}

const char* QORstrstri(const char* text, const char* pattern)
{
    if (!*pattern) return nullptr;
    for (; *text; ++text)
        if (MatchesAt(text, pattern)) return text;
    return nullptr;
}

char* QORstrstri(char* text, const char* pattern)
{
    return const_cast<char*>(QORstrstri(static_cast<const char*>(text), pattern));
}

const char* strstri_last(const char* text, const char* pattern)
{
    const char* last = nullptr;
    for (const char* p = QORstrstri(text, pattern); p; p = QORstrstri(p + 1, pattern))
        last = p;
    return last;
}

char* strstri_last(char* text, const char* pattern)
{
    return const_cast<char*>(strstri_last(static_cast<const char*>(text), pattern));
}

// [File names] ---------------------------------------------------------------

void SeperateFileName(const char* path, char* folder, char* name)
{
    std::string p(path);
    size_t slash = p.rfind('/');
    size_t cut = slash == std::string::npos ? 0 : slash + 1;
    std::string f = p.substr(0, cut), n = p.substr(cut);
    CopyOut(folder, f);
    CopyOut(name, n);
}

void GetPathFromFileName(char* folder, const char* path)
{
    std::string_view p(path);
    size_t slash = p.rfind('/');
    size_t cut = slash == std::string_view::npos ? 0 : slash + 1;
    folder[cut] = 0;   // a prefix of path: safe even when folder == path
    std::memmove(folder, path, cut);
}

void GetShortNameFromFileName(char* name, const char* path, bool removeExtension)
{
    std::string_view p(path);
    size_t slash = p.rfind('/');
    std::string n(slash == std::string_view::npos ? p : p.substr(slash + 1));
    if (removeExtension) {
        size_t dot = n.rfind('.');
        if (dot != std::string::npos) n.resize(dot);
    }
    CopyOut(name, n);
}

void AddLastSlashIfNecessary(char* path)
{
    size_t len = std::strlen(path);
    if (len == 0 || path[len - 1] == '/') return;
    path[len] = '/';
    path[len + 1] = 0;
}

void RemoveExtensionFromFileName(char* path)
{
    char* dot = std::strrchr(path, '.');
    if (dot && dot != path) *dot = 0;
}

const char* GetExtensionFromFileName(const char* path)
{
    std::string_view p(path);
    size_t dot = ExtensionDot(p);
    return dot == std::string_view::npos ? path + p.size() : path + dot + 1;
}

char* GetExtensionFromFileName(char* path)
{
    return const_cast<char*>(GetExtensionFromFileName(static_cast<const char*>(path)));
}

void GetExtensionFromFileName(char* extension, const char* path)
{
    std::string e(GetExtensionFromFileName(path));
    CopyOut(extension, e);
}

void GetExtensionFromFileName(const char* path, char* nameWithoutExtension, char* extension)
{
    std::string p(path);
    size_t dot = ExtensionDot(p);
    std::string e = dot == std::string::npos ? std::string() : p.substr(dot + 1);
    // Without an extension the whole path is the name; a path ending in "." has
    // an empty extension and loses that dot, which is the same cut.
    if (nameWithoutExtension) CopyOut(nameWithoutExtension, std::string_view(p).substr(0, dot));
    CopyOut(extension, e);
}

// [White space and lines] ----------------------------------------------------

bool CharIsWhitespace(char c) { return c == ' ' || c == '\t'; }

bool StringContainsWhitespace(const char* text)
{
    return std::strpbrk(text, " \t") != nullptr;
}

void DeleteLeadingAndTrailingWhiteSpace(char* text)
{
    std::string_view t = Trimmed(text);
    std::memmove(text, t.data(), t.size());
    text[t.size()] = 0;
}

void GetCommandAndParameter(const char* line, char* command, char* parameter)
{
    std::string_view l(line);
    size_t start = 0;
    while (start < l.size() && IsCSpace(l[start])) ++start;
    size_t end = start;
    while (end < l.size() && !IsCSpace(l[end])) ++end;
    std::string cmd(l.substr(start, end - start));
    std::string par(cmd.empty() ? std::string_view() : Trimmed(l.substr(end)));
    CopyOut(command, cmd);
    CopyOut(parameter, par);
}

// [Numbers] ------------------------------------------------------------------

void FloatToStringWithCommas(char* out, float value, int32_t decimals)
{
    if (decimals < 0) decimals = 0;
    const double v = value;
    const double a = std::fabs(v);
    // log()/log(10), not log10(): 1000 gives 2 here, and the digit budget below
    // has always been computed that way.
    int f = 0;
    if (a > 1e-30 && std::isfinite(a)) f = int(std::log(a) / std::log(10.0));
    if (decimals + f > 5) decimals = std::max(0, 5 - f);

    char buf[QOR_FLOAT_WITH_COMMAS_MAX];
    std::snprintf(buf, sizeof buf, "%.*f", int(decimals), v);
    std::string s(buf);

    if (decimals > 0 && s.find('.') != std::string::npos) {
        while (!s.empty() && s.back() == '0') s.pop_back();
        if (!s.empty() && s.back() == '.') s.pop_back();
    }

    size_t intEnd = s.find('.');
    if (intEnd == std::string::npos) intEnd = s.size();
    size_t intStart = 0;
    while (intStart < intEnd && !IsDigit(s[intStart])) ++intStart;
    for (size_t pos = intEnd; pos > intStart + 3;) {
        pos -= 3;
        s.insert(pos, 1, ',');
    }
    CopyOut(out, s);
}

bool StringToFloatWithCommas(float& value, const char* text)
{
    const char* p = text;
    while (CharIsWhitespace(*p)) ++p;
    if (*p && !IsDigit(*p) && *p != '.' && *p != ',' && *p != '-' && *p != '+')
        return false;

    std::string number;
    for (; *p; ++p) {
        if (IsDigit(*p) || *p == '.' || *p == '-' || *p == '+')
            number += *p;
        else if (*p != ',')
            break;
    }

    // Read the longest leading decimal number, as atof does (no exponent or
    // other word can occur: only digits, dots and signs were collected).
    double d = std::strtod(number.c_str(), nullptr);
    value = float(d);

    std::string rest(Trimmed(p));
    if (QORstrcmpi(rest.c_str(), "M") == 0)
        value *= 1000000;
    else if (QORstrcmpi(rest.c_str(), "K") == 0)
        value *= 1000;
    return true;
}

// [Interface texts] ----------------------------------------------------------

char GetHotkeyFromUnderlinedLetterInText(const char* caption)
{
    for (const char* p = std::strchr(caption, '['); p; p = std::strchr(p, '[')) {
        char tag = p[1];
        const char* close = std::strchr(p + 1, ']');
        if (QOR_tolower(tag) == 'u')
            return close ? QOR_tolower(close[1]) : 0;
        if (!close) return 0;
        p = close + 1;
    }
    return 0;
}

bool VerifyPrintfString(const char* text, const char* reference)
{
    if (!text || !*text) return false;
    if (!reference) reference = "";
    const char* a = std::strchr(text, '%');
    const char* b = std::strchr(reference, '%');
    for (; a && b; a = std::strchr(a + 1, '%'), b = std::strchr(b + 1, '%')) {
        if (a[1] != b[1]) return false;
        if (!a[1]) return true;   // both end right after a "%"
    }
    return !a && !b;
}

// [Formatting] ---------------------------------------------------------------

std::string QORVFormat(const char* fmt, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    if (n <= 0) return std::string();
    std::string s(size_t(n), '\0');
    std::vsnprintf(s.data(), size_t(n) + 1, fmt, args);
    return s;
}

std::string QORFormat(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    std::string s = QORVFormat(fmt, args);
    va_end(args);
    return s;
}
