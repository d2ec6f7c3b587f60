// The program's entry point and start-up. Index:
//   [SECTION] Self-tests
//   [SECTION] Module start-up
//   [SECTION] Interface start-up
//   [SECTION] Driver and entry point
#include "KestruneVessuna.h"

#include <clocale>
#include <memory>
#include <mutex>
#include <vector>
#include <cstdio>
#include <string>

#include <GL/gl.h>
#include <wx/filename.h>
#include <wx/wx.h>

#include "KSN_Application.h"
#include "KSN_GuiGraphics.h"
#include "KSN_Gui_MainWindow.h"
#include "KSN_Gui_TilePresets.h"
#include "KSN_Mesh.h"
#include "KSN_MeshRoot.h"
#include "KSN_Object.h"
#include "KSN_MaxExchange.h"
#include "KSN_MessageHooks.h"
#include "KSN_OpenGLTest.h"
#include "KSN_ObjProjectHooks.h"
#include "KSN_Project.h"
#include "KSN_RendererHooks.h"
#include "KSN_Startup_Services.h"
#include "KSN_TestHooks.h"
#include "KSN_Viewport.h"
#include "KSN_Undo.h"
#include "KSN_WX.h"
#include "KestruneEvents.h"
#include "OS.h"
#include "OverlayWorkhorse.h"
#include "QOREvents.h"
#include "QORGL.h"
#include "QORLanguage.h"
#include "QORImageMap.h"
#include "QORLookupTables.h"
#include "QORMaterialMapSource.h"
#include "QORMemory.h"
#include "QORString.h"
#include "QORThreads.h"
#include "QORVirtualMemory.h"
#include "QORglut.h"

namespace {

// Shown to every pushed event from the end of start-up on.
bool Kestrune_OnPushEvent(TQOREvent*) { return MainWindow != nullptr; }

void CancelProjectVertexCulling()
{
    if (Project) Project->CancelVertexCulling();
}

bool LaunchWithOS(const char* path, const char* arguments) { return OS.LaunchApp(path, arguments); }

// The platform's native path separator as the window toolkit reports it.
char NativeSeparator() { return char(wxFileName::GetPathSeparator()); }

// The canvas's GL context, made current while the frame is still hidden
// (the canvas was realised when the frame was first shown). False when the
// toolkit cannot bind it yet; the hints and the driver test then wait for
// nothing and are skipped.
bool MakeCanvasCurrent()
{
    TestGLCanvas* canvas = FramePtr ? FramePtr->GetCanvas() : nullptr;
    if (!canvas || !canvas->GetContext() || !canvas->GetHandle()) return false;
    wxLogNull quiet;
    return canvas->GetContext()->SetCurrent(*canvas);
}

} // namespace

// [SECTION] Self-tests

void UnsignedCharRollAroundTest() {}

void LoadLanguageData() {}

void PerformTechnicalTests()
{
    for (int round = 0; round < 10; ++round) {
        uint64_t size = 1 + uint64_t(QORrandom(10000));
        void* block = QORalloc(size);
        QORfree(block, size);
        auto address = reinterpret_cast<uintptr_t>(block);
        if ((address & 7) == 0) continue;
        char bits[33] = {};
        for (int bit = 31; bit >= 0; --bit) bits[31 - bit] = (address >> bit) & 1 ? '1' : '0';
        OS.Message("%p not double word aligned\n\n%s", block, bits);
    }
    UnsignedCharRollAroundTest();
}

// [SECTION] Module start-up

void Kestrune_InitializeModules(char* name)
{
    std::string mainPath = TOS::GetMainPathOnStartup();
    OS.OnApplicationStartup(mainPath.c_str());
    KSN_RefreshLauncher(OS.GetMainPath(), NativeSeparator(), LaunchWithOS);
    LoadLanguageData();
    ThreadCruncher_Initialize();
    TestMultithreadedFunctions();
    OverlayWorkhorse = new TOverlay_Workhorse();
    App = new TKSN_Application(name);
    CreateDivideBy255Table();
    Create_Adjust_Saturation_Before_Lightness_To_Target_Table();
    QORglutInit();
    // The GL helpers sit below the window layer and learn its height here.
    QORglut_AssignGetWindowHeight(QORglutGetWindowHeight);

    int32_t screenWidth = QORglutGetScreenWidth();
    int32_t screenHeight = QORglutGetScreenHeight();
    TKSN_MainWindowPlacement placement = KSN_GetMainWindowPlacement(screenWidth, screenHeight);
    TKSN_MainWindow_DefaultWidth = placement.width;
    TKSN_MainWindow_DefaultHeight = placement.height;
    if (!KSN_IsScreenLargeEnough(screenWidth, screenHeight)) {
        OS.ErrorMessage(Lang.GetText(476), KSN_MIN_SCREEN_WIDTH, KSN_MIN_SCREEN_HEIGHT);
        OS.Exit(1);
    }

    QORVirtualMemory_Initialize();
    OS.fOnDialogOpen = Kestrune_OnDialogOpen;
    OS.fOnDialogClose = Kestrune_OnDialogClose;
    AssignOnThrowException(Kestrune_OnThrowException);
    // Kept open on /dev/null rather than closed, so that a library writing
    // to it can never reach a file that later takes its descriptor.
    if (!std::freopen("/dev/null", "w", stderr)) std::fclose(stderr);

    std::string documents;
    TOS::GetDocumentsPath(documents);
    QORDebug_CreateDebugFile((documents + "Debug.txt").c_str());
    QORDebug_TurnOn();
    QORglut_Textures_Init();
    try {
        QORMath_InitializeLookupTables();
    } catch (...) {
        OS.ErrorMessage("An error occured initializing the lookup tables.");
        OS.Exit(1);
    }
}

// [SECTION] Interface start-up

void DummyDisplayCB()
{
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    QORglutSwapBuffers();
}

// The geometry, scene and materials libraries sit below the shell and the
// document, so what they need of the application and the project reaches them
// through callbacks registered here. Each looks App/Project up on every call.
static void Kestrune_ConnectLowerLayers()
{
    KSN_RegisterViewportOctreeServices();
    TKSN_ViewportProjectHooks viewportHooks;
    viewportHooks.GetObjectList = []() {
        std::vector<TKSN_Object*> objects;
        if (!Project) return objects;
        std::unique_ptr<TQORNewStaticList<TKSN_Object*>> list(Project->GetObjectList());
        if (list)
            for (int i = 0; i < list->Count(); ++i) objects.push_back((*list)[i]);
        return objects;
    };
    viewportHooks.CanAffectObject = [](TKSN_Object* object) { return Project && Project->CanAffectObject(object); };
    KSN_SetViewportProjectHooks(viewportHooks);

    TKSN_RendererProjectHooks renderer;
    renderer.GetSpecialDisplayMode = []() { return Project ? Project->GetSpecialDisplayMode() : 0; };
    renderer.DoUseSymmetry = [](TKSN_MeshRoot* mesh) { return Project && Project->DoUseSymmetry(mesh); };
    renderer.IsSelecting = []() { return Project && Project->IsSelecting(); };
    renderer.DoFlashSelection = []() { return Project && Project->DoFlashSelection(); };
    renderer.GetDisplayBoundingBox = [](TKSN_Viewport* viewport, float* min, float* max) {
        if (Project) Project->GetDisplayBoundingBox(viewport, min, max);
    };
    renderer.GetSceneRadius = []() { return Project ? Project->SceneRadius : 1.0f; };
    renderer.BeforeConsiderTiling = [](TKSN_Viewport* viewport) {
        if (Project) Project->BeforeConsiderTiling(viewport);
    };
    renderer.GetCurrentViewport = []() { return Project ? Project->GetCurrentViewport() : nullptr; };
    renderer.GetWireframeColor = [](float* rgb) {
        for (int c = 0; c < 3; ++c) rgb[c] = Project ? Project->WireframeColor[c] : 0.0f;
    };
    renderer.GetQuickRenderSettings = [](TKSN_QuickRenderSettings& s) {
        if (!Project) return;
        s.RenderColorMaps = Project->RenderColorMaps;
        s.RenderBumpMaps = Project->RenderBumpMaps;
        s.RenderTransparencyMaps = Project->RenderTransparencyMaps;
        s.RenderDisplacementMaps = Project->RenderDisplacementMaps;
        s.RenderSpecularMaps = Project->RenderSpecularMaps;
        s.RenderAmbientMaps = Project->RenderAmbientMaps;
        s.RenderMixColors = Project->RenderMixColors;
        s.RenderDoubleSided = Project->RenderDoubleSided;
        s.RenderQuality = Project->RenderQualityB;
        s.GlobalDisplacementStrength = Project->GlobalDisplacementStrengthB;
        s.GlobalBumpStrength = Project->GlobalBumpStrength;
    };
    // The colourised brush exists while a brush image is loaded.
    renderer.GetCurrentColorizeTextureBrushImage = []() -> TQORImageMap* {
        return Project ? Project->GetCurrentColorizeTextureBrushImage() : nullptr;
    };
    renderer.GetCurrentColorizeTextureBrushImageRGB = []() -> TQORImageMap* {
        return Project ? Project->GetCurrentColorizeTextureBrushImageRGB() : nullptr;
    };
    renderer.GetCurrentColorizeTextureBrushImageAlpha = []() -> TQORImageMap* {
        return Project ? Project->GetCurrentColorizeTextureBrushImageAlpha() : nullptr;
    };
    renderer.GetPolygonLayer = [](int index) -> TKSN_Layer* {
        return Project && index >= 0 && index < KSN_POLYGON_LAYER_COUNT ? Project->PolygonLayers[index] : nullptr;
    };
    renderer.GetCurrentPolygonLayerIndex = []() { return Project ? Project->CurrentLayerIndex : 0; };
    // The software map view's screen patterns, as RGB copies made on first
    // use (node threads ask, so the copies are made under a lock).
    renderer.GetGuiImageRGB = [](const char* name, uint8_t** pixels, int* width, int* height) {
        static std::mutex lock;
        static std::vector<uint8_t> noUVMap, noMapApplied;
        std::scoped_lock guard(lock);
        const bool uv = std::string(name) == "NoUVMap";
        TQORglutTexture* texture = App ? (uv ? App->noUVMapTexture : App->noMapAppliedTexture) : nullptr;
        if (!texture || !texture->GetPixels() || texture->GetWidth() <= 0 || texture->GetHeight() <= 0) return false;
        std::vector<uint8_t>& rgb = uv ? noUVMap : noMapApplied;
        const int depth = texture->GetColorDepth();
        const size_t count = size_t(texture->GetWidth()) * size_t(texture->GetHeight());
        if (rgb.size() != count * 3) {
            rgb.resize(count * 3);
            for (size_t i = 0; i < count; ++i)
                for (int c = 0; c < 3; ++c) rgb[i * 3 + c] = texture->GetPixels()[i * depth + c];
        }
        *pixels = rgb.data();
        *width = texture->GetWidth();
        *height = texture->GetHeight();
        return true;
    };
    // A picture object (a dropped reference image) always shows its colour map.
    renderer.IsPictureMesh = [](TKSN_Mesh* mesh) { return mesh && mesh->ForceColorTextureDisplay; };
    renderer.GetTiledUVMapForVertex = [](TKSN_Viewport* viewport, float* uvw, const float* position,
                                         const float* centre, int vertex) {
        if (Project) Project->GetTiledUVMapForVertex(viewport, uvw, position, centre, vertex);
    };
    // TODO(stub): the project's interaction-in-progress flag comes with its
    // subsystem; until it is registered here no navigation drag lowers the
    // quick render's quality.
    KSN_SetRendererProjectHooks(renderer);
    // The tile presets load their brush images through the project.
    KSN_TilePresetLoadBrush = [](const char* path) { return Project && Project->LoadBrushTexture(path); };

    KSN_SetCancelViewportDependentWorkhorsesHook(CancelAllViewportDependentWorkhorses);

    auto gridColors = [](unsigned char* first, unsigned char* second) {
        if (App) App->GetBackgroundGridColorsForTextures(first, second);
    };
    QORImageMap_AssignBackgroundGridColors(gridColors);
    QORMaterialMapSource_AssignBackgroundGridColors(gridColors);

    TKSN_MeshApplicationHooks mesh;
    mesh.GetToolTypeTab = []() -> int32_t { return App ? App->GetToolTypeTab() : 3; };
    mesh.GetSelectionType = []() -> int32_t { return App ? int32_t(App->selectionType) : 0; };
    mesh.GetObjectName = [](TKSN_Object* object) -> const char* { return object ? object->GetName() : ""; };
    KSN_SetMeshApplicationHooks(mesh);

    TKSN_MeshEditHooks edit;
    edit.CancelVertexCulling = []() {
        if (Project) Project->CancelVertexCulling();
    };
    edit.SnapshotForUndo = KSN_SnapshotMeshForUndo;
    KSN_SetMeshEditHooks(edit);

    // The idle work polls the 3DS Max plug-in's exchange files.
    KSN_RegisterInterAppExchange();
}

void Kestrune_Vessuna_InitializeInterface()
{
    // MessageMutex is a std::mutex: ready before any hook is installed.
    int32_t screenWidth = QORglutGetScreenWidth();
    int32_t screenHeight = QORglutGetScreenHeight();
    TKSN_MainWindowPlacement placement = KSN_GetMainWindowPlacement(screenWidth, screenHeight);

    void* nativeHandle = nullptr;
    int window = QORglutCreateWindow(App->applicationName, placement.x, placement.y, TKSN_MainWindow_DefaultWidth,
                                     TKSN_MainWindow_DefaultHeight, &nativeHandle);
    QORglutHideWindow();

    bool haveContext = MakeCanvasCurrent();
    // The grab textures choose one texture or power-of-two tiles from what the
    // driver takes, which is known once the context exists.
    for (TKSN_Viewport* viewport : App->viewports)
        if (viewport) viewport->RecreateGrabTexture();
    if (haveContext) {
        glHint(GL_POLYGON_SMOOTH_HINT, GL_FASTEST);
        glHint(GL_POINT_SMOOTH_HINT, GL_FASTEST);
    }
    QORglutSetWindow(window);
    QORglutDisplayFunc(DummyDisplayCB);

    Kestrune_LoadTextures();
    Kestrune_CheckGraphicsAreCurrent();
    App->InitializeTools();
    std::snprintf(App->applicationName, sizeof App->applicationName, "%s", "Kestrune-Vessuna");
    KSN_FileFormats_RegisterHooks();
    Project = new TKSN_Project();
    MainWindow = new TKSN_MainWindow(window, nativeHandle);
    KSN_AssignViewportDependentCancellers(CancelTouchupRenderer, CancelProjectVertexCulling);
    Kestrune_ConnectLowerLayers();

    OS.AssignOnDoProgress(TKSN_MainWindow::DoProgress);
    Kestrune_InstallMessageHooks();
    KestruneEvents_Install();
    if (haveContext) TestOpenGL();
    MainWindow->SetupSplashScreen();

    // The default project lives in the data folder; its folder is the one
    // the OS layer found ("Data/" or "data/"), so the name also works where
    // file names are case-sensitive.
    std::string startFile = OS.GetDataPath("Default.Kestrune");
    if (OS.ArgumentCount > 1 && OS.Arguments && TOS::FileExists(OS.Arguments[1])) startFile = OS.Arguments[1];
    // A name too long for the field is not cut: the default stays instead.
    if (startFile.size() >= sizeof App->startFileName) startFile = OS.GetDataPath("Default.Kestrune");
    std::snprintf(App->startFileName, sizeof App->startFileName, "%s", startFile.c_str());

    QOREvents_PushEvent(121);
    KestruneEvents_ProcessEvents();
    QOREvents_AssignOnPushEvent(Kestrune_OnPushEvent);
}

// [SECTION] Driver and entry point

void QORglut_InitializeApplication()
{
    // The toolkit has set the user's locale; numbers stay in the C locale.
    std::setlocale(LC_NUMERIC, "C");
    Pthread_LoadLibrary();
    ThreadCruncher_Initialize();
    PerformTechnicalTests();
    char name[] = "Kestrune";
    Kestrune_InitializeModules(name);
    Kestrune_Vessuna_InitializeInterface();
    QORglutShowWindow();
    QORglutPostRedisplay_Internal();
    QORglutExecute();
    KSN_InstallTestProbe();
}

int main(int argc, char** argv)
{
    // Before anything can show a box.
    KSN_InstallTestDialogs();
    wxApp::SetInitializerFunction(wxCreateApp);
    return wxEntry(argc, argv);
}
