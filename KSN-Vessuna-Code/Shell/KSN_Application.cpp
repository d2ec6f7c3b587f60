// The application object: construction, destruction, search paths, file-dialog
// wildcards and the small functions beside it.
//
// Index: [SECTION] Globals, [SECTION] Construction and destruction,
// [SECTION] Accessors, [SECTION] Search paths, [SECTION] File-dialog types,
// [SECTION] Small functions

#include "KSN_Application.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "KSN_Application_Internal.h"
#include "KSN_BrushLibrary.h"
#include "KSN_ToolList.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORMemory.h"
#include "QORString.h"
#include "QORTablet.h"

namespace fs = std::filesystem;

// [SECTION] Globals

TKSN_Application* App = nullptr;
int32_t CurrentIndexForMultiFileDialog = -1;
float* ViewportMatrices[4] = {};

bool KSN_CopyText(char* dst, size_t size, const char* src)
{
    if (!dst || size == 0) return false;
    const char* s = src ? src : "";
    size_t n = std::strlen(s);
    bool whole = n < size;
    if (!whole) n = size - 1;
    std::memcpy(dst, s, n);
    dst[n] = 0;
    return whole;
}

namespace {

// Pen pressure reads the two tablet settings from the application object.
void TabletSettingsFromApplication(float& sensitivity, float& cutoff)
{
    if (!App) return;
    sensitivity = App->tabletSensitivity;
    cutoff = App->tabletCutoff;
}

// The list-traversal guard of the Overview: a loop that meets the same index
// twice raises instead of running forever.
class TTraversalGuard {
public:
    TTraversalGuard(const char* type, const char* variable, const char* list)
        : Type(type), Variable(variable), List(list) {}
    void Visit(int index)
    {
        if (index <= Last) QORThrowException("Infinite list traversal detected %s,%s,%s", Type, Variable, List);
        Last = index;
    }

private:
    const char* Type;
    const char* Variable;
    const char* List;
    int Last = -1;
};

} // namespace

// [SECTION] Construction and destruction

TKSN_Application::TKSN_Application(const char* name)
{
    if (App) {
        OS.ErrorMessage("Only one instance of TKSN_Application is allowed");
        OS.Exit(1);
    }
    App = this;
    saveTimer.Start();

    KSN_CopyText(applicationName, sizeof applicationName, name);
    TOS::CreateApplicationDataFolder(userDataPath, nullptr, sizeof userDataPath);

    ClearCustomProgressMessage();
    emptyMaterial = KSN_NewMaterial("__KSN_EMPTY__");
    paintDepthBuffer = KSN_NewDepthBuffer(1);
    viewDepthBuffer = KSN_NewDepthBuffer(0);

    GlobalSearchPaths = new TKSN_SearchPaths;
    DocumentSearchPaths = new TKSN_SearchPaths;
    const std::string main = OS.GetMainPath();
    KSN_CopyText(importPath, sizeof importPath, (main + "Objects/").c_str());
    KSN_CopyText(exportPath, sizeof exportPath, (main + "Objects/").c_str());
    KSN_CopyText(imagesPath, sizeof imagesPath, (main + "Images/").c_str());
    KSN_CopyText(projectsPath, sizeof projectsPath, (main + "Projects/").c_str());

    LoadSettings();
    if (runCount == 0) OS.Message("%s", Lang.GetText(413));
    // Saturates: a count at its limit must not overflow on the next start.
    if (runCount < INT32_MAX) ++runCount;

    KSN_CopyText(autoSaveFileName, sizeof autoSaveFileName,
                 QORFormat("%s%s.%s", userDataPath, Lang.GetText(418), "Kestrune").c_str());
    SaveSettings();

    currentTool = previousTool = lastNonNavigationTool = nullptr;
    CreateToolLists();

    GlobalSearchPaths->AddPath((main + "Data/").c_str(), false);

    QORglutWigits_SetThemeToBlue();
    QORglutWigits_SetFontToArial();

    CreateFileTypeLists();

    brushImageLibrary = new TKSN_BrushImageTreeGroup;
    brushImageLibrary->SetName("Images");
    brushImageLibrary->RegisterForLookup();
    brushShapeLibrary = new TKSN_BrushImageTreeGroup;
    brushShapeLibrary->SetName("Shapes");
    brushShapeLibrary->RegisterForLookup();

    viewportLayout = 5;
    for (int i = 0; i < 4; ++i) {
        viewports[i] = KSN_NewViewport();
        ViewportMatrices[i] = KSN_GetViewportMatrix(viewports[i]);
    }
    ResetViewports();

    QORTablet_SetSettingsSource(TabletSettingsFromApplication);
}

TKSN_Application::~TKSN_Application()
{
    QORTablet_SetSettingsSource(nullptr);

    KSN_ResizeDepthBuffer(paintDepthBuffer, 0, 0);
    KSN_ResizeDepthBuffer(viewDepthBuffer, 0, 0);
    PaintGridClean();
    CleanAffectedLists();
    CleanAllLargeTempMemory();
    DestroyTemporaryMemory();

    KSN_DeleteDepthBuffer(paintDepthBuffer);
    KSN_DeleteDepthBuffer(viewDepthBuffer);
    paintDepthBuffer = viewDepthBuffer = nullptr;
    for (int i = 0; i < 4; ++i) {
        KSN_DeleteViewport(viewports[i]);
        viewports[i] = nullptr;
        ViewportMatrices[i] = nullptr;
    }

    SaveSettings();

    // TODO(stub): the environment object is a mesh of the geometry subsystem,
    // which does not exist yet; nothing can load one, so there is none to delete.
    environmentMesh = nullptr;

    DeleteToolLists();

    GlobalSearchPaths->DeleteAll();
    DocumentSearchPaths->DeleteAll();
    delete GlobalSearchPaths;
    delete DocumentSearchPaths;
    GlobalSearchPaths = DocumentSearchPaths = nullptr;

    DeleteFileTypeLists();

    delete brushImageLibrary;
    delete brushShapeLibrary;
    brushImageLibrary = brushShapeLibrary = nullptr;

    KSN_DeleteMaterial(emptyMaterial);
    emptyMaterial = nullptr;

    if (App == this) App = nullptr;
}

// [SECTION] Accessors

void TKSN_Application::SetCustomProgressMessage(const char* text)
{
    KSN_CopyText(customProgressMessage, sizeof customProgressMessage, text);
}

void TKSN_Application::ClearCustomProgressMessage() { SetCustomProgressMessage(Lang.GetText(227)); }

void TKSN_Application::SetAllMouseWheelDudesToFalse()
{
    std::fill(std::begin(mouseWheelModes), std::end(mouseWheelModes), false);
}

// [SECTION] Search paths

TKSN_SearchPath::TKSN_SearchPath() { SetName("TKSN_SearchPath"); }

void TKSN_SearchPaths::AddPath(const char* folder, bool recursive)
{
    if (!folder || !*folder) return;
    TTraversalGuard guard("TKSN_SearchPathPtr", "sp", "GlobalSearchPaths");
    for (int i = 0; i < Count(); ++i) {
        guard.Visit(i);
        if (QORstrcmpi((*this)[i]->path, folder) == 0) return;
    }
    // A folder that does not fit the field (with its "/") would be stored
    // cut, naming some other folder: refuse it instead.
    if (std::strlen(folder) + 2 > sizeof TKSN_SearchPath::path) return;
    auto* entry = new TKSN_SearchPath;
    KSN_CopyText(entry->path, sizeof entry->path, folder);
    AddLastSlashIfNecessary(entry->path);
    entry->recursive = recursive;
    Add(entry);
}

void TKSN_SearchPaths::AddPathFromFileName(const char* file, bool recursive)
{
    if (!file) return;
    std::string folderPart(std::strlen(file) + 1, '\0');
    GetPathFromFileName(folderPart.data(), file);
    folderPart.resize(std::strlen(folderPart.c_str()));
    if (folderPart.empty()) return;
    AddPath(folderPart.c_str(), recursive);
}

bool TKSN_SearchPaths::LocateFile(char* path, bool ask)
{
    if (!path || !*path) return false;
    const size_t length = std::strlen(path) + 1;
    std::string folder(length, '\0'), name(length, '\0');
    SeperateFileName(path, folder.data(), name.data());
    folder.resize(std::strlen(folder.c_str()));
    name.resize(std::strlen(name.c_str()));

    if (TOS::FileExists(path) && !folder.empty()) {
        AddPath(folder.c_str(), false);
        return true;
    }
    TTraversalGuard guard("TKSN_SearchPathPtr", "sp", "GlobalSearchPaths");
    for (int i = 0; i < Count(); ++i) {
        guard.Visit(i);
        TKSN_SearchPath* sp = (*this)[i];
        std::string found;
        if (TOS::FindFile(name.c_str(), sp->path, found, sp->recursive) && found.size() < TOS_PATH_BUFFER) {
            KSN_CopyText(path, TOS_PATH_BUFFER, found.c_str());
            return true;
        }
    }
    if (ask) {
        char emptyFolder[TOS_PATH_BUFFER] = {};
        if (OS.LocateFile(path, emptyFolder)) {
            AddPathFromFileName(path, false);
            return true;
        }
    }
    return false;
}

void TKSN_SearchPaths::DeleteAll()
{
    for (TKSN_SearchPath* sp : *this) delete sp;
    Clear();
}

bool TKSN_Application::LocateFile(char* path)
{
    if (!path) return false;
    std::error_code ec;
    fs::current_path(OS.GetMainPath(), ec);
    if (TOS::FileExists(path)) return true;
    if (GlobalSearchPaths->LocateFile(path, false)) return true;
    return DocumentSearchPaths->LocateFile(path, true);
}

// [SECTION] File-dialog types

void TKSN_Application::GetFileDialogDescription(char* out, TQORNewStaticList<char*>* types,
                                                const char* allTypesCaption, int32_t outSize)
{
    if (!out || outSize < 1) return;
    std::string text;
    const int count = types ? types->Count() : 0;
    if (allTypesCaption) {
        text += allTypesCaption;
        text += "|";
        TTraversalGuard guard("char *", "Type", "Types");
        for (int i = 0; i < count; ++i) {
            guard.Visit(i);
            text += QORFormat("*.%s;", (*types)[i]);
        }
        text += "|";
    }
    const int first = CurrentIndexForMultiFileDialog;
    auto entry = [&](int i) { text += QORFormat("%s Files|*.%s|", (*types)[i], (*types)[i]); };
    if (first >= 0 && first < count) entry(first);
    TTraversalGuard guard("char *", "Type", "Types");
    for (int i = 0; i < count; ++i) {
        guard.Visit(i);
        if (i != first) entry(i);
    }
    text += "|";
    KSN_CopyText(out, size_t(outSize), text.c_str());
}

void TKSN_Application::GetFileDialogDescriptionForAllImportImageFileTypes(char* out, int32_t outSize)
{
    GetFileDialogDescription(out, importImageTypes, "All Image Files", outSize);
}

void TKSN_Application::GetFileDialogDescriptionForAllExportImageFileTypes(char* out, int32_t outSize)
{
    GetFileDialogDescription(out, exportImageTypes, nullptr, outSize);
}

void TKSN_Application::CreateFileTypeLists()
{
    exportImageTypes = new TQORNewStaticList<char*>;
    exportFileTypes = new TQORNewStaticList<char*>;
    exportFileTypeNames = new TQORNewStaticList<char*>;
    importImageTypes = new TQORNewStaticList<char*>;
    importFileTypes = new TQORNewStaticList<char*>;
    importFileTypeNames = new TQORNewStaticList<char*>;
}

void TKSN_Application::DeleteFileTypeLists()
{
    for (TQORNewStaticList<char*>** list : {&exportImageTypes, &exportFileTypes, &exportFileTypeNames,
                                            &importImageTypes, &importFileTypes, &importFileTypeNames}) {
        if (!*list) continue;
        for (char* text : **list) QORfree(text);
        delete *list;
        *list = nullptr;
    }
}

// [SECTION] Small functions

float GetFadeByAngleFactor(float threshold, float cosLimit, const float* a, const float* b)
{
    float dot = a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
    float d = dot * dot;
    if (threshold > d) return 0.0f;
    if (threshold > 0.9999f) threshold = 0.9999f;
    if (cosLimit >= 0.9999f) return 1.0f;
    float c2 = cosLimit * cosLimit;
    float r = (d - threshold) / (1.0f - threshold) / (1.0f - c2 * c2);
    if (r > 1.0f) return 1.0f;
    return std::max(r, 0.0f);
}

void TKSN_Application_AddDisabledInModelerHint(TQORThingy* thingy)
{
    if (!thingy) return;
    std::string hint = QORFormat("- %s -\n%s", Lang.GetText(571), thingy->GetHint());
    thingy->SetHint("%s", hint.c_str());
}
