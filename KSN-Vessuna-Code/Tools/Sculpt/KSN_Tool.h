// TKSN_Tool: the base of every interactive tool.
//
// The application makes one instance of each tool at start-up; exactly one is
// current. The viewport panel hands the current tool its presses, motions and
// releases in normalised viewport coordinates (x and y from -1 at the left and
// bottom edge to +1 at the right and top; a y distance times the viewport's
// aspect value, height / width, is comparable with an x distance).
//
// The base keeps the bookkeeping of one stroke, the capability word `Flags`
// that tells the rest of the program how to treat the tool, the three
// direction switches, the owned parameter list the tool panel is built from
// (KSN_Parameter.h), the shared size/strength/hardness values with their
// pen-pressure forms, and draws the cursor image and the motion guides
// (KSN_Tool_Draw.cpp; the only GL calls of the tool base).
//
// The tool library sits below the project and the main window in the link
// graph. What a tool needs of them (the user's culling choice, the brush
// outline, vertex culling, the mouse-wheel lock) comes through
// TKSN_ToolProjectHooks and TKSN_ToolWindowHooks, filled once at start-up
// (the project fills its part when it is made; see KSN_Project_ToolHooks.cpp).
// Unset hooks answer as a program without that service.
//
// Main thread only: the shared values, MaxMouseDisplacement and IsMirrorStroke
// are plain globals without locks.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "KSN_Thingy.h"
#include "QORNewStaticList.h"

class TKSN_ToolList;
class TKSN_Mesh;
class TKSN_MeshRoot;
class TKSN_Object;
class TKSN_Viewport;
class TKSN_Parameter;
class TKSN_Undo_Node;
class TQORglutTexture;
class TQOREvent;
class TQORMaterialMapSource;
class TKSN_LayerDefinition;

// [SECTION] Capability bits of TKSN_Tool::Flags that the framework reads.
constexpr uint32_t KSN_TOOL_AFFECTS_HIDDEN = 0x1;             // hidden geometry may be affected
constexpr uint32_t KSN_TOOL_POLYGON_INFO = 0x2;               // polygon-information display
constexpr uint32_t KSN_TOOL_MIRRORED_INPUT = 0x4;             // takes the project's mirror X/Y
constexpr uint32_t KSN_TOOL_SYMMETRIC = 0x10;                 // the project's symmetry applies
constexpr uint32_t KSN_TOOL_MOUSE_INPUT = 0x200;              // takes presses and motion in viewports
constexpr uint32_t KSN_TOOL_MOTION_OUTSIDE = 0x800;           // motion outside the viewport panel
constexpr uint32_t KSN_TOOL_NEEDS_MESH = 0x1000;              // needs a current mesh
constexpr uint32_t KSN_TOOL_NO_MIRRORED_REPEATS = 0x20000;    // vetoes bit 0x4's repeats
constexpr uint32_t KSN_TOOL_HONOURS_AXIS_LOCKS = 0x100000;    // Lock X/Y/Z (deformers)
constexpr uint32_t KSN_TOOL_SHIFT_AXIS_LOCK = 0x400000;       // Shift locks a stroke to its axis
constexpr uint32_t KSN_TOOL_NAVIGATION_LOCK = 0x800000;       // viewports nav-locked while in use
constexpr uint32_t KSN_TOOL_NO_SYMMETRIC_TEMP_MORPH = 0x1000000;
constexpr uint32_t KSN_TOOL_DEFAULT_FLAGS = 0xFF887629;

// Bit of the application's state word: the current tool was used since it became current.
constexpr uint32_t KSN_APP_TOOL_USED = 0x10;

// [SECTION] Hooks to the layers above

// The project's stroke settings the stroke engine reads each iteration.
struct TKSN_StrokeSettings {
    bool ExtraSoftBrushStrokes = false;
    bool DoAngleFade = false;
    float FadeCutoff = 0.05f;
    float FadeFalloff = 0.8f;
};

// What tools need of the project. Unset entries answer: user culling 0, no
// brush-image flips, outline valid, no outline, nothing culled, connected-
// surface switch off, no current viewport.
struct TKSN_ToolProjectHooks {
    int (*GetUserCullingMethod)() = nullptr;   // 0 none .. 4 per polygon, the user's choice
    void (*GetBrushImageFlips)(bool& flipX, bool& flipY) = nullptr;
    bool (*IsBrushShapeValid)(float size, float hardness) = nullptr;
    void (*SetupOverlayAndBrushShape)(TKSN_Viewport* viewport, float size, float hardness) = nullptr;
    // The brush outline: pixel offset pairs (x, y) around the brush centre; count in pairs.
    const int32_t* (*GetBrushOutline)(int& count) = nullptr;
    void (*StartVertexCullingIfNecessary)(bool start) = nullptr;
    void (*WaitForVertexCullingToBecomeReady)() = nullptr;
    bool (*IsVertexCulled)(TKSN_Mesh* mesh, TKSN_Viewport* viewport, int vertex) = nullptr;
    bool (*IsConnectedSurfaceOnly)() = nullptr;
    TKSN_Viewport* (*GetCurrentViewport)() = nullptr;
    void (*InvalidateOverlay)() = nullptr;

    // The stroke engine and the chisels (KSN_StrokeEngine.h, KSN_Chisel.h).
    // Unset entries answer: no objects, every object affectable, culling 0,
    // no symmetry, nothing picked, no current morph union, no axis locks, no
    // brush-shape image, the stroke settings off.
    void (*GetObjects)(std::vector<TKSN_Object*>& out) = nullptr;   // the project's objects, tree order
    bool (*CanAffectObject)(TKSN_Object* object) = nullptr;
    int (*GetCullingMethod)() = nullptr;    // the method in effect (not the user's choice)
    bool (*DoUseSymmetry)(TKSN_MeshRoot* mesh) = nullptr;
    // The polygon under (x, y) (normalised viewport coordinates) and its mesh
    // root (possibly a subdivision level); hit (3 floats, may be null) gets the
    // picked point in normalised coordinates with its depth. False: nothing there.
    bool (*GetClosestPolygonAndMesh)(TKSN_Viewport* viewport, TKSN_MeshRoot*& mesh, int& polygon, float x, float y,
                                     float* hit) = nullptr;
    void (*SetDeformingFlag)(bool on) = nullptr;
    void (*OnFullSurfaceChanged)() = nullptr;
    void (*CreateCurrentMorphForMeshIfNecessary)(TKSN_Mesh* mesh) = nullptr;
    // Records one undo node of the kind for the object (1002: the current morph).
    void (*SetupCurrentUndo)(TKSN_Object* object, int kind, int mode, const char* message, bool keepRedo) = nullptr;
    uint32_t (*GetCurrentMorphUnionID)() = nullptr;
    void (*GetAxisLocks)(bool& x, bool& y, bool& z) = nullptr;   // Lock X, Lock Y, Lock Z
    // The brush-shape image and its simplified image (one byte per pixel, w x h).
    void (*GetBrushShapeBitmaps)(int& w, int& h, const unsigned char*& shape,
                                 const unsigned char*& simplified) = nullptr;
    void (*GetStrokeSettings)(TKSN_StrokeSettings& out) = nullptr;
    // Every object's mesh, in the project's object order.
    void (*GetMeshes)(std::vector<TKSN_Mesh*>& out) = nullptr;
    void (*OnWholeMapChanged)(TQORMaterialMapSource* map) = nullptr;
    // The current sculpt layer (the tree's first one becomes current when none
    // is); null without one.
    TKSN_LayerDefinition* (*GetCurrentSculptLayer)() = nullptr;
    // The mesh's data for the current sculpt layer (3 floats per vertex);
    // with create, made for vertexCount vertices when missing. Null without.
    float* (*GetSculptLayerDeltas)(TKSN_Mesh* mesh, int vertexCount, bool create) = nullptr;
    // Whether the project's symmetry applies to the mesh (for tools that ask
    // with bit 0x10); flipped: the negative side is the working side.
    bool (*IsSymmetryOn)(TKSN_Mesh* mesh, bool& flipped) = nullptr;
    // The project's brush shape: one byte a pixel, row 0 first; null without one.
    const unsigned char* (*GetBrushShapeImage)(int& width, int& height) = nullptr;
    // Makes the brush tiling ready for the viewport and answers the
    // colourising brush texture (4 bytes a pixel, row 0 first), null while
    // colourising is off.
    const unsigned char* (*PrepareSculptBrushTexture)(TKSN_Viewport* viewport, int& width, int& height) = nullptr;
    // The brush-texture coordinates (u, v and a third) of a world point under
    // the tiling made ready last; reference is a point of the same surface
    // patch. Only reads, so pool threads may call it.
    void (*GetTiledUVMapForVertex)(TKSN_Viewport* viewport, float* uvw, const float* point, const float* reference,
                                   int vertex) = nullptr;
    // Records one undo step of what a displacement bake can change (the
    // maps' pixels and the materials' strengths).
    void (*BeforeBakeDisplacementMaps)() = nullptr;
    // A sculpt stroke's undo bracket: the state at its start, one undo step at its end.
    void (*BeginSculptStroke)() = nullptr;
    void (*EndSculptStroke)() = nullptr;
};
void KSN_SetToolProjectHooks(const TKSN_ToolProjectHooks& hooks);
const TKSN_ToolProjectHooks& KSN_GetToolProjectHooks();

// Point (3 floats) through a 4 x 4 matrix (column-major), divided by w.
void KSN_TransformPoint(const float* m, const float* p, float* out);
// The screen point (x, y, depth) of the corner nearest (x, y) of the polygon
// under (x, y), through the project's picking. 1: snapped; 0: no polygon
// there (screen untouched); -1: the polygon lies on no object's mesh.
int KSN_SnapToClosestCorner(TKSN_Viewport* viewport, float x, float y, float* screen);

// What tools need of the main window: the wheel is locked during a stroke.
struct TKSN_ToolWindowHooks {
    void (*LockMouseWheel)() = nullptr;
    void (*UnlockMouseWheel)() = nullptr;
};
void KSN_SetToolWindowHooks(const TKSN_ToolWindowHooks& hooks);

// [SECTION] Globals of the stroke and shared values

// Largest distance (normalised units, no aspect) of any motion point from the
// press point in the current stroke; 0 at every press.
extern float MaxMouseDisplacement;
// Set by the viewport panel while the current call is a mirrored repeat.
extern bool IsMirrorStroke;

// The tool base's shared values (tools that do not override the accessors).
extern float ToolSize, ToolNewAspect, ToolStrength, ToolHardness, ToolStepPercent, ToolDensity;
// The classic brushes' shared values (KSN_Brush.h); size is also the deformers' and chisels'.
extern float SelectionBrushSize, SelectionBrushNewAspect, SelectionBrushStrength, SelectionBrushHardness,
    SelectionBrushDensity, SelectionStepPercent;
extern float PaintBrushSize, PaintBrushNewAspect, PaintBrushStrength, PaintBrushHardness;
// Shared by the deformers and the chisels; their size is SelectionBrushSize.
extern float DeformerNewAspect, DeformerStrength, DeformerHardness, DeformerStepPercent, DeformerDensity,
    DeformerRigidness;
extern bool DeformerAutoSelect;

// [SECTION] Tool base

class TKSN_Tool : public virtual TKSN_Thingy {
public:
    TKSN_Tool();
    ~TKSN_Tool() override;
    TKSN_Tool(const TKSN_Tool&) = delete;
    TKSN_Tool& operator=(const TKSN_Tool&) = delete;

    virtual bool ActingAsABrush() { return false; }
    // Constrains the point by the direction switches and stores it as MouseX/Y.
    virtual void PreProcess_fx_fy(float& fx, float& fy);
    virtual bool* GetDirHorizPtr() { return &DirHoriz; }
    virtual bool* GetDirVertPtr() { return &DirVert; }
    virtual bool* GetDirDepthPtr() { return &DirDepth; }
    virtual bool GetDirHoriz() { return DirHoriz; }
    virtual bool GetDirVert() { return DirVert; }
    virtual bool GetDirDepth() { return DirDepth; }
    virtual void SetDirHoriz(bool on) { DirHoriz = on; }
    virtual void SetDirVert(bool on) { DirVert = on; }
    virtual void SetDirDepth(bool on) { DirDepth = on; }
    virtual bool DoAutoAlign() { return false; }
    virtual bool CanActOnSelectionOnly() { return false; }
    virtual bool AllDirectionsExclusive() { return false; }
    virtual bool DepthIsExclusive() { return true; }
    virtual bool DepthIsEnabled() { return true; }
    virtual bool DepthControlledHorizontally() { return true; }
    virtual bool DirectionIsEnabled() { return false; }
    virtual bool IsDirectionEverUsed() { return false; }
    virtual bool DirectionLocksMouse() { return true; }
    virtual bool CanUseExtraSoft() { return false; }
    virtual bool CanUseNoCulling() { return false; }
    virtual bool CanUseBackfaceCulling() { return false; }
    virtual bool CanUseSmartCulling() { return false; }
    virtual bool CanUsePerVertexCulling() { return false; }
    virtual const char* GetDepthName();
    virtual const char* GetDepthHint();
    // Whether Alt at the press turns on fine mode.
    virtual bool CanUseSensitiveMouse() { return false; }
    // v x SensitivityFactor in fine mode, else v.
    virtual float AdjustValueForSensitvity(float v);
    virtual bool RequiredCullingCalculations() { return false; }
    // Culling method in effect while the tool is current (0 none .. 4 per
    // polygon). Tools map the user's choice (GetUserCullingMethod), never the
    // project's effective method, so a reduced method climbs back.
    virtual int GetEffectiveCullingMethod() { return 0; }
    // Keeps one direction switch on and rebuilds the panel (command 431).
    virtual void OnDirChange(void* changed);
    virtual void OnParameterChange(TKSN_Parameter* parameter);
    virtual void UpdateParameters() {}
    virtual void UpdateHeaderParameters();
    virtual void UpdateFooterParameters() {}
    virtual void UpdateAllParameters();
    virtual bool IgnoreLockedViewportStatus() { return false; }
    virtual void OnViewportChanged(TKSN_Viewport* /*oldViewport*/, TKSN_Viewport* /*newViewport*/) {}
    // True for the horizontal and vertical switches while depth is on and exclusive.
    virtual bool ConsiderDisablingParameter(TKSN_Parameter* parameter);
    virtual bool RequiresHardwareRendering() { return false; }
    virtual bool DoFastSelectionAndDeformation() { return false; }
    virtual bool UsesSizeParameter();
    virtual bool UsesHardnessParameter();
    virtual bool UsesDensityParameter();
    virtual bool UsesStrengthParameter();
    virtual TKSN_Parameter* GetStrengthParameter();
    virtual TKSN_Parameter* GetSizeParameter();
    virtual TKSN_Parameter* GetHardnessParameter();
    virtual TKSN_Parameter* GetSpacingParameter();
    virtual TKSN_Parameter* GetDensityParameter();
    // The first parameter bound to data, or null.
    virtual TKSN_Parameter* GetParameterFromPtr(const void* data);
    virtual void OnInitialize() {}
    virtual void BeforeUpdateInterface() {}
    // Stroke bookkeeping; state 0 press, 1 release.
    virtual bool OnMouse(TKSN_Mesh* mesh, TKSN_Viewport* viewport, int button, int state, float fx, float fy);
    virtual bool OnDoubleClick(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy);
    virtual bool OnMotion(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy);
    // Motion guides, drawn in normalised coordinates (the caller sets identity matrices).
    virtual void DrawHorizVertMotion(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy);
    virtual void DrawDepthMotionViaConcentricBoxes(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy);
    virtual void DrawDepthMotionHorizontally(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy);
    virtual void DrawInitialCrossHairs(TKSN_Mesh* mesh, TKSN_Viewport* viewport);
    // Draws the cursor image with its hot spot on the point.
    virtual void OnDraw(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy);
    // Draws the project's brush outline around the point; matrix (16 floats) may be null.
    virtual void DrawBrushShape(TKSN_Viewport* viewport, float fx, float fy, float* matrix);
    // angle in radians; matrix (16 floats, may be null) the rotation about the viewing axis.
    virtual void GetTiltRotationFromViewportMotion(TKSN_Viewport* viewport, float dx, float& angle, float* matrix);
    virtual bool OnIdle(TKSN_Mesh* /*mesh*/, TKSN_Viewport* /*viewport*/) { return true; }
    virtual float GetSize();
    virtual float GetNewAspect();
    virtual float GetHardness();
    virtual float GetStrength();
    virtual float GetStepPercent();
    virtual float GetDensity();
    virtual float* GetSizePtr();
    virtual float* GetNewAspectPtr();
    virtual float* GetHardnessPtr();
    virtual float* GetStrengthPtr();
    virtual float* GetDensityPtr();
    virtual float* GetStepPercentPtr();
    virtual void SetSize(float v);
    virtual void SetNewAspect(float v);
    virtual void SetHardness(float v);
    virtual void SetStrength(float v);
    virtual void SetStepPercent(float v);
    virtual void SetDensity(float v);
    virtual float GetEffectiveStrength();
    // Never below 0.01.
    virtual float GetEffectiveSize();
    virtual float GetEffectiveHardness();
    virtual float GetHardnessDensity();
    virtual bool ToolIsResponsibleForDrawingTheViewport() { return false; }
    // printf-style; cut at 999 bytes (never inside a UTF-8 character) and shown as is.
    virtual void PrintHint(TKSN_Mesh* mesh, const char* format, ...) __attribute__((format(printf, 3, 4)));
    virtual bool DoDrawAltGraphic();
    // Bit 0 of the application's current tool.
    virtual bool CanAffectHiddenGeometry();
    virtual void BeforeUse();
    virtual void AfterUse();
    virtual void OnKeyPress(TKSN_Mesh* /*mesh*/, char /*key*/) {}
    virtual void OnSpecialKeyPress(TKSN_Mesh* /*mesh*/, int /*key*/) {}
    virtual void OnActivate(TKSN_Mesh* mesh);
    virtual void OnDeactivate(TKSN_Mesh* /*mesh*/) {}
    virtual void OnClearFocus() {}
    virtual void OnRenderCurrentViewport(TKSN_Viewport* /*viewport*/) {}
    virtual void OnUndo(TKSN_Undo_Node* /*node*/) {}
    virtual bool DrawsOwnMouseCursor() { return CursorImage != nullptr; }
    virtual bool DoCallOnDraw(TKSN_Viewport* viewport);

    // [SECTION] Parameter builders (KSN_Parameter.cpp). Each appends its record and returns it.
    TKSN_Parameter* AddFloatParameter(const char* name, const char* hint, float* data, float min, float max);
    TKSN_Parameter* AddPercentParameter(const char* name, const char* hint, float* data, float min, float max);
    TKSN_Parameter* AddIntParameter(const char* name, const char* hint, int* data, int min, int max);
    TKSN_Parameter* AddBoolParameter(const char* name, const char* hint, bool* data);
    TKSN_Parameter* AddButtonParameter(const char* name, const char* hint, bool (*callback)(TQOREvent*),
                                       int command);
    TKSN_Parameter* AddLabelParameter(const char* text, const char* hint);
    TKSN_Parameter* AddParameterSeparator(const char* caption, const char* hint);
    TKSN_Parameter* AddBoolParameterTriplet(const char* caption, const char* hint, const char* name1,
                                            const char* hint1, bool* data1, const char* name2, const char* hint2,
                                            bool* data2, const char* name3, const char* hint3, bool* data3);
    TKSN_Parameter* AddButtonParameterTriplet(const char* caption, const char* hint, const char* name1,
                                              const char* hint1, bool (*callback1)(TQOREvent*), int command1,
                                              const char* name2, const char* hint2, bool (*callback2)(TQOREvent*),
                                              int command2, const char* name3, const char* hint3,
                                              bool (*callback3)(TQOREvent*), int command3);
    TKSN_Parameter* AddIntParameterPair(const char* caption, const char* hint, const char* name1, const char* hint1,
                                        int* data1, int min1, int max1, const char* name2, const char* hint2,
                                        int* data2, int min2, int max2);
    // Deletes the first record whose Data is data; nothing when none is.
    void DeleteParameter(const void* data);
    // Deletes every record; the list keeps its storage.
    void ClearParameters();

    void GetTwoDimRotationFromViewportMotion(TKSN_Viewport* viewport, float dx, float dy, float& ax, float& ay,
                                             float* matrix);

    // [SECTION] Data (declaration order of the tool's record)
    bool InUse = false;
    float PressureFactor = 1.0f;   // 0..1; 1.0 without a tablet
    bool DirHoriz = true, DirVert = true, DirDepth = false;
    float SensitivityFactor = 1.0f;
    bool FineMode = false;
    int HeaderParameterCount = 0;
    TQORglutTexture* CursorImage = nullptr;      // not owned
    TQORglutTexture* AltCursorImage = nullptr;   // not owned
    TQORglutTexture* Icon = nullptr;             // not owned
    TKSN_ToolList* ToolList = nullptr;           // set by the application
    int HotSpotX = 0, HotSpotY = 0;              // cursor pixel on the mouse point, y from the top
    bool TabletInUse = false;
    bool AltAtPress = false, ShiftAtPress = false, CtrlAtPress = false;
    bool HasMoved = false;
    bool FirstMotion = false;
    int MotionCount = 0;
    bool LockX = false, LockY = false;
    uint32_t Flags = KSN_TOOL_DEFAULT_FLAGS;
    bool RebuildParametersWithPanel = true;
    bool ContinuousDrag = false;
    int MouseButton = -1;
    int MouseState = -1;
    float PressTime = 0.0f;   // seconds of program time
    bool MovedSinceDraw = false;
    std::unique_ptr<TQORNewStaticList<TKSN_Parameter*>> Parameters;   // growth step 1; storage kept on clear
    float PressX = 0.0f, PressY = 0.0f;
    float PreviousX = 0.0f, PreviousY = 0.0f;
    float MouseX = 0.0f, MouseY = 0.0f;
    // Set by the viewport panel when a release arrives at another panel than
    // the press: the tool got neither the release nor AfterUse.
    int ReleasedOutside = 0;
    // When ReturnToLinkedTool is set, LinkedTool becomes current again after the release.
    bool ReturnToLinkedTool = false;
    TKSN_Tool* LinkedTool = nullptr;   // not owned

    // The name of the GUI image of the tool's button (set by the tool kinds).
    const char* IconName = "";

protected:
    // Name and icon of a tool kind; flags are set on top of the defaults.
    void Describe(const char* name, const char* icon, uint32_t setFlags = 0);
    // The pen pressure now: 1 without a tablet, else clamped to 0..1.
    float ReadPressure() const;
};

// The mix-in of tools that select vertices by clicking or brushing.
class TKSN_SelectableTool {
public:
    virtual ~TKSN_SelectableTool() = default;
    virtual bool ConsiderSelectingVertex(TKSN_Mesh* /*mesh*/, TKSN_Viewport* /*viewport*/, int /*vertex*/,
                                         float /*fx*/, float /*fy*/, bool /*select*/)
    {
        return false;
    }
    // Screen rectangle of the tool's reach (normalised); empty at start.
    float ReachMin[2] = {1.0f, 1.0f};
    float ReachMax[2] = {-1.0f, -1.0f};
};

// 100 rotations by 1/100 .. 100/100 of an angle about an axis through a centre.
class TKSN_Soft_Rotate_Lookup {
public:
    // angle in degrees; centre and axis 3 floats each.
    void CalculateAllMatrices(float angle, const float* centre, const float* axis);
    // The rotation by t x angle (t 0..1), blended between the neighbouring matrices.
    void GetRotationMatrixB(float* out, float t) const;
    float Matrices[100][16] = {};
};
extern TKSN_Soft_Rotate_Lookup SoftRotationLookup;
extern TKSN_Soft_Rotate_Lookup SoftRotationLookupB;

// [SECTION] Mouse travel to strengths and angles
// y1 - y0, times the viewport's zoom factor when zoomed.
float GetOneDimStrength(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float x0, float y0, float x1, float y1, bool zoomed);
// out[0] = (x1 - x0) x zoom, out[1] = (y1 - y0) x zoom x aspect.
void GetTwoDimStrength(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float* out, float x0, float y0, float x1, float y1);
// Degrees for a pixel distance, growing in zones; finer while Alt is held.
float GetAngleFromPixelDistanceInDegrees(float pixels);
// Half side of square k (0..4) of the depth guide for a travel d: 2 x (d + k/5 wrapped into 0..1).
float GetConcentricBoxHalfSide(float d, int k);

// The brush base and the tool kinds that later subsystems build, so that
// every user of the tool base sees the families the project tests for.
#include "KSN_ToolKinds.h"
