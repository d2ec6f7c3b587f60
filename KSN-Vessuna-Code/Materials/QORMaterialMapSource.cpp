// TQORMaterialMapSource: creation, size, pixels, layer maps and stale blocks.
//
// [Index]
//   [Hooks]          the map layers' hooks that only a map source can answer
//   [Lifetime]       constructor, destructor
//   [Creation]       Initialize, InitializeBlank, InitializeWithPixelData, Copy
//   [Size]           SetDimensions, Resize
//   [Pixels]         GetPixels, mask access, resolved pixels
//   [Layer maps]     GetMapLayer, GetCurrentLayerMap, GetFirstLayerMap, ...
//   [Names]          map file name, default colour
//   [Stale blocks]   change notifications and the block grid
#include "QORMaterialMapSource.h"

#include "QORImage.h"
#include "QORImageMap_Internal.h"

#include <algorithm>
#include <cstring>
#include <numeric>

int QORDefaultTextureSize = 2048;
TQORMaterialMapSourceProjectHooks QORMaterialMapSource_ProjectHooks;

namespace {

// The live object of that ID as class T, or null (ID 0, gone, other class).
template <class T>
T* ThingyAs(uint32_t ID)
{
    return ID ? dynamic_cast<T*>(__GetThingyFromID(ID)) : nullptr;
}

// Colour component 0..1 to a byte: above 255 gives 255, below 0 (or not a
// number) gives 0, else truncated.
unsigned char ColourByte(float c)
{
    const float v = c * 255.0f;
    if (!(v > 0.0f)) return 0;
    if (v > 255.0f) return 255;
    return static_cast<unsigned char>(int(v));
}

// [Hooks] ---------------------------------------------------------------------

void InvalidateResolvedMapOfThingy(TKSN_Thingy* thingy)
{
    if (auto* map = dynamic_cast<TQORMaterialMapSource*>(thingy)) map->InvalidateResolvedMap();
}

// The content a map had before the project had map layers becomes its first
// layer: pixels and mask move into the layer map, and the map composites
// afresh from it.
void TakeOverFirstLayer(TKSN_MapLayer* layer)
{
    if (!layer || !QORMaterialMapSource_ProjectHooks.GetMapList) return;
    std::vector<TQORMaterialMapSource*> maps;
    QORMaterialMapSource_ProjectHooks.GetMapList(maps);
    for (TQORMaterialMapSource* map : maps) {
        if (!map) continue;
        TQORMaterialMapSource* layerMap = map->GetMapLayer(layer, true);
        if (!layerMap) continue;
        layerMap->Copy(map);
        if (map->HasAlphaMask()) layerMap->GetAlphaMask().Copy(&map->GetAlphaMask());
        map->InvalidateResolvedMap();
    }
}

} // namespace

// Every new map source registers again (any map source existing is reason
// enough), so hooks that someone replaced meanwhile are put back.
void QORMaterialMapSource_RegisterMapLayerHooks()
{
    static std::mutex registering;
    std::scoped_lock lock(registering);
    KSN_MapSourceHooks.InvalidateResolvedMap = InvalidateResolvedMapOfThingy;
    KSN_MapSourceHooks.TakeOverFirstLayer = TakeOverFirstLayer;
}

// [Lifetime] ------------------------------------------------------------------

TQORMaterialMapSource::TQORMaterialMapSource()
    : BlockValid(size_t(BlockCount), 0), StaleQueue(size_t(BlockCount)), StaleQueueLength(BlockCount)
{
    QORMaterialMapSource_RegisterMapLayerHooks();
    std::iota(StaleQueue.begin(), StaleQueue.end(), 0);
    SetName("Map.PNG");
    Enable();
    RegisterForLookup();
    HelpersInvalid = true;
}

// The members (mask and overdraw map among them) go first, then the
// layer-data-set part deletes the layer maps, then the image goes.
TQORMaterialMapSource::~TQORMaterialMapSource() = default;

// [Creation] ------------------------------------------------------------------

void TQORMaterialMapSource::Initialize(int width, int height, float* colour)
{
    TQORImageMapLock lock(OwnerMutex);
    // Created maps keep to the size rule that importing and reading use
    // (a side of 0 stays the empty map).
    width = std::min(width, QORMaxMapSide);
    height = std::min(height, QORMaxMapSide);
    SetDimensions(width, height, 3);
    MapFileName.clear();
    if (colour) {
        unsigned char rgb[3] = {ColourByte(colour[0]), ColourByte(colour[1]), ColourByte(colour[2])};
        ClearToColor(rgb);   // notifies
        return;
    }
    OnWholeMapChanged();
}

void TQORMaterialMapSource::InitializeBlank(float* colour)
{
    const int side = std::clamp(QORDefaultTextureSize, 0, QORMaxMapSide);
    Initialize(side, side, colour);
}

void TQORMaterialMapSource::InitializeWithPixelData(int width, int height, unsigned char* rgb)
{
    TQORImageMapLock lock(OwnerMutex);
    SetDimensions(width, height, 3);
    if (unsigned char* pixels = GetPixels(); pixels && rgb) ImageMap_CopyBytes(pixels, rgb, GetPixelBytes());
    OnWholeMapChanged();
}

void TQORMaterialMapSource::Copy(TQORMaterialMapSource* source)
{
    if (!source || source == this) return;
    if (!source->GetPixels()) return;
    TQORImageMapLock lock(OwnerMutex);
    Initialize(source->Width, source->Height, nullptr);
    CopiedFrom = source->GetID();
    Aspect = source->Aspect;
    SetEnabled(source->IsEnabled());
    unsigned char* to = GetPixels();
    unsigned char* from = source->GetPixels();
    // A source of another depth must not be read past its end.
    if (to && from) ImageMap_CopyBytes(to, from, std::min(GetPixelBytes(), source->GetPixelBytes()));
    MapFileName = source->MapFileName;
    SetName("%s", source->GetName());
}

// [Size] ----------------------------------------------------------------------

void TQORMaterialMapSource::SetDimensions(int width, int height, char bytesPerPixel)
{
    TQORImageMapLock lock(OwnerMutex);
    TQORImageMap::SetDimensions(width, height, bytesPerPixel);
    if (HasAlphaMask()) {
        AlphaMask.SetDimensions(width, height, 1);
        AlphaMask.ClearToValue(255);
    }
}

void TQORMaterialMapSource::Resize(int width, int height)
{
    TQORImageMapLock lock(OwnerMutex);
    TQORImageMap::Resize(width, height, QORImageMap_Resize_Bilinear);
    if (HasAlphaMask()) AlphaMask.Resize(Width, Height, QORImageMap_Resize_Bilinear);
    // Copied first: a layer map is not expected to touch this set, but the
    // walk must not depend on it.
    const TKSN_LayerIDMap entries = rawData;
    for (const auto& [definitionID, dataID] : entries) {
        auto* layerMap = ThingyAs<TQORMaterialMapSource>(dataID);
        if (layerMap && layerMap != this) layerMap->Resize(width, height);
    }
}

// [Pixels] --------------------------------------------------------------------

unsigned char* TQORMaterialMapSource::GetPixels()
{
    return TQORImageMap::GetPixels();
}

unsigned char* TQORMaterialMapSource::GetAlphaMaskPixels()
{
    TQORImageMapLock lock(OwnerMutex);
    return HasAlphaMask() ? AlphaMask.GetPixels() : nullptr;
}

bool TQORMaterialMapSource::IsAlphaMaskValid()
{
    TQORImageMapLock lock(OwnerMutex);
    return AlphaMask.GetWidth() == Width && AlphaMask.GetHeight() == Height;
}

unsigned char* TQORMaterialMapSource::GetResolvedPixels()
{
    TQORImageMapLock lock(OwnerMutex);
    ResolveLayers(false);
    return GetPixels();
}

unsigned char* TQORMaterialMapSource::GetResolvedAlphaMaskPixels()
{
    TQORImageMapLock lock(OwnerMutex);
    ResolveLayers(false);
    return GetAlphaMaskPixels();
}

// [Layer maps] ----------------------------------------------------------------

TQORMaterialMapSource* TQORMaterialMapSource::GetMapLayer(TKSN_LayerDefinition* layer, bool create)
{
    TQORImageMapLock lock(OwnerMutex);
    if (!layer) {
        auto* group = ThingyAs<TKSN_LayerGroup>(GetLayerTopGroupID());
        const bool hasLayers = group && group->items && group->items->Count() > 0;
        return hasLayers ? nullptr : this;
    }
    const auto entry = rawData.find(layer->GetID());
    if (entry != rawData.end()) {
        if (entry->second == GetID()) return nullptr;
        if (auto* layerMap = ThingyAs<TQORMaterialMapSource>(entry->second)) return layerMap;
    }
    if (!create) return nullptr;
    // Whatever else the entry named is dropped rather than left unowned.
    if (entry != rawData.end()) DeleteLayerData(layer->GetID());

    auto* layerMap = new TQORMaterialMapSource;
    layerMap->SetName("%s", GetName());
    layerMap->SetDimensions(Width, Height, 3);
    // Cleared so that exports and project files never carry stray bytes; the
    // transparent mask keeps the colour from showing until it is painted.
    if (unsigned char* pixels = layerMap->GetPixels()) ImageMap_FillBytes(pixels, 0, layerMap->GetPixelBytes());
    layerMap->AlphaMask.SetDimensions(Width, Height, 1);
    layerMap->AlphaMask.ClearToValue(0);
    layer->AddLayerDataForSet(this, layerMap);
    return layerMap;
}

TQORMaterialMapSource* TQORMaterialMapSource::GetCurrentLayerMap(bool create)
{
    TQORImageMapLock lock(OwnerMutex);
    auto* group = ThingyAs<TKSN_LayerGroup>(GetLayerTopGroupID());
    if (!group) return nullptr;
    TKSN_LayerGroup* root = group->GetRootLayerGroup();
    if (!root) return this;
    if (auto* current = ThingyAs<TKSN_MapLayer>(root->GetCurrentLayerID())) return GetMapLayer(current, create);
    if (root->items && root->items->Count() > 0)
        if (auto* first = dynamic_cast<TKSN_MapLayer*>((*root->items)[0])) {
            root->SetCurrentLayer(first);
            return GetMapLayer(first, create);
        }
    return this;
}

unsigned char* TQORMaterialMapSource::GetCurrentLayerPixels(bool create)
{
    TQORImageMapLock lock(OwnerMutex);
    TQORMaterialMapSource* layerMap = GetCurrentLayerMap(create);
    if (!layerMap || layerMap == this) return nullptr;
    return layerMap->GetPixels();
}

TQORMaterialMapSource* TQORMaterialMapSource::GetFirstLayerMap(bool create)
{
    TQORImageMapLock lock(OwnerMutex);
    auto* group = ThingyAs<TKSN_LayerGroup>(GetLayerTopGroupID());
    if (!group) return nullptr;
    TKSN_LayerGroup* root = group->GetRootLayerGroup();
    if (!root || !root->items || root->items->Count() == 0) return this;
    auto* first = dynamic_cast<TKSN_MapLayer*>((*root->items)[0]);
    if (!first) return this;
    return GetMapLayer(first, create);
}

// [Names] ---------------------------------------------------------------------

void TQORMaterialMapSource::SetMapFileName(const char* name)
{
    std::string text = name ? name : "";
    if (const size_t slash = text.rfind('\\'); slash != std::string::npos) text.erase(0, slash + 1);
    MapFileName = std::move(text);
}

void TQORMaterialMapSource::GetMapFileName(char* out, int size) const
{
    if (!out || size <= 0) return;
    const size_t n = std::min(MapFileName.size(), size_t(size) - 1);
    std::memcpy(out, MapFileName.data(), n);
    out[n] = 0;
}

void TQORMaterialMapSource::SetDefaultColor(const float* rgb)
{
    if (!rgb) return;
    std::copy(rgb, rgb + 3, DefaultColor);
}

// [Stale blocks] --------------------------------------------------------------

void TQORMaterialMapSource::InvalidateHelpers()
{
    HelpersInvalid = true;
}

void TQORMaterialMapSource::OnWholeMapChanged()
{
    {
        TQORImageMapLock lock(OwnerMutex);
        HelpersInvalid = true;
    }
    InvalidateResolvedMap();
}

void TQORMaterialMapSource::OnPartialMapChanged(float* uvMin, float* uvMax)
{
    {
        TQORImageMapLock lock(OwnerMutex);
        HelpersInvalid = true;
    }
    InvalidateResolvedMapInUVRange(uvMin, uvMax);
}

void TQORMaterialMapSource::InvalidateAllBlocksLocked()
{
    HelpersInvalid = true;
    std::fill(BlockValid.begin(), BlockValid.end(), uint8_t(0));
    std::iota(StaleQueue.begin(), StaleQueue.end(), 0);
    StaleQueueLength = BlockCount;
}

void TQORMaterialMapSource::InvalidateResolvedMap()
{
    std::scoped_lock lock(GridMutex);
    InvalidateAllBlocksLocked();
}

void TQORMaterialMapSource::MarkBlockStale(int block)
{
    if (!BlockValid[size_t(block)]) return;
    if (StaleQueueLength >= BlockCount) {
        InvalidateAllBlocksLocked();
        return;
    }
    BlockValid[size_t(block)] = 0;
    StaleQueue[size_t(StaleQueueLength++)] = block;
}

void TQORMaterialMapSource::InvalidateResolvedMapInUVRange(float* uvMin, float* uvMax)
{
    if (!uvMin || !uvMax) return;
    const int width = Width, height = Height;
    if (float(width) < 0.99f || float(height) < 0.99f) return;
    constexpr int n = GridDimension;
    // Truncated toward zero, then held inside the grid (a NaN gives 0).
    auto cell = [](float t) {
        const float v = t * float(n);
        if (!(v > 0.0f)) return 0;
        if (v >= float(n - 1)) return n - 1;
        return int(v);
    };
    // Two pixels of margin: bilinear sampling and the brush's edge reach
    // that far beyond the painted rectangle.
    const float a = 2.0f / float(width), b = 2.0f / float(height);
    const int x0 = cell(uvMin[0] - a), y0 = cell(uvMin[1] - b);
    const int x1 = cell(uvMax[0] + a), y1 = cell(uvMax[1] + b);

    std::scoped_lock lock(GridMutex);
    HelpersInvalid = true;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) MarkBlockStale(y * n + x);
}

bool TQORMaterialMapSource::IsBlockValid(int block)
{
    if (block < 0 || block >= BlockCount) return false;
    std::scoped_lock lock(GridMutex);
    return BlockValid[size_t(block)] != 0;
}

std::vector<int32_t> TQORMaterialMapSource::GetStaleBlocks()
{
    std::scoped_lock lock(GridMutex);
    return {StaleQueue.begin(), StaleQueue.begin() + StaleQueueLength};
}
