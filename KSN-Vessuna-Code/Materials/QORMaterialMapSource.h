// TQORMaterialMapSource: the paintable map.
//
// The texture a material channel shows, that the painting tools write into
// and that the project file carries: an RGB image map (3 bytes a pixel, row 0
// at the bottom) with an optional alpha mask of one byte a pixel beside it
// (0 transparent, 255 opaque).
//
// A map may have layers. It then holds, for every map layer of its layer
// group, one layer map: another map source of the same size whose pixels and
// mask are that layer's paint. The map's own pixels and mask then hold the
// composite of its visible layers (the resolved image), which ResolveLayers
// computes block by block on the worker pool. While the project has no map
// layers a map is painted into directly and its resolved image is its own
// pixels.
//
// Invariants:
// - The resolved image is cut into a grid of 64 x 64 blocks, each with a valid
//   flag; the stale queue lists exactly the blocks whose flag is 0, each once,
//   in the order they went stale. A new map has every block stale.
// - Marking blocks stale (InvalidateResolvedMap, InvalidateResolvedMapInUVRange)
//   and taking the queue for a resolution happen under the map's grid mutex,
//   so paint threads may mark one map concurrently.
// - When the mask has pixels it is the map's size: SetDimensions and Resize
//   keep it so (SetDimensions also makes it fully opaque).
// - A map owns its layer maps (through its layer-data-set part), its mask and
//   its overdraw map. Layer maps live only inside their map, never in the
//   project's map list, and have no layers of their own.
//
// Threads: the pixel accessors take the owner mutex of the image map, which
// nests on one thread. ResolveLayers runs on the main thread and holds the
// worker pool for the call; its workers only read and write through pointers
// fetched beforehand.
//
// Files: QORMaterialMapSource.cpp (creation, size, layer maps, stale blocks),
// QORMaterialMapSource_Io.cpp (image files and the "map" block),
// QORMaterialMapSource_Resolve.cpp (layer resolution and the preview).
#pragma once

#include "KSN_Layer.h"
#include "KSN_MapLayer.h"
#include "OS.h"
#include "QORImageMap.h"

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

class TQORMaterialMapSource;

// Side of new blank maps in pixels; the options change it.
extern int QORDefaultTextureSize;

// [SECTION] Stand-ins for the project and the application

// The project's map list (TKSN_Project::GetMapList) and its map-layer group
// belong to the project document, above this library. The project
// assigns these at start-up; unset, there are no maps and no map layers.
struct TQORMaterialMapSourceProjectHooks {
    // Appends every map source of the project's maps tree, in list order
    // (layer maps are not in it).
    void (*GetMapList)(std::vector<TQORMaterialMapSource*>& maps) = nullptr;
    // The project's "*Map Layers" group.
    TKSN_MapLayerGroup* (*GetMapLayerGroup)() = nullptr;
};
extern TQORMaterialMapSourceProjectHooks QORMaterialMapSource_ProjectHooks;

// Plugs the map sources into the map layers' hooks (invalidating a map's
// resolved image, the first layer's take-over). Every map source constructor
// calls it; start-up may call it earlier.
void QORMaterialMapSource_RegisterMapLayerHooks();

// TKSN_Application::GetBackgroundGridColorsForTextures, above this library
// (two checkerboard colours, 3 bytes each, drawn behind transparent parts of
// a resolved map). Start-up assigns it; unassigned, both colours are black.
void QORMaterialMapSource_AssignBackgroundGridColors(TQORImageMap_GridColorsFunc func);

// [SECTION] Map source

class TQORMaterialMapSource : public TQORImageMap, public TKSN_LayerData, public TKSN_LayerDataSet {
public:
    static constexpr int GridDimension = 64;   // blocks per side
    static constexpr int BlockCount = GridDimension * GridDimension;

    // Named "Map.PNG", enabled, every block stale; no pixels yet.
    TQORMaterialMapSource();
    // Mask, overdraw map, then the layer maps, then the image.
    ~TQORMaterialMapSource() override;

    // [Overrides of the image map]
    // Preview texture from the resolved pixels (stale blocks are resolved
    // first); the arguments are not used. Main thread.
    void MakeThumbnail(float* unused1, float* unused2) override;
    // The map's own pixels: the resolved image as it last stood for a map
    // with layers (nothing is resolved here).
    unsigned char* GetPixels() override;
    // The current layer's pixels; null when the map has no layers, its group
    // has none, or no layer map exists (and create is clear).
    unsigned char* GetCurrentLayerPixels(bool create) override;
    // The image map's SetDimensions; then a mask that has pixels becomes
    // width x height and fully opaque, also when nothing changed.
    void SetDimensions(int width, int height, char bytesPerPixel) override;
    void InvalidateHelpers() override;
    // The whole resolved image goes stale.
    void OnWholeMapChanged() override;
    // The blocks under a rectangle of texture coordinates (u, v in 0..1) go stale.
    void OnPartialMapChanged(float* uvMin, float* uvMax) override;
    // Reads an image file as RGB, its alpha channel or mask colour into the
    // mask. False (map unchanged) when the file cannot be read. Notifies
    // nothing beyond SetDimensions: the caller invalidates the resolved image.
    bool ImportFile(const char* path) override;
    // Writes the map's own pixels (and a mask that fits the map as alpha);
    // the file type follows the extension. The resolved image is invalidated
    // afterwards either way. True when the file was written.
    bool ExportFile(const char* path) override;

    // [Operations added to the slots]
    // The mask's pixels; null when the map has no mask.
    virtual unsigned char* GetAlphaMaskPixels();
    // The layer map of the tree's first layer (see the source); the current
    // layer does not change.
    virtual TQORMaterialMapSource* GetFirstLayerMap(bool create);
    // The layer map of the current layer; the map itself when its group's
    // root is not a layer group or has no map layer; null without a group.
    virtual TQORMaterialMapSource* GetCurrentLayerMap(bool create);
    // ResolveLayers(false), then the pixels or the mask.
    virtual unsigned char* GetResolvedPixels();
    virtual unsigned char* GetResolvedAlphaMaskPixels();
    // Bilinear resampling of the pixels, the mask (when present) and every layer map.
    virtual void Resize(int width, int height);
    using TQORImageMap::Resize;
    // The legacy binary chunk is not used for maps: nothing is written or read.
    bool SaveToStream(FILE* file) override;
    bool LoadFromStream(FILE* file) override;
    // The body of a "map" block (the flag is not used); see the source.
    bool SaveToStream_Text(FILE* file, bool flag) override;
    // Keys of a "map" block; false only for a "layer" that names no map layer.
    // Throws (QORThrowException "Invalid data in file") on a malformed blob.
    bool LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value) override;

    // [Creation and copying]
    // SetDimensions(width, height, 3), file name "", every byte k set from
    // colour[k mod 3] (0..1) when a colour is given; notifies.
    void Initialize(int width, int height, float* colour);
    // Initialize with the default texture size (at most 20000) on each side.
    void InitializeBlank(float* colour);
    // width x height x 3 bytes from rgb; notifies.
    void InitializeWithPixelData(int width, int height, unsigned char* rgb);
    // Size, pixels, name, file name, enabled state and aspect of source (not
    // its mask or layers); copied-from becomes source's ID. Nothing when the
    // source has no pixels. A mask of this map is left fully opaque.
    void Copy(TQORMaterialMapSource* source);

    // [Mask]
    bool HasAlphaMask() const { return AlphaMask.GetPixelBytes() > 0; }
    // Whether the mask is the map's size (also true for 0 x 0 on both).
    bool IsAlphaMaskValid();
    TQORImageMap& GetAlphaMask() { return AlphaMask; }
    // Sized and filled by the project's painting preparation.
    TQORImageMap& GetOverdrawMap() { return OverdrawMap; }

    // [Layer maps]
    // For no layer: null when the map's layer group holds items, else the map
    // itself. For a layer: its layer map (never the map itself), made with
    // create as a W x H map of black, fully transparent pixels.
    TQORMaterialMapSource* GetMapLayer(TKSN_LayerDefinition* layer, bool create);

    // [Stale blocks and resolution]
    // Every block stale and queued.
    void InvalidateResolvedMap();
    // Marks the blocks a texture rectangle touches, widened by two pixels;
    // uvMin, uvMax: (u, v) in 0..1. Safe from several threads at once.
    void InvalidateResolvedMapInUVRange(float* uvMin, float* uvMax);
    // Composites the stale blocks from the visible layers on the worker pool;
    // forExport leaves out the checkerboard behind transparent parts. Does
    // nothing without a layer group, without layers or without stale blocks.
    // Main thread only.
    void ResolveLayers(bool forExport);
    // Block (x, y) is index y * 64 + x.
    bool IsBlockValid(int block);
    // The stale queue, in order.
    std::vector<int32_t> GetStaleBlocks();

    // [Names and settings]
    // Cuts everything up to the last backslash; forward slashes are kept.
    void SetMapFileName(const char* name);
    const char* GetMapFileName() const { return MapFileName.c_str(); }
    // Copies the name into out, cut safely at size bytes.
    void GetMapFileName(char* out, int size = TOS_PATH_BUFFER) const;
    const char* GetFileFormat() const { return FileFormat.c_str(); }
    uint32_t GetCopiedFromID() const { return CopiedFrom; }
    float GetAspect() const { return Aspect; }
    void SetAspect(float aspect) { Aspect = aspect; }
    const float* GetDefaultColor() const { return DefaultColor; }
    void SetDefaultColor(const float* rgb);
    bool IsRelevantToPainting() const { return RelevantToPainting; }
    void SetRelevantToPainting(bool relevant) { RelevantToPainting = relevant; }

private:
    // Appends block i to the stale queue unless it is stale already. Caller
    // holds GridMutex.
    void MarkBlockStale(int block);
    void InvalidateAllBlocksLocked();
    // The "layer" key of a "map" block.
    bool LoadLayerBlock(FILE* file, const char* layerName);
    // The "data" and "mask" keys.
    void LoadDataBlob(FILE* file);
    void LoadMaskBlob(FILE* file);
    void SaveDataBlob(FILE* file);

    std::string MapFileName;
    std::mutex GridMutex;                           // guards the next three
    std::vector<uint8_t> BlockValid;                // 1 = up to date
    std::vector<int32_t> StaleQueue;                // block indices, in marking order
    int32_t StaleQueueLength = 0;
    bool RelevantToPainting = false;
    TQORImageMap AlphaMask;
    TQORImageMap OverdrawMap;
    uint32_t CopiedFrom = 0;
    float Aspect = 1.0f;
    std::string FileFormat = "PNG";                 // at most 255 characters
    float DefaultColor[3] = {1.0f, 1.0f, 1.0f};
};

// [SECTION] Layer resolution

// One step of a worker: a clear, a blend of one layer, or the final
// un-darkening over the checkerboard, on the pixels x0 <= x < x1, y0 <= y < y1.
struct TResolveLayer_BlockInfo {
    int32_t x0 = 0, y0 = 0;
    int32_t x1 = 0, y1 = 0;
    TKSN_MapLayer* layer = nullptr;               // null for the two background steps
    unsigned char* sourcePixels = nullptr;        // the layer map's RGB
    unsigned char* sourceAlpha = nullptr;         // the layer map's mask, null for none
    bool postMix = false;                         // the checkerboard step
    TKSN_MixMapLayersFunction mixFunction = nullptr;
};

// The steps of one run of stale blocks, in order (clear, blends, post-mix on
// one rectangle); different jobs touch disjoint pixels, so any pool slot may
// take any job.
struct TResolveLayer_Job {
    unsigned char* destinationPixels = nullptr;   // the map's RGB
    unsigned char* destinationAlpha = nullptr;    // the map's mask
    int32_t width = 0, height = 0;
    unsigned char firstGridColor[3] = {0, 0, 0};
    unsigned char secondGridColor[3] = {0, 0, 0};
    std::vector<TResolveLayer_BlockInfo> steps;
};

// Set while the pool resolves for an export; read by the post-mix step.
extern bool ResolvingLayersForExport;

// The pool function: runs the steps of one TResolveLayer_Job; returns null.
void* ResolveMapLayer_Func(void* job);
// Colour and alpha of the rectangle become 0. height and the colours are not used.
void MixMapLayers_FillInBlack(unsigned char* rgb, unsigned char* alpha, int x0, int y0, int x1, int y1, int width,
                              int height, unsigned char* colourA, unsigned char* colourB);
// Undoes the darkening of the black start (colour x 255 / alpha, held at 255)
// and, unless ResolvingLayersForExport, lays the colour over a checkerboard of
// 4 x 4-pixel cells (colourA where x / 4 + y / 4 is odd). Alpha is kept.
void MixMapLayers_PostMixGridGrid(unsigned char* rgb, unsigned char* alpha, int x0, int y0, int x1, int y1, int width,
                                  int height, unsigned char* colourA, unsigned char* colourB);
// The same one pixel at a time: the reference the post-mix above matches byte
// for byte (a test compares them).
void MixMapLayers_PostMixGridGrid_Scalar(unsigned char* rgb, unsigned char* alpha, int x0, int y0, int x1, int y1,
                                         int width, int height, unsigned char* colourA, unsigned char* colourB);
