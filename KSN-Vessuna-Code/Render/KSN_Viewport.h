// TODO(stub): stand-ins for the viewport subsystem with only what the
// application object uses: names, indices, masks, the display settings, the
// standard views, the lock, and the depth buffer's size and type. The
// rendering itself does not exist yet.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "KSN_Application.h"
#include "KSN_PolygonLayer.h"
#include "KSN_Thingy.h"

// TODO(stub): the camera base of the viewport.
class TQOR3DViewport : public virtual TKSN_Thingy {
public:
    void Lock() { locked = true; }
    void Unlock() { locked = false; }
    bool IsLocked() const { return locked; }
    float viewMatrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

private:
    bool locked = false;
};

// TODO(stub): a viewport's render set-up.
class TKSN_RenderSetup {
public:
    TKSN_RenderSetup() = default;
    virtual ~TKSN_RenderSetup() = default;
    // TODO(stub): the background grid and pattern are built again on the next draw.
    void InvalidateBackgroundGrid() { backgroundGridBuilt = false; }
    static void InvalidateBackgroundPattern() {}
    bool backgroundGridBuilt = false;
};

// TODO(stub): one of the four viewports.
class TKSN_Viewport : public TQOR3DViewport {
public:
    TKSN_Viewport() = default;
    // The flag marks the view as an automatic standard view.
    void SetToFront(bool automatic);
    void SetToTop(bool automatic);
    void SetToLeft(bool automatic);
    void SetToBack(bool automatic);

    int32_t index = 0;
    uint32_t layerMask1 = 0, layerMask2 = 0;
    uint32_t furtherMask1 = 0, furtherMask2 = 0;
    TKSN_Layer layer;   // the viewport's display settings
    std::unique_ptr<TKSN_RenderSetup> renderSetup;
    TKSN_StandardView standardView = TKSN_StandardView::Front;
    bool automaticStandardView = false;

    // TODO(stub): what the document reads and raises on a viewport; the
    // cached image, grab texture and projection do not exist yet.
    // Rendered-scene status: 0 valid, 1 partly changed, 2 must be rendered again.
    void SetRenderedSceneStatus(int32_t status) { renderedSceneStatus = status > renderedSceneStatus ? status : renderedSceneStatus; }
    void ClearRenderedSceneStatus() { renderedSceneStatus = 0; }
    int32_t GetRenderedSceneStatus() const { return renderedSceneStatus; }
    void InvalidateGrabTexture() {}
    void ClearRenderedPixels() {}
    // Fits the projection to the box (3 floats each).
    void SetupMatrix(const float* /*min*/, const float* /*max*/) {}
    void calcViewVolumePlanes() {}
    bool shown = true;                       // part of the current viewport layout

    // TODO(stub): the "viewport" block of the project file with the least of
    // what this stand-in holds: the view matrix as "RotationMatrix", "Current",
    // "ViewLocked", "AutoView", "CopyViewportIndex", "DisplayMode",
    // "MaterialChannelName", then the display layer's own keys. framed writes
    // the block's "viewport <index>" header and braces.
    bool SaveToStream_Text(FILE* file, bool framed) override;
    // Sets loaded, then takes the keys above; any other key goes to the display layer.
    bool LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value) override;
    void SetAutoView(bool value) { automaticStandardView = value; }
    bool GetAutoView() const { return automaticStandardView; }
    bool loaded = false;                     // a line of a "viewport" block was read into it
    int32_t copyViewportIndex = -1;
    int32_t displayMode = 3;
    int32_t renderedSceneStatus = 0;
    char materialChannelName[64] = "Color";  // the channel the viewport displays
};

// TODO(stub): a work depth buffer (type 0: 4 bytes per pixel, type 1: 1 byte).
class TKSN_DepthBuffer {
public:
    TKSN_DepthBuffer() = default;
    virtual ~TKSN_DepthBuffer() = default;
    void SetType(int32_t newType) { type = newType; }
    // 0 x 0 releases the memory.
    void Resize(int32_t newWidth, int32_t newHeight);
    int32_t type = 0;
    int32_t width = 0, height = 0;
    std::vector<unsigned char> data;
};
