// Sculpt layers, their group and the vertex maps that hold the displacements.
//
// [SECTION] Helpers
// [SECTION] Sculpt layer
// [SECTION] Sculpt-layer group
// [SECTION] Vertex map
#include "KSN_SculptLayer.h"

#include "KSN_Project.h"
#include "QORMemory.h"
#include "QORString.h"
#include "QORTextBlock.h"
#include "QORVirtualMemory.h"

#include <bit>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

// The blob is the floats in memory order; files are little-endian.
static_assert(std::endian::native == std::endian::little, "vertex-map blobs are written in memory order");

// [SECTION] Helpers

namespace {

struct TBlendTypeName {
    const char* name;
    const char* shortName;
};

constexpr TBlendTypeName SculptBlendTypes[2] = {
    {"Surface Detail", "Detail"},
    {"Freeform Sculpt", "Sculpt"},
};

// out holds at least 16 bytes (the layer window's buffers); every name fits.
void CopyName(char* out, const char* name)
{
    std::strncpy(out, name, 15);
    out[15] = '\0';
}

void WriteIndentedLine(FILE* file, const char* key, const std::string& value)
{
    for (int i = 0; i < TextFileIndent; ++i)
        std::fputc('\t', file);
    std::fprintf(file, "%s\t%s\n", key, value.c_str());
}

// Eight decimals in the "C" notation whatever the locale.
std::string FormatFloat(float value)
{
    char buffer[64];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, double(value), std::chars_format::fixed, 8);
    return error == std::errc() ? std::string(buffer, end) : std::string("0.00000000");
}

// Optional blanks and sign, then the leading digits (atoi); 0 when there are
// none. Out-of-range values are held at the ends of int.
int ParseInt(const char* value)
{
    const long n = std::strtol(value, nullptr, 10);
    if (n > INT_MAX) return INT_MAX;
    if (n < INT_MIN) return INT_MIN;
    return int(n);
}

} // namespace

// [SECTION] Sculpt layer

TKSN_SculptLayer::TKSN_SculptLayer()
{
    SetStrength(1.0f);
    SetCurrentBlendType(1);
}

void TKSN_SculptLayer::GetBlendTypeName(int type, char* out) const
{
    CopyName(out, type == 0 || type == 1 ? SculptBlendTypes[type].name : "undef");
}

void TKSN_SculptLayer::GetBlendTypeNameShort(int type, char* out) const
{
    CopyName(out, type == 0 || type == 1 ? SculptBlendTypes[type].shortName : "undef");
}

bool TKSN_SculptLayer::SaveToStream_Text(FILE* file, bool withBlock)
{
    TStartTextFileBlock block("sculptLayer", GetName(), file, withBlock);
    SaveBasicStuff_Text(file);
    WriteIndentedLine(file, "BlendType", std::to_string(GetCurrentBlendType()));
    // Strength, lock and hide travel too, so a saved project comes back as it was.
    WriteIndentedLine(file, "Strength", FormatFloat(GetStrength()));
    WriteIndentedLine(file, "Locked", IsLocked() ? "1" : "0");
    WriteIndentedLine(file, "Hidden", IsHidden() ? "1" : "0");
    return true;
}

bool TKSN_SculptLayer::LoadFromStream_Text_ConsiderCommand(FILE* /*file*/, char* key, char* value)
{
    if (std::strcmp(key, "BlendType") == 0) {
        SetCurrentBlendType(ParseInt(value));
    } else if (std::strcmp(key, "Strength") == 0) {
        SetStrength(float(std::strtod(value, nullptr)));   // LC_NUMERIC stays "C"
    } else if (std::strcmp(key, "Locked") == 0) {
        if (ParseInt(value) != 0)
            Lock();
        else
            Unlock();
    } else if (std::strcmp(key, "Hidden") == 0) {
        if (ParseInt(value) != 0)
            Hide();
        else
            Unhide();
    }
    return true;
}

// [SECTION] Sculpt-layer group

TKSN_LayerDefinition* TKSN_SculptLayerGroup::CreateNewLayerRaw()
{
    return new TKSN_SculptLayer;
}

void TKSN_SculptLayerGroup::InvalidateAllLayers()
{
    if (Project) Project->ResolveAllSculptLayers();
}

bool TKSN_SculptLayerGroup::LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value)
{
    // The tree group takes "Hidden" and "group" lines (and answers false for
    // every other key, so its answer only tells whether it took the line).
    if (TKSN_LayerGroup::LoadFromStream_Text_ConsiderCommand(file, key, value)) return true;
    if (QORstrcmpi(key, "sculptLayer") == 0)
        if (TKSN_LayerDefinition* layer = CreateNewLayer())
            layer->LoadFromStream_Text(file);
    return true;
}

bool TKSN_SculptLayerGroup::LoadSubGroup(FILE* file, char* /*key*/, char* value)
{
    auto* group = new TKSN_SculptLayerGroup;
    group->SetName("%s", value);
    // Linked before it reads, so the tree owns it even if reading throws.
    LinkChild(group);
    group->LoadFromStream_Text(file);
    return true;
}

// [SECTION] Vertex map

TKSN_VertexMap::TKSN_VertexMap()
{
    RegisterForLookup();
}

TKSN_VertexMap::~TKSN_VertexMap()
{
    QORVirtualMemory_Delete(MemoryHandle);
    MemoryHandle = 0;
    FreeData();
}

void TKSN_VertexMap::FreeData()
{
    QORfree(Data);
    Data = nullptr;
    ValuesHeld = 0;
}

void TKSN_VertexMap::SetCount(int count, int dim)
{
    FreeData();
    Count = count > 0 ? count : 0;
    Dim = dim > 0 ? dim : 0;
    const int64_t values = int64_t(Count) * int64_t(Dim);
    if (values > 0) {
        Data = static_cast<float*>(QORalloc(uint64_t(values) * sizeof(float)));
        ValuesHeld = values;
        std::memset(Data, 0, size_t(values) * sizeof(float));
    }
}

void TKSN_VertexMap::Clear()
{
    if (Data && ValuesHeld > 0) std::memset(Data, 0, size_t(ValuesHeld) * sizeof(float));
}

bool TKSN_VertexMap::HasData() const
{
    return Data && Count > 0 && Dim > 0 && ValuesHeld == int64_t(Count) * int64_t(Dim);
}

bool TKSN_VertexMap::SaveToStream_Text(FILE* file, bool /*flag*/)
{
    WriteIndentedLine(file, "Count", std::to_string(Count));
    WriteIndentedLine(file, "Dim", std::to_string(Dim));
    // A map without data writes an empty blob, which reads back as no data.
    const int64_t bytes = HasData() ? ValuesHeld * int64_t(sizeof(float)) : 0;
    if (bytes > INT_MAX) QORThrowException("The sculpt layer data is too large to be saved (%lld bytes).", (long long)bytes);
    SaveBinaryDataToTextFile(file, bytes > 0 ? Data : nullptr, int(bytes), "data");
    return true;
}

bool TKSN_VertexMap::LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value)
{
    if (std::strcmp(key, "Count") == 0) {
        Count = ParseInt(value);
    } else if (std::strcmp(key, "Dim") == 0) {
        Dim = ParseInt(value);
    } else if (QORstrcmpi(key, "data") == 0) {
        int bytes = 0;
        void* blob = LoadBinaryDataArrayFromTextFile(file, &bytes);
        // In 64 bits: a damaged Count or Dim must not wrap round to a match.
        const int64_t expected = int64_t(Dim) * int64_t(Count) * int64_t(sizeof(float));
        if (blob && Count > 0 && Dim > 0 && int64_t(bytes) == expected) {
            FreeData();
            Data = static_cast<float*>(blob);
            ValuesHeld = int64_t(Count) * int64_t(Dim);
        } else {
            QORfree(blob);
        }
    }
    return true;
}
