// Polygon layers: initial values, copying and the "layer" block.
#include "KSN_PolygonLayer.h"

#include "QORTextBlock.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <string_view>

namespace {

struct TDisplayFlagKey {
    const char* key;
    uint32_t bit;
};

// The order in which the block lists the flags.
constexpr TDisplayFlagKey DisplayFlagKeys[] = {
    {"UseViewportDefault", TKSN_Layer::UseViewportDefault},
    {"Textured", TKSN_Layer::Textured},
    {"Stippled", TKSN_Layer::Stippled},
    {"WireFrame", TKSN_Layer::WireFrame},
    {"WireFrameOverlay", TKSN_Layer::WireFrameOverlay},
    {"VertexOverlay", TKSN_Layer::VertexOverlay},
    {"Hidden", TKSN_Layer::Hidden},
    {"Smooth", TKSN_Layer::Smooth},
    {"Filter", TKSN_Layer::Filter},
    {"UseLighting", TKSN_Layer::UseLighting},
};

void WriteIndent(FILE* file)
{
    for (int i = 0; i < TextFileIndent; ++i)
        std::fputc('\t', file);
}

// Whether the value reads as a non-zero integer the way the C library's
// integer conversion reads it (leading blanks, a sign, then digits; anything
// else is 0), without its undefined overflow: a long run of digits simply
// counts as non-zero.
bool IntegerValueIsNonZero(const char* value)
{
    if (!value) return false;
    while (*value == ' ' || *value == '\t' || *value == '\n' || *value == '\r' || *value == '\f' || *value == '\v')
        ++value;
    if (*value == '+' || *value == '-') ++value;
    for (; std::isdigit(static_cast<unsigned char>(*value)); ++value)
        if (*value != '0') return true;
    return false;
}

// "%f %f %f": reads the components in order into rgb and stops at the first
// one that does not parse; the rest keep their values. "C" notation.
void ParseColor(const char* value, float* rgb)
{
    const char* p = value;
    const char* end = value + std::char_traits<char>::length(value);
    for (int c = 0; c < 3; ++c) {
        while (p < end && std::isspace(static_cast<unsigned char>(*p)))
            ++p;
        if (p < end && *p == '+') ++p;   // from_chars takes no plus sign
        float component = 0.0f;
        auto [next, error] = std::from_chars(p, end, component);
        if (error != std::errc()) return;
        rgb[c] = component;
        p = next;
    }
}

} // namespace

// The thingy base registers the layer for ID lookup.
TKSN_Layer::TKSN_Layer() = default;

TKSN_Layer::TKSN_Layer(int32_t index) : Index(index) {}

TKSN_Layer::~TKSN_Layer() = default;

void TKSN_Layer::Init()
{
    DisplayFlags = DefaultDisplayFlags;
    Locked = false;
    Color[0] = 0.7f;
    Color[1] = 0.7f;
    Color[2] = 0.8f;
    IsMainViewportSettings = false;
    IsBuiltIn = false;
    Index = 0;
}

void TKSN_Layer::Copy(TKSN_Layer* other)
{
    if (!other || other == this) return;
    DisplayFlags = other->DisplayFlags;
    Locked = other->Locked;
    for (int c = 0; c < 3; ++c)
        Color[c] = other->Color[c];
    SetName("%s", other->GetName());
    SetEnabled(other->IsEnabled());
}

bool TKSN_Layer::SaveToStream_Text(FILE* file, bool withBlock)
{
    TStartTextFileBlock block("layer", GetName(), file, withBlock);
    SaveBasicStuff_Text(file);

    WriteIndent(file);
    std::fprintf(file, "Color\t%.8f %.8f %.8f\n", double(Color[0]), double(Color[1]), double(Color[2]));
    for (const TDisplayFlagKey& flag : DisplayFlagKeys) {
        WriteIndent(file);
        std::fprintf(file, "%s\t%d\n", flag.key, (DisplayFlags & flag.bit) ? 1 : 0);
    }
    WriteIndent(file);
    std::fprintf(file, "Locked\t%d\n", Locked ? 1 : 0);
    return true;
}

bool TKSN_Layer::LoadFromStream_Text_ConsiderCommand(FILE*, char* key, char* value)
{
    if (!key || !value) return false;
    const std::string_view k(key);
    if (k == "Color") {
        ParseColor(value, Color);
        return true;
    }
    for (const TDisplayFlagKey& flag : DisplayFlagKeys) {
        if (k == flag.key) {
            if (IntegerValueIsNonZero(value))
                DisplayFlags |= flag.bit;
            else
                DisplayFlags &= ~flag.bit;
            return true;
        }
    }
    if (k == "Locked") {
        Locked = IntegerValueIsNonZero(value);
        return true;
    }
    return false;
}
