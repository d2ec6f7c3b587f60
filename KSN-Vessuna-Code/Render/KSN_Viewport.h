// TODO(stub): stand-ins for the viewport subsystem (and the polygon layer
// record a viewport holds) with only what the application object uses: names,
// indices, masks, the layer record, the standard views, the lock, and the
// depth buffer's size and type. The rendering itself does not exist yet.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "KSN_Application.h"
#include "KSN_Thingy.h"

// TODO(stub): the layer record of the materials subsystem.
struct TKSN_Layer {
    static constexpr uint32_t UseViewportDefault = 0x1;
    uint32_t flags = 0x443;          // "UseViewportDefault", "Textured", "Smooth", "UseLighting"
    bool locked = false;
    float color[3] = {0.7f, 0.7f, 0.8f};
    bool mainViewport = false;       // first boolean after the colour
    bool secondFlag = false;
    int32_t value = 0;
    void Init() { *this = TKSN_Layer(); }
};

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
    TKSN_Layer layer;
    std::unique_ptr<TKSN_RenderSetup> renderSetup;
    TKSN_StandardView standardView = TKSN_StandardView::Front;
    bool automaticStandardView = false;
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
