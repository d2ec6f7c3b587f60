// Map layers: the layer definitions of paintable maps.
//
// Every paintable map keeps one image and one alpha mask per map layer; the
// resolved map is those images composited bottom to top, each with the kernel
// of its layer's blend type. TKSN_MapLayer adds to the layer definition the 23
// blend types with their long and short names, the choice of kernel, a base
// flag, the invalidation of the resolved image of every map that holds data
// for the layer, and the "mapLayer" block of the project file:
//
//     mapLayer<TAB><name>
//     {
//         Name / ReadOnly / Collapsed / ID / Current   (thingy basics)
//         BlendType<TAB>%d
//         IsBase<TAB>0|1
//         Strength<TAB>%.8f
//     }
//
// An unknown blend type (from a file or a setter) is kept as it is, named
// "undef" and composited as Normal.
#pragma once

#include "KSN_Layer.h"

#include <cstdio>

// A compositing kernel: mixes the pixels x0 <= x < x1, y0 <= y < y1 of the
// layer's RGB image (3 bytes a pixel) and its 1-byte mask (null for none) into
// the resolved RGB image and resolved alpha, all `width` pixels wide. `height`
// is not used.
using TKSN_MixMapLayersFunction = void (*)(TKSN_MapLayer* layer, unsigned char* resolved,
                                           unsigned char* resolvedAlpha, unsigned char* layerPixels,
                                           unsigned char* layerMask, int x0, int y0, int x1, int y1,
                                           int width, int height);

// TODO(stub): stands for the map sources (paintable maps) and the project's
// map list, which come later. Until they exist, their owner registers these
// hooks at start-up; unset hooks do nothing.
struct TKSN_MapSourceHooks {
    // When thingy is a map source: its resolved image composites again on its
    // next use. Anything else is ignored.
    void (*InvalidateResolvedMap)(TKSN_Thingy* thingy) = nullptr;
    // For each map of the project's map list, in list order: the map's layer
    // map for layer is created and takes over the map's pixels (and alpha
    // mask), and the map's resolved image is invalidated.
    void (*TakeOverFirstLayer)(TKSN_MapLayer* layer) = nullptr;
};
extern TKSN_MapSourceHooks KSN_MapSourceHooks;

class TKSN_MapLayer : public TKSN_LayerDefinition {
public:
    TKSN_MapLayer();
    ~TKSN_MapLayer() override;

    // A map layer only marks its maps stale; they composite on their next use.
    void ResolveInvalidData() override;
    int GetBlendTypeCount() const override;   // 23
    // Long and short names of the blend types; "undef" outside 0..22. The
    // longest, "Saturation Down", needs 16 bytes.
    void GetBlendTypeName(int type, char* out) const override;
    void GetBlendTypeNameShort(int type, char* out) const override;

    // The kernel of the current blend type; Normal for any unknown type.
    TKSN_MixMapLayersFunction GetMixFunction() const;
    // For every map that holds data for this layer, in ascending ID: its
    // resolved image composites again on its next use. IDs that name nothing
    // or no map are skipped.
    void InvalidateResolvedMaps();

    bool IsBase() const { return isBase; }
    void SetBase(bool value) { isBase = value; }

    // The "mapLayer" block; withBlock false writes only its lines. True.
    bool SaveToStream_Text(FILE* file, bool withBlock) override;
    // "BlendType", "IsBase" and "Strength" (exact case); true for every key.
    bool LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value) override;

private:
    bool isBase = false;   // the project's preferred current layer
};
