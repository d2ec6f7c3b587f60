// TKSN_Application: the one application object, reached everywhere through
// the global `App`.
//
// It owns what outlives any one document: the user's settings (the settings
// file, KSN_Settings.cpp), the folders the program reads and writes, the two
// lists of search folders, the tools and their tool lists (KSN_ToolList.cpp),
// the brush-shape and brush-image libraries (KSN_BrushLibrary.cpp), the four
// viewports with the two work depth buffers, the file-type lists of the file
// dialogs, and a record of interface state and colours that tools, panels and
// the renderer read and write directly.
//
// Invariants:
// - At most one object exists; a second construction ends the program.
// - Folder texts end with "/"; path fields are TOS_PATH_BUFFER bytes and
//   texts are always NUL-terminated (longer values are refused, not cut).
// - The shell never includes a header of a higher subsystem. The viewports,
//   depth buffers, the empty material and the tools are held through
//   forward-declared pointers and made through the declared interface at the
//   end of this header, which those subsystems define.
// - Main thread only. Workers read the settings (tablet, symmetry, colours)
//   without a lock; they are written before any worker starts.
#pragma once

#include <cstdint>

#include "GuiFont.h"
#include "GuiTheme.h"
#include "KSN_SelectionType.h"
#include "KSN_Thingy.h"
#include "OS.h"
#include "QORNewStaticList.h"
#include "QORTimer.h"

class TKSN_Tool;
class TKSN_ToolList;
class TKSN_TileSetupTool;
class TKSN_Viewport;
class TKSN_DepthBuffer;
class TKSN_Mesh;
class TQORMaterial;
class TQORglutTexture;
class TKSN_BrushImageTreeGroup;


// Sizes of the fixed text fields, in bytes (the text keeps one less).
constexpr int KSN_APP_NAME_BUFFER = 256;
constexpr int KSN_APP_PATH_BUFFER = TOS_PATH_BUFFER;

// [SECTION] Search paths

// One search folder.
class TKSN_SearchPath : public virtual TKSN_Thingy {
public:
    TKSN_SearchPath();
    char path[KSN_APP_PATH_BUFFER] = {};   // with a trailing "/"
    bool recursive = false;                // its subfolders are searched too
};

// An ordered list of owned search folders. The destructor frees only the
// pointer array; the owner deletes the entries first (DeleteAll).
class TKSN_SearchPaths : public TQORNewStaticList<TKSN_SearchPath*> {
public:
    TKSN_SearchPaths() : TQORNewStaticList<TKSN_SearchPath*>(1) {}
    // Adds `folder` (a "/" is appended when missing) unless it is empty or an
    // entry equals it ignoring case; the test uses `folder` as given.
    void AddPath(const char* folder, bool recursive);
    // Adds the folder part of `file` (with its "/") unless it is empty or listed.
    void AddPathFromFileName(const char* file, bool recursive);
    // Finds the file that `path` names: at `path` itself (its folder is then
    // listed), in the listed folders, or (when `ask`) by asking the user.
    // `path` is a TOS_PATH_BUFFER-byte buffer, rewritten to the found file.
    bool LocateFile(char* path, bool ask);
    // Deletes every entry and empties the list.
    void DeleteAll();
};

// [SECTION] Application object

class TKSN_Application {
public:
    explicit TKSN_Application(const char* name);
    ~TKSN_Application();
    TKSN_Application(const TKSN_Application&) = delete;
    TKSN_Application& operator=(const TKSN_Application&) = delete;

    // Plain accessors
    void SetSelectionType(eSelectionType type) { selectionType = type; }
    int32_t GetToolTypeTab() const { return toolTypeTab; }
    // Pushes command 474 when the tab changes to 3 from another tab.
    void SetToolTypeTab(int32_t tab);
    const char* GetCustomProgressMessage() const { return customProgressMessage; }
    void SetCustomProgressMessage(const char* text);
    void ClearCustomProgressMessage();
    void InvalidateVertexCulling() { vertexCullingValid = false; }
    void SetAllMouseWheelDudesToFalse();
    // No animation timeline exists, so time never changes under a frame: always false by design.
    bool IsTimeChangingForAnimation() const { return false; }

    // Finds a file a document names: at `path` (relative paths from the main
    // folder), then in GlobalSearchPaths, then in DocumentSearchPaths with
    // asking the user allowed. `path` is a TOS_PATH_BUFFER-byte buffer.
    bool LocateFile(char* path);

    // File-dialog wildcard text "Caption|*.A;*.B;|A Files|*.A|B Files|*.B||"
    // into `out` (cut safely at `outSize` bytes). The type at
    // CurrentIndexForMultiFileDialog, when valid, comes first.
    void GetFileDialogDescription(char* out, TQORNewStaticList<char*>* types, const char* allTypesCaption,
                                  int32_t outSize = KSN_APP_PATH_BUFFER);
    void GetFileDialogDescriptionForAllImportImageFileTypes(char* out, int32_t outSize = KSN_APP_PATH_BUFFER);
    void GetFileDialogDescriptionForAllExportImageFileTypes(char* out, int32_t outSize = KSN_APP_PATH_BUFFER);

    // Settings file (KSN_Settings.cpp)
    void LoadSettings();
    void SaveSettings();
    // User data folder + "Kestrune_Vessuna_v4.ini".
    std::string GetSettingsFileName() const;

    // Tool lists (KSN_ToolList.cpp)
    void InitializeTools();
    void AddToolToList(TKSN_Tool* tool, TKSN_ToolList* list);
    bool IsToolAPaintBrush(TKSN_Tool* tool) const;
    bool IsCurrentToolAPaintBrush() const { return IsToolAPaintBrush(currentTool); }
    bool IsCurrentToolASelectionTool() const;

    // Brush libraries (KSN_BrushLibrary.cpp)
    void UpdateBrushImageLibraryFromDisc();
    void UpdateBrushShapesFromDisc();

    // Services for viewports and tools (KSN_AppServices.cpp)
    void ResetViewports();
    // Each writes baseOrientationMatrix x the standard matrix (16 floats, row-major).
    void GetFrontMatrix(float* out) const;
    void GetBackMatrix(float* out) const;
    void GetLeftMatrix(float* out) const;
    void GetRightMatrix(float* out) const;
    void GetTopMatrix(float* out) const;
    void GetBottomMatrix(float* out) const;
    // Resizes a large block (sizes in bytes); blocks of 100 MiB and more are
    // parked in a temporary file meanwhile. Null for size 0, or when the
    // memory cannot be had and `quiet` is set. Ends the program (status 1)
    // when the temporary file fails.
    void* SmartRealloc(void* data, uint32_t oldSize, uint32_t newSize, bool quiet);
    void CleanTemporaryMemory();
    void WarningNoCurrentObject(bool pushCommand);
    void WarningNoCurrentMorph(bool pushCommand);
    void WarningDeformingBaseVertices();
    void PrintMessageForBoolChange(bool value, const char* format);
    const char* GetDisplayNameForChannel(const char* channel) const;
    const char* GetTruncatedDisplayNameForChannel(const char* channel) const;
    // Colours: three floats 0..1.
    void GetSelectionColor(float* out, float weight, const float* base) const;
    // Two outputs of three bytes (red, green, blue).
    void GetBackgroundGridColorsForTextures(unsigned char* color1, unsigned char* color2) const;

    // [SECTION] Fields (plain storage that the named users read and write)
    eSelectionType selectionType = eSelectionType_Vertex;
    int32_t toolTypeTab = 3;
    char customProgressMessage[KSN_APP_NAME_BUFFER] = {};
    float baseOrientationMatrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    bool osDeleteFileOption = false;
    TQORMaterial* emptyMaterial = nullptr;   // named "__KSN_EMPTY__"; owned
    bool vertexCullingValid = false;
    bool tabletPressureVariesStrength = true;
    bool tabletPressureVariesDensity = false;
    bool tabletPressureVariesHardness = false;
    bool tabletPressureVariesPseudoSize = true;
    float tabletSensitivity = 0.5f;
    float mouseWheelSensitivity = 0.5f;
    float tabletCutoff = 0.01f;
    bool perVertexSymmetry = true;
    bool brushImageSymmetry = true;          // "Brush Image Symmetry": mirrored tiles on the mirrored side
    bool useSymmetry = true;
    bool autoCentre = true;
    bool snapToClosestVertex = false;
    bool mouseWheelModes[5] = {};
    void* workPointer1 = nullptr;            // kept here by the project and painting code
    void* workPointer2 = nullptr;
    int32_t workValue1 = 0;
    int32_t workValue2 = 0;
    TKSN_DepthBuffer* paintDepthBuffer = nullptr;   // type 1; owned
    TKSN_DepthBuffer* viewDepthBuffer = nullptr;    // type 0; owned
    char applicationName[KSN_APP_NAME_BUFFER] = {};
    int32_t frameCounter = 0;
    int32_t CurrentFrame = 0;                        // the animation frame
    int32_t drawFrameCounter = 0;
    int32_t splashState = 0;
    bool allowMinimize = true;
    int32_t undoLimit = 1024;                // megabytes
    bool plainSelectionColor = false;
    bool running = false;
    uint32_t stateFlags = 0;
    TKSN_SearchPaths* GlobalSearchPaths = nullptr;
    TKSN_SearchPaths* DocumentSearchPaths = nullptr;
    char userDataPath[KSN_APP_PATH_BUFFER] = {};
    char startFileName[KSN_APP_PATH_BUFFER] = {};
    char importPath[KSN_APP_PATH_BUFFER] = {};
    char exportPath[KSN_APP_PATH_BUFFER] = {};
    char imagesPath[KSN_APP_PATH_BUFFER] = {};
    char projectsPath[KSN_APP_PATH_BUFFER] = {};
    TQORTimer saveReminderTimer;
    TQORTimer saveTimer;                     // since the project was last saved
    float saveReminderInterval = 300.0f;     // seconds
    char autoSaveFileName[KSN_APP_PATH_BUFFER] = {};
    char loadedAutoSaveFileName[KSN_APP_PATH_BUFFER] = {};
    TQORTimer splashTimer;
    TQORTimer inputTimer;                    // since the last handled user input; idle work waits 0.2 s
    bool idleOrPassiveDone = false;          // the project's idle-or-passive work ran
    int32_t runCount = 0;
    float guideColor1[3] = {0.8f, 0.8f, 0.8f};
    float guideColor2[3] = {0.0f, 0.0f, 0.0f};
    float hotSelectionColor[3] = {1.0f, 1.0f, 0.0f};
    float warmSelectionColor[3] = {1.0f, 0.0f, 0.0f};
    float textureGridColor1[3] = {};         // set by the project's default settings
    float textureGridColor2[3] = {};
    bool showHints = true;
    bool loadDefaultProject = true;
    bool passiveMotionPending = true;
    TQORglutTexture* mapDisabledTexture = nullptr;   // made by the GUI-graphics loader
    TQORglutTexture* noMapAppliedTexture = nullptr;
    TQORglutTexture* noUVMapTexture = nullptr;
    TQORglutTexture* lockTexture = nullptr;
    float paintColor[3] = {0.0f, 0.0f, 0.0f};
    float secondaryPaintColor[3] = {1.0f, 1.0f, 1.0f};
    int32_t viewportLayout = 5;
    TKSN_Viewport* viewports[4] = {};        // "Main", "Aux 1", "Aux 2", "Aux 3"; owned
    int32_t mouseOverViewport = -1;
    int32_t mouseDownViewport = -1;
    TQORNewStaticList<char*>* exportImageTypes = nullptr;   // QORalloc'd strings, owned
    TQORNewStaticList<char*>* exportFileTypes = nullptr;
    TQORNewStaticList<char*>* exportFileTypeNames = nullptr;
    TQORNewStaticList<char*>* importImageTypes = nullptr;
    TQORNewStaticList<char*>* importFileTypes = nullptr;
    TQORNewStaticList<char*>* importFileTypeNames = nullptr;
    // Current index of each file-type list (the dialogs' first offer).
    int32_t exportImageTypesIndex = -1;
    int32_t importImageTypesIndex = -1;
    int32_t exportFileTypesIndex = -1;
    TKSN_Tool* currentTool = nullptr;
    TKSN_Tool* previousTool = nullptr;
    TKSN_Tool* lastNonNavigationTool = nullptr;
    TKSN_TileSetupTool* tileSetupTool = nullptr;
    TKSN_Mesh* environmentMesh = nullptr;    // owned
    TKSN_ToolList* selectionTools = nullptr;
    TKSN_ToolList* deformationTools = nullptr;
    TKSN_ToolList* additionalUtilities = nullptr;
    TKSN_ToolList* paintTools = nullptr;
    TKSN_ToolList* modelingTools = nullptr;
    TKSN_ToolList* sculptTools = nullptr;
    TKSN_ToolList* navigationTools = nullptr;
    TKSN_ToolList* transformationTools = nullptr;
    TKSN_BrushImageTreeGroup* brushImageLibrary = nullptr;   // "Images"
    TKSN_BrushImageTreeGroup* brushShapeLibrary = nullptr;   // "Shapes"
    TKSN_Tool* moveViewTool = nullptr;
    TKSN_Tool* rotateViewTool = nullptr;
    TKSN_Tool* zoomViewTool = nullptr;
    TKSN_Tool* faceloomTool = nullptr;
    TKSN_Tool* textureGrabberTool = nullptr;
    TKSN_Tool* colorGrabberTool = nullptr;
    TKSN_Tool* layerBrushTool = nullptr;     // in no tool list; owned
    bool warnedDeformingBaseVertices = false;

private:
    void CreateToolLists();
    void DeleteToolLists();
    void CreateFileTypeLists();
    void DeleteFileTypeLists();
};

extern TKSN_Application* App;

// Index of the file type a file dialog offers first; -1 none.
extern int32_t CurrentIndexForMultiFileDialog;

// Pointers to the view matrices of the four viewports (filled by the constructor).
extern float* ViewportMatrices[4];

// [SECTION] Small functions beside the application object

// How much an effect fades with the angle between two unit 3-vectors; 0..1.
float GetFadeByAngleFactor(float threshold, float cosLimit, const float* a, const float* b);
// Puts "- Disabled in modeler -" and a line break before the thingy's hint.
void TKSN_Application_AddDisabledInModelerHint(TQORThingy* thingy);

// Memory-cleaning hooks of start-up; both do nothing.
void CleanAllLargeTempMemory();
void DestroyTemporaryMemory();

// The six standard views, row-major.
extern const float FrontMatrix[16];
extern const float BackMatrix[16];
extern const float LeftMatrix[16];
extern const float RightMatrix[16];
extern const float TopMatrix[16];
extern const float BottomMatrix[16];

// [SECTION] Declared interface of the subsystems above the shell
//
// Defined by the viewport subsystem (Render) and the tool framework
// (Tools/Sculpt); the executable links them in with the shell.

// The standard set-up ResetViewports gives one viewport.
enum class TKSN_StandardView { Front, Top, Left, Back };
struct TKSN_ViewportStandardSetup {
    const char* name = "";
    int32_t index = 0;
    uint32_t layerMask = 0;          // both layer masks
    uint32_t furtherMask = 0;        // both further masks
    bool mainViewport = false;       // layer record: main-viewport marker set, "UseViewportDefault" cleared
    TKSN_StandardView view = TKSN_StandardView::Front;
    bool automaticView = false;      // the view counts as an automatic standard view
    bool locked = false;             // locked against navigation
};
// A new viewport with a render set-up of its own; deleted with KSN_DeleteViewport.
TKSN_Viewport* KSN_NewViewport();
void KSN_DeleteViewport(TKSN_Viewport* viewport);
// The viewport's view matrix (16 floats), valid while the viewport lives.
float* KSN_GetViewportMatrix(TKSN_Viewport* viewport);
// Re-initialises the viewport's layer record and applies the set-up.
void KSN_ApplyViewportStandardSetup(TKSN_Viewport* viewport, const TKSN_ViewportStandardSetup& setup);

// Work depth buffers (type 0: 4 bytes per pixel, type 1: 1 byte per pixel).
TKSN_DepthBuffer* KSN_NewDepthBuffer(int32_t type);
void KSN_DeleteDepthBuffer(TKSN_DepthBuffer* buffer);
// 0 x 0 releases the buffer's memory.
void KSN_ResizeDepthBuffer(TKSN_DepthBuffer* buffer, int32_t width, int32_t height);

// The application's empty material.
TQORMaterial* KSN_NewMaterial(const char* name);
void KSN_DeleteMaterial(TQORMaterial* material);

// Sets the default brush values, makes every tool and adds it to its list
// through TKSN_Application::AddToolToList (InitializeTools, steps 2 and 3).
void KSN_MakeApplicationTools(TKSN_Application* app);
void KSN_DeleteTool(TKSN_Tool* tool);
// Links a tool to the list it was added to (TKSN_Tool::ToolList).
void KSN_SetToolList(TKSN_Tool* tool, TKSN_ToolList* list);
// Run-time type tests; false for null.
bool KSN_IsPaintBrush(const TKSN_Tool* tool);
bool KSN_IsSelectableTool(const TKSN_Tool* tool);
// Frees the global affected-vertex and affected-polygon lists.
void CleanAffectedLists();
// Frees the paint hit grid and its hit list.
void PaintGridClean();

// [SECTION] GUI toolkit services the application object uses: the theme,
// the font and the interface brightness (GuiTheme.h, GuiFont.h).
