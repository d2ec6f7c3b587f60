// Materials, channels and map bindings; see QORMaterial.h.
//
// Index: [SECTION] File names, Channel, Map binding, Material, Declared interface.
#include "QORMaterial.h"

#include "QORLanguage.h"
#include "QORMaterialMapSource.h"
#include "QORString.h"
#include "QORTextBlock.h"

#include <algorithm>
#include <charconv>
#include <cstring>

// ============================================================================
// [SECTION] File names
// ============================================================================

void CleanFileNameFromDifferent_OS(char* path)
{
    if (!path) return;
    char* lastBackslash = std::strrchr(path, '\\');
    if (!lastBackslash) return;
    // The tail moves down over the folders, its terminator with it.
    std::memmove(path, lastBackslash + 1, std::strlen(lastBackslash + 1) + 1);
}

// ============================================================================
// [SECTION] Channel
// ============================================================================

TQORMaterialChannel::TQORMaterialChannel() = default;
TQORMaterialChannel::~TQORMaterialChannel() = default;

void TQORMaterialChannel::GetMapFileName(char* destination, int size) const
{
    if (!destination || size <= 0) return;
    const size_t n = std::min(MapFileName.size(), size_t(size) - 1);
    std::memcpy(destination, MapFileName.data(), n);
    destination[n] = '\0';
}

void TQORMaterialChannel::SetMapFileName(const char* name)
{
    std::string stored = name ? name : "";
    const size_t lastBackslash = stored.rfind('\\');
    if (lastBackslash != std::string::npos) stored.erase(0, lastBackslash + 1);
    MapFileName = std::move(stored);
}

namespace {

// Menu labels of the listed channels (names with case).
struct TChannelLabel {
    const char* name;
    int text;
};
constexpr TChannelLabel ChannelLabels[] = {
    {"Color", 1129},    {"Bump", 1130},     {"Transparency", 1127},
    {"Displacement", 1128}, {"Specular", 1131}, {"Ambient", 1132},
};

} // namespace

const char* TQORMaterialChannel::GetTruncatedDisplayName() const
{
    const char* name = GetName();
    for (const TChannelLabel& label : ChannelLabels)
        if (std::strcmp(label.name, name) == 0) return Lang.GetText(label.text);
    return name;
}

void TQORMaterialChannel::Copy(TQORMaterialChannel* source)
{
    if (!source || source == this) return;
    SetName("%s", source->GetName());
    SetMapFileName(source->GetMapFileName());
    MapID = source->MapID;
    MinStrength = source->MinStrength;
    MaxStrength = source->MaxStrength;
    Strength = source->Strength;
    Offset = source->Offset;
    for (int c = 0; c < 3; ++c) Color[c] = source->Color[c];
    UseColor = source->UseColor;
    UseOffset = source->UseOffset;
    Listed = source->Listed;
    Unsupported = source->Unsupported;
    TextureIndex = source->TextureIndex;
}

// ============================================================================
// [SECTION] Map binding
// ============================================================================

TQORMaterialMap::TQORMaterialMap()
{
    RegisterForLookup();
}

TQORMaterialMap::~TQORMaterialMap() = default;

TQORMaterialMapSource* TQORMaterialMap::GetMapSource() const
{
    if (MapSourceID == 0) return nullptr;
    return dynamic_cast<TQORMaterialMapSource*>(__GetThingyFromID(MapSourceID));
}

bool TQORMaterialMap::SaveToStream_Text(FILE* file, bool)
{
    if (!file) return true;
    for (int i = 0; i < TextFileIndent; ++i) std::fputc('\t', file);
    std::fprintf(file, "%s\t%u\n", "ID", GetID());
    return true;
}

bool TQORMaterialMap::LoadFromStream_Text_ConsiderCommand(FILE*, char* key, char* value)
{
    if (key && value && std::strcmp(key, "ID") == 0) {
        // A value that is no ID names no object.
        uint32_t id = 0;
        const char* end = value + std::strlen(value);
        if (std::from_chars(value, end, id).ec != std::errc()) id = 0;
        SavedID = id;
    }
    return true;
}

// ============================================================================
// [SECTION] Material
// ============================================================================

namespace {

// One row of the standard channel table.
struct TStandardChannel {
    const char* name;
    bool useColor;
    float color;          // all three components
    float strength;
    float minStrength;
    bool useStrength;
    float offset;
    bool useOffset;
    bool listed;
};

constexpr TStandardChannel StandardChannels[] = {
    {"Color", true, 1.0f, 1.0f, 0.0f, false, 0.0f, false, true},
    {"Transparency", false, 1.0f, 0.0f, 0.0f, true, 0.0f, false, true},
    {"Bump", false, 1.0f, 1.0f, -1.0f, true, 0.5f, true, true},
    {"Displacement", false, 1.0f, 0.1f, -1.0f, true, 0.5f, true, true},
    {"Specular", true, 0.0f, 1.0f, 0.0f, false, 0.0f, false, true},
    {"Ambient", true, 0.0f, 1.0f, 0.0f, false, 0.0f, false, true},
    // Kept with every material, but not offered in the interface.
    {"Glossy", false, 1.0f, 0.1f, 0.0f, true, 0.0f, false, false},
};

constexpr int SpecularHintText = 596;

} // namespace

TQORMaterial::TQORMaterial()
    : ArbChannels(16)
{
    for (const TStandardChannel& row : StandardChannels) {
        auto* channel = new TQORMaterialChannel;
        channel->SetName("%s", row.name);
        channel->UseColor = row.useColor;
        for (float& c : channel->Color) c = row.color;
        channel->Strength = row.strength;
        channel->MinStrength = row.minStrength;
        channel->MaxStrength = 1.0f;
        channel->UseStrength = row.useStrength;
        channel->Offset = row.offset;
        channel->UseOffset = row.useOffset;
        channel->Listed = row.listed;
        if (std::strcmp(row.name, "Specular") == 0) channel->SetHint("%s", Lang.GetText(SpecularHintText));
        ArbChannels.Add(channel);
    }
}

TQORMaterial::~TQORMaterial()
{
    DeleteAllChannels();
}

void TQORMaterial::AddChannel(TQORMaterialChannel* channel)
{
    if (channel) ArbChannels.Add(channel);
}

void TQORMaterial::DeleteAllChannels()
{
    ResetCachedPointers();
    for (TQORMaterialChannel* channel : ArbChannels) delete channel;
    ArbChannels.Clear();
}

TQORMaterialChannel* TQORMaterial::GetChannelFromName(const char* name)
{
    if (!name) return nullptr;
    for (TQORMaterialChannel* channel : ArbChannels)
        if (channel && QORstrcmpi(channel->GetName(), name) == 0) return channel;
    return nullptr;
}

void TQORMaterial::CacheChannels()
{
    ColorChannel = GetChannelFromName("Color");
    TransparencyChannel = GetChannelFromName("Transparency");
    BumpChannel = GetChannelFromName("Bump");
    DisplacementChannel = GetChannelFromName("Displacement");
    SpecularChannel = GetChannelFromName("Specular");
    GlossyChannel = GetChannelFromName("Glossy");
    AmbientChannel = GetChannelFromName("Ambient");
}

void TQORMaterial::ResetCachedPointers()
{
    ColorChannel = BumpChannel = TransparencyChannel = DisplacementChannel = nullptr;
    SpecularChannel = GlossyChannel = AmbientChannel = nullptr;
}

bool TQORMaterial::IsMapInMaterial(TQORMaterialMap* binding)
{
    if (!binding) return false;
    const uint32_t id = binding->GetID();
    for (TQORMaterialChannel* channel : ArbChannels)
        if (channel && channel->GetMapID() == id) return true;
    return false;
}

void TQORMaterial::Copy(TQORMaterial* source)
{
    if (!source || source == this) return;
    SetName("%s", source->GetName());
    SecondName = source->SecondName;
    DeleteAllChannels();
    for (TQORMaterialChannel* from : source->ArbChannels) {
        if (!from) continue;
        auto* channel = new TQORMaterialChannel;
        channel->Copy(from);
        ArbChannels.Add(channel);
    }
}

void TQORMaterial::CopyWithChannelFlags(TQORMaterial* source)
{
    if (!source || source == this) return;
    Copy(source);
    const int n = std::min(ArbChannels.Count(), source->ArbChannels.Count());
    for (int i = 0; i < n; ++i)
        if (ArbChannels[i] && source->ArbChannels[i]) ArbChannels[i]->UseStrength = source->ArbChannels[i]->UseStrength;
}

// ============================================================================
// [SECTION] Declared interface
// ============================================================================

TQORMaterial* KSN_NewMaterial(const char* name)
{
    auto* material = new TQORMaterial;
    material->SetName("%s", name ? name : "");
    return material;
}

void KSN_DeleteMaterial(TQORMaterial* material)
{
    delete material;
}

TQORMaterial* KSN_MaterialFromThingy(TKSN_Thingy* item)
{
    return dynamic_cast<TQORMaterial*>(item);
}

const char* KSN_GetMaterialSecondName(const TQORMaterial* material)
{
    return material ? material->SecondName.c_str() : "";
}

void KSN_DeleteMaterialMap(TQORMaterialMap* binding)
{
    delete binding;
}
