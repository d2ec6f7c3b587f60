// TKSN_Viewport: one of the application's four 3D views.
//
// Adds to the view maths of TQOR3DViewport the orthographic camera set-up for
// the displayed box, the six standard views, framing, the bookkeeping of the
// rendered image (a grabbed copy of the frame buffer for fast redraw, and the
// render set-up's software images that the painting code reads), the display
// settings that travel in the project file and the "viewport" text block.
//
// The rendered-scene status is 0 (cached image valid), 1 (only changed octree
// nodes must be drawn again) or 2 (full render); it only rises until the
// project's drawing clears it after a full render.
//
// This library sits below the project: what the viewport needs of it (the
// object list, which objects tools may act on) comes through
// TKSN_ViewportProjectHooks, registered once at start-up.
//
// Main thread only, except the validation counter (read by the culler).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "KSN_Application.h"
#include "KSN_DepthBuffer.h"
#include "KSN_PolygonLayer.h"
#include "KSN_Thingy.h"
#include "QOR3DViewport.h"
#include "QORTimer.h"

class TKSN_Object;
class TKSN_RenderSetup;
class TQORGrabTexture;

// 0 the given object, 1 the selected vertices of all objects, 2 all objects.
enum TKSN_Framing_Style : int32_t {
    KSN_FRAME_OBJECT = 0,
    KSN_FRAME_SELECTION = 1,
    KSN_FRAME_ALL = 2,
};

// What the viewports need of the project; unset entries answer "no objects"
// and "may act on every object".
struct TKSN_ViewportProjectHooks {
    std::vector<TKSN_Object*> (*GetObjectList)() = nullptr;
    bool (*CanAffectObject)(TKSN_Object* object) = nullptr;
};
void KSN_SetViewportProjectHooks(const TKSN_ViewportProjectHooks& hooks);
const TKSN_ViewportProjectHooks& KSN_GetViewportProjectHooks();

// Registers the combined matrix, projection, CubeInView and the direction test
// (NormalsMayFaceViewer) of the viewports with the octree (start-up).
void KSN_RegisterViewportOctreeServices();

constexpr int KSN_ViewportChannelNameSize = 256;   // bytes, terminator included

class TKSN_Viewport : public TQOR3DViewport, public virtual TKSN_Thingy {
public:
    TKSN_Viewport();
    ~TKSN_Viewport() override;
    TKSN_Viewport(const TKSN_Viewport&) = delete;
    TKSN_Viewport& operator=(const TKSN_Viewport&) = delete;

    void ClearRenderedSceneStatus() { renderedSceneStatus = 0; }
    // status := max(status, s); returns the new status.
    int32_t SetRenderedSceneStatus(int32_t s);
    int32_t GetRenderedSceneStatus() const { return renderedSceneStatus; }

    bool IsRenderedImageDisplayed() const { return DisplayedPixels != nullptr; }
    void ClearRenderedPixels();
    TKSN_DepthBuffer* GetDepthBuffer();
    // Each out-pointer given receives the set-up's image size and pixels; the
    // fifth argument is not used.
    void GetRenderedPixelInfo(int* w, int* h, unsigned char** colour, unsigned char** unlit, int** unused,
                              unsigned char** shade);

    // Grabs the viewport's rectangle of the frame buffer (needs a GL context).
    void OnCacheViewport();
    bool IsCachedViewportValid() const;
    void DrawCachedViewport();
    void InvalidateGrabTexture();
    // A new grab texture, which picks its method from the driver's abilities;
    // start-up calls it once the GL context is known.
    void RecreateGrabTexture();
    TQORGrabTexture* GetGrabTexture() { return GrabTexture.get(); }

    int GetValidationCounter();

    void CloneViewport(int index, bool autoView);
    void Copy(TKSN_Viewport* other);

    void SetToFront(bool autoView);
    void SetToBack(bool autoView);
    void SetToLeft(bool autoView);
    void SetToRight(bool autoView);
    void SetToTop(bool autoView);
    void SetToBottom(bool autoView);

    void FrameView(TKSN_Object* object, TKSN_Framing_Style style);
    // Steps 4-9 of framing over points already gathered (3 floats each).
    void FrameViewOnPoints(const std::vector<float>& points, bool emptyMeansOrigin);

    // Fits the camera to the world box and sets up every matrix.
    void SetupMatrix(const float* min, const float* max);
    void SetupModelViewMatrix();
    void SetupInverseMatrix();
    void GetUVBuffersForDisplacements(float& u, float& v, float displacement);

    // The "viewport" block (framed) or only its lines.
    bool SaveToStream_Text(FILE* file, bool framed) override;
    bool LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value) override;

    // ---- data (fields in declared order) --------------------------------
    int32_t renderedSceneStatus = 2;
    std::mutex ValidationMutex;
    int32_t ValidationCounter = 0;
    int32_t LastRenderFrame = 0;
    std::unique_ptr<TKSN_RenderSetup> renderSetup;   // made beside the viewport by KSN_NewViewport
    int32_t CopyViewportIndex = -1;
    float EyeDistance = 0.0f;
    float InverseModelViewMatrix[16] = {};
    float InverseProjectionMatrix[16] = {};
    std::unique_ptr<TQORGrabTexture> GrabTexture;
    TQORTimer Timer;
    uint32_t layerMask1 = 0;     // culling mask
    uint32_t layerMask2 = 0;     // painting mask
    uint32_t furtherMask1 = 0, furtherMask2 = 0;
    bool RefreshPending = false;
    bool Loaded = false;
    bool Current = false;
    bool Maximized = false;
    int32_t CameraID = 0;
    unsigned char* DisplayedPixels = nullptr;
    int32_t DisplayedWidth = 0, DisplayedHeight = 0;
    // 1 layer colours, 2 material colours, 3 current map channel, others simple grey.
    int32_t DisplayMode = 3;
    char materialChannelName[KSN_ViewportChannelNameSize] = "Color";
    TKSN_Layer layer;            // the display settings
    // The last of the four views of the application's standard set-up that
    // was chosen (front, top, left, back); the right and bottom views leave it.
    TKSN_StandardView standardView = TKSN_StandardView::Front;

private:
    void SetToStandardView(const float* constant, void (TKSN_Application::*get)(float*) const, bool autoView);
};

// The render set-up needs the complete viewport class (it keeps a copy).
#include "KSN_RenderSetup.h"
