// TKSN_Layer: a polygon layer, and a viewport's bundle of display settings.
//
// The project owns 32 polygon layers, one per number 0..31. Layer 0 ("All
// Polygons") stands for every polygon and has no membership bit; layer n of
// 1..31 owns bit n - 1 of a polygon's 32-bit LayerFlags word. A layer is in
// use while its thingy is enabled; layers not in use keep their slot.
//
// The same record is a viewport's display settings: there DisplayFlags choose
// shading, wireframe, overlays and texture filtering, and "UseViewportDefault"
// means "take the main viewport's settings" (on a polygon layer it means "the
// viewport's own settings apply").
//
// The text form is the "layer" block: the thingy's basic lines, "Color", one
// line per display flag and "Locked". A viewport's block embeds the body
// without a block of its own.
//
// Main thread only.
#pragma once

#include "KSN_Thingy.h"

#include <cstdint>
#include <cstdio>

class TKSN_Layer : public virtual TKSN_Thingy {
public:
    // Display flag bits; each is written under its own key in the "layer"
    // block. 0x10 and bits above 0x400 have no meaning.
    static constexpr uint32_t UseViewportDefault = 0x1;
    static constexpr uint32_t Textured = 0x2;
    static constexpr uint32_t Stippled = 0x4;           // every other pixel (pseudo-transparent)
    static constexpr uint32_t WireFrame = 0x8;          // outlines only
    static constexpr uint32_t Hidden = 0x20;
    static constexpr uint32_t Smooth = 0x40;
    static constexpr uint32_t Filter = 0x80;            // linear texture filtering
    static constexpr uint32_t WireFrameOverlay = 0x100;
    static constexpr uint32_t VertexOverlay = 0x200;
    static constexpr uint32_t UseLighting = 0x400;
    static constexpr uint32_t DefaultDisplayFlags = UseViewportDefault | Textured | Smooth | UseLighting;   // 0x443

    TKSN_Layer();
    // A layer that carries the number index (0..31) from the start.
    explicit TKSN_Layer(int32_t index);
    ~TKSN_Layer() override;

    // Back to the initial values (Index becomes 0); name and enabled state stay.
    void Init();
    // Display flags, lock, colour, name and enabled state of other; the
    // main-viewport mark, the built-in mark and Index stay.
    void Copy(TKSN_Layer* other);

    bool IsHidden() const { return (DisplayFlags & Hidden) != 0; }

    // The "layer" block (withBlock), or only its body lines at the current depth.
    bool SaveToStream_Text(FILE* file, bool withBlock) override;
    // Keys compare with case; unknown keys answer false.
    bool LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value) override;

    uint32_t DisplayFlags = DefaultDisplayFlags;
    bool Locked = false;
    float Color[3] = {0.7f, 0.7f, 0.8f};   // red, green, blue, 0..1
    bool IsMainViewportSettings = false;   // the main viewport's display settings
    bool IsBuiltIn = false;                // layers 0, 30, 31: selections are added only when forced
    int32_t Index = 0;                     // the layer's number 0..31 in the project
};
