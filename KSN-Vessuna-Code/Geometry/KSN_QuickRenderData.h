// TKSN_QuickRenderData: the per-node settings of the quick render and its six
// map slots.
//
// The record lives here, below the renderer, because the mesh root's
// displacement validation fills one to sample displacement maps; the quick
// render builds one on the stack for every node it draws. A slot borrows the
// pixels of a material's map (3 bytes per pixel, rows of Width pixels, row 0
// first) and never owns them. An empty slot is all zero with both texel steps
// at 1e10, so that no UV extent counts as coarser than a missing map.
//
// Materials are classes of the materials library above this one; the slots
// are filled through the small declared interface at the end, which that
// library defines.
#pragma once

#include <cstdint>

class TQORMaterial;
class TQORMaterialMapSource;

// Slot indices of TKSN_QuickRenderData::Textures.
enum : int32_t {
    KSN_QR_SLOT_COLOR = 0,
    KSN_QR_SLOT_AMBIENT = 1,
    KSN_QR_SLOT_SPECULAR = 2,
    KSN_QR_SLOT_BUMP = 3,
    KSN_QR_SLOT_DISPLACEMENT = 4,
    KSN_QR_SLOT_TRANSPARENCY = 5,
    KSN_QR_SLOT_COUNT = 6,
};

struct TKSN_QuickRenderDataTextureData {
    const uint8_t* Pixels = nullptr;   // 3 bytes per pixel; null: no map
    int32_t Width = 0, Height = 0;     // map pixels
    float Strength = 0.0f;
    uint8_t StrengthByte = 0;          // Strength × 255, clamped to 0..255
    float Scale = 0.0f;                // what a height sample is multiplied by (object units)
    float Offset = 0.0f;               // subtracted from a displacement sample (0..1) before scaling
    uint8_t Color[3] = {0, 0, 0};
    float TexelStepU = 1e10f;          // UV extent above which an edge is coarser than this map
    float TexelStepV = 1e10f;

    void Init() { *this = TKSN_QuickRenderDataTextureData(); }
    // Binds the source's pixels (none: no map). The steps follow the map only
    // when it has pixels; strength, scale, offset and colour are left alone.
    void AssignMap(TQORMaterialMapSource* source, float stepScale);
    bool HasMap() const { return Pixels && Width > 0 && Height > 0; }
};

struct TKSN_QuickRenderData {
    TKSN_QuickRenderData();
    // Copies would point their slot pointers at the original.
    TKSN_QuickRenderData(const TKSN_QuickRenderData&) = delete;
    TKSN_QuickRenderData& operator=(const TKSN_QuickRenderData&) = delete;

    void Init();
    void ClearMaps();

    float Matrix[16];                  // object space to normalised view coordinates (OpenGL order)
    float ViewDirection[3];
    bool CullBackFaces = false;
    float InvZoomSquared = 0.0f;
    float SplitThreshold = 0.0f;       // squared view length from which an edge may split
    float MinEdgeSquared = 0.0f;       // squared view length below which an edge is short
    int32_t MaxLevel = 10;
    float ViewBoundX = 1.0f, ViewBoundY = 1.0f;
    TKSN_QuickRenderDataTextureData Textures[KSN_QR_SLOT_COUNT];
    TKSN_QuickRenderDataTextureData* TextureSlots[KSN_QR_SLOT_COUNT];
};

// Fills a slot from the material's channel of that slot (strength, its byte,
// offset, colour, and the bound map's pixels with steps from stepScale). A
// material without the channel leaves the slot as it is; answers whether the
// channel exists. Scale is the caller's.
bool KSN_FillQuickRenderSlot(TKSN_QuickRenderDataTextureData& slot, TQORMaterial* material, int slotIndex,
                             float stepScale);

// [SECTION] Declared interface, defined in the materials library

// The channel of the slot index (KSN_QR_SLOT_*) of the material: values gets
// its strength, offset and colour (five floats), hasBinding whether its map ID
// names a live map binding and source that binding's source (or null). False,
// touching nothing, when the material is null or lacks the channel.
bool KSN_GetMaterialChannelInfo(TQORMaterial* material, int slotIndex, float* values, bool* hasBinding,
                                TQORMaterialMapSource** source);
// The source's pixels when it holds 3 bytes per pixel, else null; w and h its size.
const uint8_t* KSN_GetMapSourceRGBPixels(TQORMaterialMapSource* source, int32_t& w, int32_t& h);
