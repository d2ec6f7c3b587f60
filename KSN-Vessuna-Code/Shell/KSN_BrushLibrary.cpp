// Scanning the brush-image and brush-shape libraries from their folders.
//
// The folder walk (TOS::RecurseFolders) reports a folder's subfolders before
// its own files and a folder's exit only just before the next folder is
// entered, so the walk's order does not follow the nesting. The scan therefore
// files every folder and image under the group of the folder that holds it
// (found by path), and sorts the whole tree once the walk has ended. Image
// files directly in the library folder join the top group, after its special
// entries, which always stay first.

#include "KSN_BrushLibrary.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "QORMemory.h"
#include "QORString.h"

TKSN_ThumbnailDeleter KSN_DeleteBrushThumbnail = nullptr;

TBrushImageLibraryEntry::~TBrushImageLibraryEntry()
{
    if (thumbnail && KSN_DeleteBrushThumbnail) KSN_DeleteBrushThumbnail(thumbnail);
    thumbnail = nullptr;
}

namespace {

// The state of one scan. `current` comes first: the callbacks' context points
// to the current-group pointer.
struct TBrushLibraryScan {
    TKSN_BrushImageTreeGroup* current = nullptr;
    TKSN_BrushImageTreeGroup* top = nullptr;
    int specialEntries = 0;                                  // leading items of the top group, never sorted
    std::string root;                                        // library folder with "/"
    std::map<std::string, TKSN_BrushImageTreeGroup*> groups; // folder with "/" -> its group
};

// The folder that holds `folder` (both with a trailing "/").
std::string ParentFolder(const std::string& folder)
{
    std::string f = folder;
    if (!f.empty() && f.back() == '/') f.pop_back();
    size_t slash = f.rfind('/');
    return slash == std::string::npos ? std::string() : f.substr(0, slash + 1);
}

TKSN_BrushImageTreeGroup* GroupOfFolder(TBrushLibraryScan& scan, const std::string& folder)
{
    if (folder == scan.root) return scan.top;
    auto it = scan.groups.find(folder);
    return it == scan.groups.end() ? scan.current : it->second;
}

TBrushImageLibraryEntry* NewSpecialEntry(const char* name)
{
    auto* entry = new TBrushImageLibraryEntry;
    entry->SetName("%s", name);
    return entry;
}

void SortItems(TKSN_TreeGroup* group, int first)
{
    if (!group || !group->items) return;
    group->items->QuickSort(first, group->items->Count() - 1, TQORStaticList_CompareThingyNames);
}

void SortChildren(TKSN_TreeGroup* parent)
{
    if (!parent) return;
    std::vector<TKSN_TreeGroup*> children;
    for (TKSN_TreeGroup* c = parent->GetChild(); c; c = c->GetNext()) children.push_back(c);
    std::stable_sort(children.begin(), children.end(),
                     [](TKSN_TreeGroup* a, TKSN_TreeGroup* b) { return CompareThingyNames(a, b); });
    for (TKSN_TreeGroup* c : children) c->Unlink();
    for (TKSN_TreeGroup* c : children) parent->LinkChild(c);
}

void SortTree(TKSN_TreeGroup* group, int firstItem)
{
    SortItems(group, firstItem);
    SortChildren(group);
    for (TKSN_TreeGroup* c = group->GetChild(); c; c = c->GetNext()) SortTree(c, 0);
}

void ScanLibrary(TKSN_BrushImageTreeGroup* top, const std::string& root, int specialEntries)
{
    TBrushLibraryScan scan;
    scan.current = top;
    scan.top = top;
    scan.specialEntries = specialEntries;
    scan.root = root;
    TOS::RecurseFolders("*.*", root.c_str(), true, UpdateBrushImageLibrary_OnVisitFolder,
                        UpdateBrushImageLibrary_OnExitFolder, UpdateBrushImageLibrary_OnVisitFile, &scan);
    SortTree(top, specialEntries);
}

} // namespace

bool CompareThingyNames(TQORThingy* a, TQORThingy* b) { return QORstrcmpi(a->GetName(), b->GetName()) < 0; }

int TQORStaticList_CompareThingyNames(TKSN_Thingy*& a, TKSN_Thingy*& b)
{
    return QORstrcmpi(a->GetName(), b->GetName());
}

void UpdateBrushImageLibrary_OnVisitFolder(const char* folder, void* context)
{
    auto* scan = static_cast<TBrushLibraryScan*>(context);
    if (!scan || !scan->current) QORThrowException("cGroup = NULL in UpdateBrushImageLibrary_OnVisitFolder");
    std::string path = folder ? folder : "";
    if (path.empty() || path.back() != '/') path += '/';

    std::string bare = path.substr(0, path.size() - 1);
    std::string name(bare.size() + 1, '\0');
    GetShortNameFromFileName(name.data(), bare.c_str(), true);
    name.resize(std::strlen(name.c_str()));

    TKSN_BrushImageTreeGroup* parent = GroupOfFolder(*scan, ParentFolder(path));
    auto* group = new TKSN_BrushImageTreeGroup;
    group->SetName("%s", name.c_str());
    parent->LinkChild(group);
    scan->groups[path] = group;
    scan->current = group;
}

void UpdateBrushImageLibrary_OnVisitFile(const char* folder, const char* name, void* context)
{
    auto* scan = static_cast<TBrushLibraryScan*>(context);
    if (!scan || !scan->current) QORThrowException("cGroup = NULL in UpdateBrushImageLibrary_OnVisitFile");
    if (!folder || !name) return;

    const size_t n = std::strlen(name) + 1;
    std::string shortName(n, '\0'), extension(n, '\0');
    GetExtensionFromFileName(name, shortName.data(), extension.data());
    shortName.resize(std::strlen(shortName.c_str()));
    extension.resize(std::strlen(extension.c_str()));

    bool accepted = false;
    if (App && App->importImageTypes)
        for (char* type : *App->importImageTypes)
            if (QORstrcmpi(type, extension.c_str()) == 0) accepted = true;
    // The entry's path is rebuilt from these fields: one that does not fit is skipped, never cut.
    if (!accepted || std::strlen(folder) + 1 > sizeof TBrushImageLibraryEntry::folder) return;

    auto* entry = new TBrushImageLibraryEntry;
    entry->SetName("%s", shortName.c_str());
    std::strcpy(entry->folder, folder);
    std::strcpy(entry->extension, extension.c_str());
    entry->fileName = name;
    GroupOfFolder(*scan, folder)->AddItem(entry);
}

void UpdateBrushImageLibrary_OnExitFolder(const char* folder, void* context)
{
    auto* scan = static_cast<TBrushLibraryScan*>(context);
    if (!scan || !scan->current || !folder) return;
    TKSN_BrushImageTreeGroup* group = GroupOfFolder(*scan, folder);
    SortItems(group, group == scan->top ? scan->specialEntries : 0);
    TKSN_TreeGroup* parent = group->GetParent();
    if (parent) SortChildren(parent);
    scan->current = parent ? static_cast<TKSN_BrushImageTreeGroup*>(parent) : scan->top;
}

void TKSN_Application::UpdateBrushImageLibraryFromDisc()
{
    const std::string folder = std::string(OS.GetMainPath()) + "Images/";
    brushImageLibrary->Empty();
    brushImageLibrary->AddItem(NewSpecialEntry("___NoTexture"));
    brushImageLibrary->AddItem(NewSpecialEntry("___LoadTexture"));
    ScanLibrary(brushImageLibrary, folder, 2);
}

void TKSN_Application::UpdateBrushShapesFromDisc()
{
    const std::string folder = std::string(OS.GetMainPath()) + "BrushShapes/";
    brushShapeLibrary->Disable();
    brushShapeLibrary->Empty();
    brushShapeLibrary->AddItem(NewSpecialEntry("___LoadTexture"));
    ScanLibrary(brushShapeLibrary, folder, 1);
}
