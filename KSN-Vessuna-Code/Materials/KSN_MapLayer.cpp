// Map layers: blend-type table, invalidation of the maps that hold the layer,
// and the "mapLayer" block.
//
// [SECTION] Blend types
// [SECTION] Map layer
// [SECTION] Text form
#include "KSN_MapLayer.h"

#include "KSN_LayerBlend.h"
#include "QORTextBlock.h"

#include <array>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

TKSN_MapSourceHooks KSN_MapSourceHooks;

// [SECTION] Blend types

namespace {

struct TBlendType {
    const char* name;
    const char* shortName;
    TKSN_MixMapLayersFunction mix;
};

// Indexed by blend type; the layer window lists the long names in this order.
constexpr std::array<TBlendType, 23> BlendTypes = {{
    {"Normal", "Norm", MixMapLayers_Normal},
    {"Lighten", "Light.", MixMapLayers_Lighten},
    {"Darken", "Dark.", MixMapLayers_Darken},
    {"Multiply", "Mult.", MixMapLayers_Multiply},
    {"Overlay", "Overlay", MixMapLayers_Overlay},
    {"Hard Light", "Hard L.", MixMapLayers_HardLight},
    {"Soft Light", "Soft L.", MixMapLayers_SoftLight},
    {"Dodge", "Dodge", MixMapLayers_Dodge},
    {"Burn", "Burn", MixMapLayers_Burn},
    {"Exclusion", "Excl.", MixMapLayers_Exclusion},
    {"Difference", "Diff.", MixMapLayers_Difference},
    {"Hue", "Hue", MixMapLayers_Hue},
    {"Hue Up", "Hue.Up", MixMapLayers_HueUp},
    {"Hue Down", "Hue.Dn", MixMapLayers_HueDown},
    {"Lightness", "Ltness", MixMapLayers_Lightness},
    {"Saturation", "Sat.", MixMapLayers_Saturation},
    {"Saturation Up", "Sat.Up", MixMapLayers_SaturationUp},
    {"Saturation Down", "Sat.Dn", MixMapLayers_SaturationDown},
    {"RGB Up", "RGB.Up", MixMapLayers_RgbUp},
    {"RGB Down", "RGB.Dn", MixMapLayers_RgbDown},
    {"Color", "Color", MixMapLayers_Color},
    {"Contrast Up", "Con.Up", MixMapLayers_ContrastUp},
    {"Contrast Down", "Con.Down", MixMapLayers_ContrastDown},
}};

const TBlendType* FindBlendType(int type)
{
    return type >= 0 && type < int(BlendTypes.size()) ? &BlendTypes[size_t(type)] : nullptr;
}

// Every name fits the 16 bytes callers provide.
constexpr bool NamesFitCallerBuffers()
{
    for (const TBlendType& t : BlendTypes)
        if (std::char_traits<char>::length(t.name) >= 16 || std::char_traits<char>::length(t.shortName) >= 16)
            return false;
    return true;
}
static_assert(NamesFitCallerBuffers());

} // namespace

// [SECTION] Map layer

TKSN_MapLayer::TKSN_MapLayer()
{
    currentBlendType = 0;
}

TKSN_MapLayer::~TKSN_MapLayer()
{
    dataSets.clear();
}

void TKSN_MapLayer::ResolveInvalidData()
{
    InvalidateResolvedMaps();
}

int TKSN_MapLayer::GetBlendTypeCount() const
{
    return int(BlendTypes.size());
}

void TKSN_MapLayer::GetBlendTypeName(int type, char* out) const
{
    const TBlendType* t = FindBlendType(type);
    std::strcpy(out, t ? t->name : "undef");
}

void TKSN_MapLayer::GetBlendTypeNameShort(int type, char* out) const
{
    const TBlendType* t = FindBlendType(type);
    std::strcpy(out, t ? t->shortName : "undef");
}

TKSN_MixMapLayersFunction TKSN_MapLayer::GetMixFunction() const
{
    const TBlendType* t = FindBlendType(GetCurrentBlendType());
    return t ? t->mix : BlendTypes[0].mix;
}

void TKSN_MapLayer::InvalidateResolvedMaps()
{
    if (!KSN_MapSourceHooks.InvalidateResolvedMap)
        return;
    // Copied first: invalidating a map may record or drop sets of this layer.
    const TKSN_LayerIDMap sets = dataSets;
    for (const auto& [setID, value] : sets) {
        if (auto* thingy = dynamic_cast<TKSN_Thingy*>(__GetThingyFromID(value)))
            KSN_MapSourceHooks.InvalidateResolvedMap(thingy);
    }
}

// [SECTION] Text form

namespace {

void WriteIndentedLine(FILE* file, const char* key, const char* value)
{
    for (int i = 0; i < TextFileIndent; ++i)
        std::fputc('\t', file);
    std::fprintf(file, "%s\t%s\n", key, value);
}

// The "C" notation whatever the locale, eight decimals ("0.25000000").
std::string FormatStrength(float value)
{
    char buffer[64];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, double(value), std::chars_format::fixed, 8);
    if (error != std::errc())
        return "0.00000000";
    return std::string(buffer, end);
}

// Optional blanks and sign, then the leading digits; 0 when there are none.
// Out-of-range values are held at the ends of int.
int ParseInt(const char* value)
{
    long n = std::strtol(value, nullptr, 10);
    if (n > INT_MAX)
        return INT_MAX;
    if (n < INT_MIN)
        return INT_MIN;
    return int(n);
}

} // namespace

bool TKSN_MapLayer::SaveToStream_Text(FILE* file, bool withBlock)
{
    TStartTextFileBlock block("mapLayer", GetName(), file, withBlock);
    SaveBasicStuff_Text(file);
    WriteIndentedLine(file, "BlendType", std::to_string(GetCurrentBlendType()).c_str());
    WriteIndentedLine(file, "IsBase", isBase ? "1" : "0");
    WriteIndentedLine(file, "Strength", FormatStrength(GetStrength()).c_str());
    return true;
}

bool TKSN_MapLayer::LoadFromStream_Text_ConsiderCommand(FILE* /*file*/, char* key, char* value)
{
    if (std::strcmp(key, "BlendType") == 0)
        SetCurrentBlendType(ParseInt(value));
    else if (std::strcmp(key, "IsBase") == 0)
        isBase = ParseInt(value) != 0;
    else if (std::strcmp(key, "Strength") == 0)
        SetStrength(float(std::strtod(value, nullptr)));   // LC_NUMERIC stays "C"
    return true;
}
