// Unique names: the naming rules of every named thing the user manages
// (polygon layers, morphs, maps, selections, polygon groups, materials).
//
// Index:
//   [SECTION] Matching and numbering over plain lists of names
//   [SECTION] Output buffers
//   [SECTION] Scopes of the document
//   [SECTION] Generators and testers
//   [SECTION] Copies, numbered names and list de-duplication
//
// The rules live in the KSN_* functions over plain lists of names, so they are
// the same whether the document or a test hands them the names; the
// document-facing functions only gather a scope's names and write the result.
//
// Names are compared without regard to case (QORstrcmpi). A name is never
// used as a printf or scanf format: material and group names may hold '%',
// and a name is matched and written literally whatever it holds.
#include "KSN_Project.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "KSN_Application.h"
#include "KSN_Mesh.h"
#include "KSN_Morph.h"
#include "KSN_Selection.h"
#include "QORLanguage.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"
#include "QORString.h"

// ============================================================================
// [SECTION] Matching and numbering over plain lists of names
// ============================================================================

namespace {

bool NamesEqual(const std::string& a, const char* b) { return QORstrcmpi(a.c_str(), b) == 0; }

bool IsTaken(const TKSN_NameList& names, const std::string& name)
{
    return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return NamesEqual(n, name.c_str()); });
}

bool IsScanSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// Reads text against "<wanted> (<number>": the wanted name's characters
// literally and case-sensitively, where any white space of the pattern takes
// any run of white space (also none), then '(' and a signed decimal integer;
// what follows the number is not looked at. These are the scanf rules the
// numbered forms have always been recognised by, minus the conversions that a
// '%' in a name would start.
bool ReadBracketNumber(const char* text, const char* wanted, int64_t& number)
{
    static constexpr const char* Tail = " (";
    const char* t = text;
    for (const char* patterns : {wanted, Tail}) {
        for (const char* p = patterns; *p;) {
            if (IsScanSpace(*p)) {
                while (IsScanSpace(*p)) ++p;
                while (IsScanSpace(*t)) ++t;
                continue;
            }
            if (*t != *p) return false;
            ++t;
            ++p;
        }
    }
    while (IsScanSpace(*t)) ++t;
    const char* digits = (*t == '+' || *t == '-') ? t + 1 : t;
    if (!std::isdigit(static_cast<unsigned char>(*digits))) return false;
    const long long value = std::strtoll(t, nullptr, 10);   // saturates on overflow
    number = value;
    return true;
}

std::string BracketName(const std::string& base, int64_t number)
{
    return base + " (" + std::to_string(number) + ")";
}

// The first number from `first` on whose bracket name is free. The bracket
// rule alone can hand out a taken name (a numbered form before the first
// plain one is not counted, and the number is read case-sensitively while a
// taken name is not), so the candidate is checked and stepped on when taken;
// at most one step per listed name.
int64_t FirstFreeNumber(const std::string& base, const TKSN_NameList& names, int64_t first)
{
    int64_t n = first;
    for (size_t guard = 0; guard <= names.size(); ++guard) {
        if (!IsTaken(names, BracketName(base, n))) return n;
        n = n < INT64_MAX ? n + 1 : 1;
    }
    return n;
}

// The bracket rule: the flag turns on at the first name equal to the wanted
// one; from there on every name is read for a number.
bool BracketMaximum(const char* wanted, const TKSN_NameList& names, int64_t& maximum)
{
    bool started = false;
    maximum = 0;
    for (const std::string& name : names) {
        if (!started && !NamesEqual(name, wanted)) continue;
        started = true;
        int64_t number = 0;
        if (ReadBracketNumber(name.c_str(), wanted, number) && number > maximum) maximum = number;
    }
    return started;
}

int64_t NextNumber(int64_t maximum) { return maximum < INT64_MAX ? maximum + 1 : 1; }

// Where the extension of a name starts: after the last '.' of its last path
// component; npos when there is none.
size_t ExtensionDot(const std::string& name)
{
    const size_t slash = name.find_last_of('/');
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string::npos;
    return dot;
}

std::string CutAtExtension(const std::string& name)
{
    const size_t dot = ExtensionDot(name);
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string ExtensionOf(const std::string& name)
{
    const size_t dot = ExtensionDot(name);
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

bool IsExportType(const std::string& extension, const TKSN_NameList& exportTypes)
{
    return IsTaken(exportTypes, extension);
}

} // namespace

std::string KSN_BracketNumberedName(const char* wanted, const TKSN_NameList& names)
{
    const std::string base = wanted ? wanted : "";
    int64_t maximum = 0;
    if (!BracketMaximum(base.c_str(), names, maximum)) return base;
    return BracketName(base, FirstFreeNumber(base, names, NextNumber(maximum)));
}

std::string KSN_UniqueMapName(const char* wanted, const TKSN_NameList& mapNames, const TKSN_NameList& exportTypes)
{
    const std::string name = wanted ? wanted : "";
    const std::string base = CutAtExtension(name);
    std::string extension = ExtensionOf(name);
    if (!IsExportType(extension, exportTypes) && !exportTypes.empty()) extension = exportTypes[0];

    TKSN_NameList bases;
    bases.reserve(mapNames.size());
    for (const std::string& mapName : mapNames) bases.push_back(CutAtExtension(mapName));

    std::string result = base;
    int64_t maximum = 0;
    if (BracketMaximum(base.c_str(), bases, maximum))
        result = BracketName(base, FirstFreeNumber(base, bases, NextNumber(maximum)));
    // Without any export type a name without extension stays without one
    // rather than ending in a bare dot.
    if (!extension.empty()) result += "." + extension;
    return result;
}

bool KSN_IsNameFree(const char* wanted, const TKSN_NameList& names)
{
    return !IsTaken(names, wanted ? wanted : "");
}

bool KSN_IsMapNameFree(const char* wanted, const TKSN_NameList& otherMapNames, const TKSN_NameList& exportTypes,
                       std::string* message)
{
    const std::string name = wanted ? wanted : "";
    const std::string extension = ExtensionOf(name);
    if (!IsExportType(extension, exportTypes)) {
        if (message) {
            std::string text = QORFormat(Lang.GetText(491), extension.c_str()) + "\n";
            for (size_t i = 0; i < exportTypes.size(); ++i) text += (i ? ", " : "") + exportTypes[i];
            *message = std::move(text);
        }
        return false;
    }
    const std::string base = CutAtExtension(name);
    return std::none_of(otherMapNames.begin(), otherMapNames.end(),
                        [&](const std::string& other) { return NamesEqual(CutAtExtension(other), base.c_str()); });
}

std::string KSN_CopyOfName(const char* name)
{
    std::string copy = name ? name : "";
    if (copy.size() >= 2) {
        size_t found = std::string::npos;
        if (copy.back() == '(') {
            found = copy.size() - 1;
        } else if (copy.back() == ')') {
            for (size_t i = copy.size() - 2; i >= 1; --i)
                if (copy[i] == '(') {
                    found = i;
                    break;
                }
        }
        if (found != std::string::npos) {
            copy.resize(found);
            while (!copy.empty() && (copy.back() == ' ' || copy.back() == '\t')) copy.pop_back();
        }
    }
    static constexpr const char* Suffix = " Copy";
    if (copy.size() > 5 && QORstrcmpi(copy.c_str() + copy.size() - 5, Suffix) == 0) return copy;
    return copy + Suffix;
}

void KSN_SplitNumberedName(const char* name, std::string& base, int64_t& number)
{
    base = name ? name : "";
    number = 0;
    size_t digits = base.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(base[digits - 1]))) --digits;
    if (digits == base.size() || digits == 0) return;   // no trailing digit, or digits only
    number = std::strtoll(base.c_str() + digits, nullptr, 10);   // saturates on overflow
    base.resize(digits);
}

std::string KSN_ListItemName(const TKSN_NameList& earlier, const char* name)
{
    const std::string whole = name ? name : "";
    std::string base;
    int64_t number = 0;
    KSN_SplitNumberedName(whole.c_str(), base, number);
    bool duplicate = false;
    int64_t maximum = 0;
    for (const std::string& other : earlier) {
        std::string otherBase;
        int64_t otherNumber = 0;
        KSN_SplitNumberedName(other.c_str(), otherBase, otherNumber);
        if (NamesEqual(other, whole.c_str())) duplicate = true;
        if (NamesEqual(otherBase, base.c_str())) maximum = std::max({maximum, otherNumber, number});
    }
    if (!duplicate) return whole;
    // A name of digits only is its own base, so "<base><n>" can meet a name
    // that was split differently ('1231' against '123' + 1): step on then.
    int64_t n = NextNumber(maximum);
    for (size_t guard = 0; guard <= earlier.size(); ++guard) {
        const std::string candidate = base + std::to_string(n);
        if (!IsTaken(earlier, candidate)) return candidate;
        n = NextNumber(n);
    }
    return base + std::to_string(n);
}

void KSN_MakeNamesUnique(TKSN_NameList& names)
{
    for (size_t j = 1; j < names.size(); ++j) {
        const TKSN_NameList earlier(names.begin(), names.begin() + std::ptrdiff_t(j));
        names[j] = KSN_ListItemName(earlier, names[j].c_str());
    }
}

bool Morph_NamesEqual(const char* a, const char* b)
{
    std::string left = a ? a : "";
    std::string right = b ? b : "";
    left.resize(std::min(left.find(':'), left.size()));
    right.resize(std::min(right.find(':'), right.size()));
    return QORstrcmpi(left.c_str(), right.c_str()) == 0;
}
