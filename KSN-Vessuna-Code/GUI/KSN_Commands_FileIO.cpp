// Model, set and map file commands: what the import and export windows
// prepare (the chosen file in the window's file name, the options in the
// project) is carried out here, plus the layer-set library and the map
// imports, exports and drops.
#include "KSN_Commands_FileIO.h"

#include "KSN_Application.h"
#include "KSN_Gui_MainWindow.h"
#include "KSN_ImportExportWindows.h"
#include "KSN_MainWindow_Panels.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_Project.h"
#include "KestruneEvents.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"
#include "QORString.h"
#include "QORglut.h"

#include <cstdio>
#include <unistd.h>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int DialogBufferSize = 10000;

struct TDialogBuffers {
    std::vector<char> Path = std::vector<char>(DialogBufferSize, '\0');
    std::vector<char> Folder = std::vector<char>(DialogBufferSize, '\0');
    explicit TDialogBuffers(const char* folder) { std::snprintf(Folder.data(), Folder.size(), "%s", folder); }
};

void Remember(char* appFolder, const TDialogBuffers& b)
{
    std::snprintf(appFolder, KSN_APP_PATH_BUFFER, "%s", b.Folder.data());
}

std::string ImportFileName()
{
    TKSN_ImportWindow* w = KSN_GetImportWindow();
    return w ? w->FileName : std::string();
}

std::string ExportFileName()
{
    TKSN_ExportWindow* w = KSN_GetExportWindow();
    return w ? w->FileName : std::string();
}

void Push(int command) { QOREvents_PushEvent(command); }

bool HasMeshObject()
{
    TKSN_Object* object = Project->GetCurrentObject();
    return object && object->Mesh;
}

// [SECTION] Models (370-372, 389, 398, 399, 401, 404, 405)

void ExportOne(TKSN_Object* object, const char* path)
{
    if (Project->ExportGroupsAsSeparateFiles) {
        OS.PrintMessage("%s", Lang.GetText(1053));
        Project->ExportGroupsAsSeparateObjects(object, path);
    } else {
        OS.PrintMessage(Lang.GetText(1054), path);
        Project->ExportObject(object, path);
    }
}

bool ExportOBJ()
{
    const std::string target = ExportFileName();
    if (QORstrcmpi(target.c_str(), TKSN_ExportWindow::MultipleMarker) != 0) {
        TKSN_Object* current = Project->GetCurrentObject();
        if (current && current->Mesh) ExportOne(current, target.c_str());
        return true;
    }
    // Collected first: a save dialog must not see the list change under it.
    std::vector<uint32_t> ids;
    std::unique_ptr<TQORNewStaticList<TKSN_Object*>> objects(Project->GetObjectList());
    if (objects)
        for (TKSN_Object* object : *objects)
            if (object && object->Mesh && object->multiSelected && Project->CanAffectObject(object)) {
                object->RegisterForLookup();
                ids.push_back(object->GetID());
            }
    for (uint32_t id : ids) {
        auto* object = dynamic_cast<TKSN_Object*>(__GetThingyFromID(id));
        if (!object) continue;
        TDialogBuffers b(App->exportPath);
        if (!OS.ExecuteSaveFileDialog(b.Path.data(), b.Folder.data(), "Object Files", "OBJ", object->GetName(), true))
            continue;
        Remember(App->exportPath, b);
        ExportOne(object, b.Path.data());
    }
    return true;
}

bool ExportMOR()
{
    TKSN_ExportWindow* w = KSN_GetExportWindow();
    const std::string target = ExportFileName();
    const std::string channel = w ? w->GetChannel() : std::string("PBMCC_01");
    Project->ExportMORFile(target.c_str(), channel.c_str(), false);
    const std::string twin = KSN_MakeREMTwinName(target.c_str());
    if (TOS::FileExists(twin.c_str()) && !OS.MessageYesNo(Lang.GetText(1047), twin.c_str())) return true;
    Project->ExportMORFile(twin.c_str(), channel.c_str(), true);
    return true;
}

bool ExportCR2()
{
    TKSN_Object* current = Project->GetCurrentObject();
    if (!current) return false;
    char original[TOS_PATH_BUFFER] = {};
    const std::string& loaded = current->FileName;
    bool found = false;
    if (loaded.size() > 4 && QORstrcmpi(loaded.c_str() + loaded.size() - 4, ".CR2") == 0) {
        std::snprintf(original, sizeof original, "%s", loaded.c_str());
        found = App->LocateFile(original);
    } else {
        OS.Message("%s", Lang.GetText(1048));
        TDialogBuffers b(App->exportPath);
        if (OS.ExecuteOpenFileDialog(b.Path.data(), b.Folder.data(), "CR2 Files", "CR2", nullptr, true)) {
            Remember(App->exportPath, b);
            std::snprintf(original, sizeof original, "%s", b.Path.data());
            found = true;
        }
    }
    if (!found) return false;
    const std::string target = ExportFileName();
    OS.PrintMessage(Lang.GetText(1049), target.c_str());
    OS.PrintMessage(Lang.GetText(1050), original);
    Project->InjectMorphsIntoCR2File(original, target.c_str());
    return true;
}

bool ImportMorphTarget()
{
    TDialogBuffers b(App->importPath);
    if (!OS.ExecuteOpenFileDialog(b.Path.data(), b.Folder.data(), "OBJ Files", "OBJ", "", true)) return false;
    Remember(App->importPath, b);
    OS.PrintMessage(Lang.GetText(1098), b.Path.data());
    Project->ImportMorph(b.Path.data());
    Push(432);
    return true;
}

// [SECTION] The layer-set library (397)

// Writes the new index beside the old one and renames it into place, so a
// failed write never leaves a cut index behind.
bool WriteLibraryIndex(const std::string& folder, const std::string& index, const std::string& entry)
{
    const std::string temporaryName = folder + "Files.txt." + std::to_string(::getpid()) + ".tmp";
    const char* temporary = temporaryName.c_str();
    FILE* out = std::fopen(temporary, "wb");
    if (!out) return false;
    bool ok = std::fprintf(out, "%s\n", entry.c_str()) >= 0;
    if (FILE* in = std::fopen(index.c_str(), "rb")) {
        std::vector<char> line(10000, '\0');
        while (ok && !std::feof(in)) {
            TOS::fgets(line.data(), int32_t(line.size()), in);
            if (std::ferror(in)) {
                ok = false;
                break;
            }
            // Entries are full paths: an empty line is only the end of the file.
            if (line[0]) ok = std::fprintf(out, "%s\n", line.data()) >= 0;
        }
        std::fclose(in);
    }
    ok = std::fflush(out) == 0 && ok;
    ok = std::fclose(out) == 0 && ok;
    if (ok) ok = std::rename(temporary, index.c_str()) == 0;
    if (!ok) std::remove(temporary);
    return ok;
}

bool AddLayerSetToLibrary()
{
    TKSN_Object* current = Project->GetCurrentObject();
    if (!current) return false;
    if (!current->Mesh) {
        App->WarningNoCurrentObject(true);
        return false;
    }
    const std::string folder = KSN_GetLayerSetLibraryFolder();
    const std::string index = KSN_GetLayerSetLibraryIndex();
    if (!TOS::DirectoryExists(folder.c_str())) TOS::MakeFolder(folder.c_str());
    if (!TOS::DirectoryExists(folder.c_str())) {
        OS.WarningMessage(Lang.GetText(1051), folder.c_str());
        return false;
    }
    std::vector<char> name(std::strlen(current->GetName()) + 1);
    std::memcpy(name.data(), current->GetName(), name.size());
    RemoveExtensionFromFileName(name.data());
    std::string entry = folder + name.data() + ".LaySet";
    for (int n = 1; TOS::FileExists(entry.c_str()) || TOS::DirectoryExists(entry.c_str()); ++n)
        entry = folder + name.data() + "_" + std::to_string(n) + ".LaySet";
    Project->ExportLayerSet(entry.c_str());
    if (!WriteLibraryIndex(folder, index, entry)) {
        OS.WarningMessage("%s", Lang.GetText(1052));
        return false;
    }
    Push(436);
    return true;
}

// [SECTION] Maps (374-376, 381-383)

bool ChooseImage(TDialogBuffers& b)
{
    char wildcard[KSN_APP_PATH_BUFFER];
    App->GetFileDialogDescriptionForAllImportImageFileTypes(wildcard, sizeof wildcard);
    if (!OS.ExecuteOpenFileDialogMultipleTypes(b.Path.data(), b.Folder.data(), wildcard, "", true, nullptr))
        return false;
    Remember(App->importPath, b);
    return true;
}

bool ImportMapFile()
{
    TDialogBuffers b(App->importPath);
    if (!ChooseImage(b)) return false;
    if (TQORMaterialMapSource* map = Project->ImportMap(b.Path.data())) {
        Project->ClearManagerSelections(nullptr);
        map->RegisterForLookup();
        if (Project->Maps) Project->Maps->SelectItem(map->GetID(), false, false);
        Push(12);
        Push(434);
        Push(435);
    }
    return true;
}

// A "map <ID>" payload: true with the ID read as unsigned; `id` stays 0
// when the parameter is not a number.
bool IsMapReference(const char* text, uint32_t& id)
{
    const size_t n = std::strlen(text) + 1;
    std::vector<char> command(n, '\0'), parameter(n, '\0');
    GetCommandAndParameter(text, command.data(), parameter.data());
    if (QORstrcmpi(command.data(), "map") != 0) return false;
    id = 0;
    unsigned value = 0;
    if (std::sscanf(parameter.data(), "%u", &value) == 1) id = value;
    return true;
}

const char* StringSlot(TQOREvent* event, int i)
{
    const char* text = event->GetStringParameter(i);
    return text ? text : "";
}

template <class T> T* Resolve(uint32_t id) { return id ? dynamic_cast<T*>(__GetThingyFromID(id)) : nullptr; }

bool DropOnChannel(TQOREvent* event)
{
    const char* text = StringSlot(event, 0);
    if (!*text) return true;
    uint32_t id = 0;
    if (IsMapReference(text, id)) {
        // A payload that names no map would clear the channel: it changes nothing.
        if (!Resolve<TQORMaterialMapSource>(id)) return true;
        auto* bind = new TQOREvent(KestruneEvents_CommandCB, 0, 468);
        for (int i = 0; i < 3; ++i) bind->idParameters[i] = event->idParameters[i];
        bind->idParameters[3] = id;
        QOREvents_PushEvent(bind);
        return true;
    }
    auto* channel = Resolve<TQORMaterialChannel>(event->idParameters[0]);
    auto* mesh = Resolve<TKSN_Mesh>(event->idParameters[1]);
    auto* material = Resolve<TQORMaterial>(event->idParameters[2]);
    if (channel && mesh && material) {
        if (TQORMaterialMapSource* map = Project->ImportMap(text)) {
            Project->AssignMapToMaterialChannel(mesh, map, material, StringSlot(event, 1));
            if (Project->DoesChannelInvalidateSubDRender(channel))
                mesh->InvalidateAllInOSpace();
            else
                mesh->InvalidateAllOctreeNodeDisplayLists();
            Push(299);
        }
    }
    KestruneEvents_PostRedisplay();
    return true;
}

bool DropOnMapsTab(TQOREvent* event)
{
    auto* map = Resolve<TQORMaterialMapSource>(event->idParameters[0]);
    const char* text = StringSlot(event, 0);
    uint32_t id = 0;
    if (*text && !IsMapReference(text, id) && TOS::FileExists(text)) {
        if (map)
            Project->ReplaceMap(map, text);
        else
            Project->ImportMap(text);
    }
    Push(434);
    Push(435);
    KestruneEvents_PostRedisplay();
    return true;
}

bool ExportHighlightedMaps(bool currentLayer)
{
    if (!Project->Maps || Project->Maps->GetSelectedCount(true, true) == 0) {
        OS.WarningMessageNoRepeat("%s", Lang.GetText(1541));
        Push(12);
        return false;
    }
    for (TQORMaterialMapSource* map : KSN_HighlightedTreeMaps()) {
        if (currentLayer)
            Project->ExportMapCurrentLayer(map);
        else
            Project->ExportMap(map);
    }
    Push(435);
    return true;
}

bool ImportIntoCurrentLayer()
{
    std::vector<uint32_t> ids;
    std::unique_ptr<TQORNewStaticList<TQORMaterialMapSource*>> maps(Project->GetMapList());
    if (maps)
        for (TQORMaterialMapSource* map : *maps)
            if (map && map->multiSelected) {
                map->RegisterForLookup();
                ids.push_back(map->GetID());
            }
    if (ids.empty()) {
        OS.WarningMessageNoRepeat("%s", Lang.GetText(1541));
        return false;
    }
    TDialogBuffers b(App->importPath);
    if (!ChooseImage(b)) return false;
    for (uint32_t id : ids)
        if (auto* map = Resolve<TQORMaterialMapSource>(id)) Project->ImportMapIntoCurrentLayer(map, b.Path.data());
    return true;
}

} // namespace

std::string KSN_MakeREMTwinName(const char* path)
{
    const size_t n = std::strlen(path) + 1;
    std::vector<char> name(n, '\0'), extension(n, '\0');
    GetExtensionFromFileName(path, name.data(), extension.data());
    std::string twin = name.data();
    const size_t length = twin.size();
    if (length < 4 || QORstrcmpi(twin.c_str() + length - 3, "MOR") != 0)
        twin += "_REM";
    else
        twin.replace(length - 3, 3, "REM");
    return twin + "." + extension.data();
}

std::string KSN_GetLayerSetLibraryFolder() { return OS.MainPath + "Layer Sets/"; }

std::string KSN_GetLayerSetLibraryIndex() { return KSN_GetLayerSetLibraryFolder() + "Files.txt"; }

bool KSN_ModelFileCommand(TQOREvent* event, bool& result)
{
    switch (event->GetCommand()) {
    case 370: {
        const std::string path = ImportFileName();
        OS.PrintMessage(Lang.GetText(1093), path.c_str());
        Project->ImportCR2File(path.c_str());
        Push(285);
        Push(432);
        result = true;
        return true;
    }
    case 371: {
        const std::string path = ImportFileName();
        OS.PrintMessage(Lang.GetText(1097), path.c_str());
        // A missing, empty or foreign file adds nothing; the user learns why
        // the scene did not change.
        const bool readable = TOS::FileExists(path.c_str());
        if (!Project->ImportObject(path.c_str())) {
            // The reader names what is wrong inside a file; a file that is
            // not there is named here.
            if (!readable) OS.WarningMessage("The file %s could not be found; nothing was imported.", path.c_str());
            result = true;
            return true;
        }
        Push(285);
        Push(432);
        result = true;
        return true;
    }
    case 372: result = ImportMorphTarget(); return true;
    case 389: result = ExportOBJ(); return true;
    case 398: result = ExportMOR(); return true;
    case 399: Project->ExportMATFile(ExportFileName().c_str()); result = true; return true;
    case 401: result = ExportCR2(); return true;
    case 404:
        if (TKSN_ImportWindow* w = KSN_GetImportWindow()) w->Execute("");
        result = true;
        return true;
    case 405:
        if (!Project->GetPolyMesh()) {
            App->WarningNoCurrentObject(true);
            result = false;
            return true;
        }
        if (TKSN_ExportWindow* w = KSN_GetExportWindow()) w->Execute();
        result = true;
        return true;
    default: return false;
    }
}

bool KSN_SetFileCommand(TQOREvent* event, bool& result)
{
    result = true;
    switch (event->GetCommand()) {
    case 390: Project->ExportSelectionSet(ExportFileName().c_str()); return true;
    case 391: {
        const std::string path = ImportFileName();
        OS.PrintMessage(Lang.GetText(1094), path.c_str());
        Project->ImportSelectionSet(path.c_str(), Project->MergeSelectionSets);
        Push(432);
        return true;
    }
    case 392: Project->ExportMorphSet(ExportFileName().c_str()); return true;
    case 393: {
        const std::string path = ImportFileName();
        OS.PrintMessage(Lang.GetText(1096), path.c_str());
        Project->ImportMorphSet(path.c_str(), Project->MergeMorphSets);
        Push(432);
        return true;
    }
    case 394: Project->ExportLayerSet(ExportFileName().c_str()); return true;
    case 395: {
        const std::string path = ImportFileName();
        OS.PrintMessage(Lang.GetText(1095), path.c_str());
        Project->ImportLayerSet(path.c_str());
        Push(147);
        Push(432);
        return true;
    }
    case 396:
        if (!Project->GetPolyMesh()) {
            App->WarningNoCurrentObject(true);
            result = false;
            return true;
        }
        if (*StringSlot(event, 0)) {
            Project->ImportLayerSet(StringSlot(event, 0));
            Push(147);
            Push(432);
        }
        return true;
    case 397: result = AddLayerSetToLibrary(); return true;
    default: return false;
    }
}

bool KSN_MapFileCommand(TQOREvent* event, bool& result)
{
    result = true;
    switch (event->GetCommand()) {
    case 374: result = ImportMapFile(); return true;
    case 375: result = DropOnChannel(event); return true;
    case 376: result = DropOnMapsTab(event); return true;
    case 381: result = ExportHighlightedMaps(false); return true;
    case 382: result = ExportHighlightedMaps(true); return true;
    case 383: result = ImportIntoCurrentLayer(); return true;
    case 385:
    case 386:
    case 387: OS.Message("%s", Lang.GetText(1632)); return true;
    case 388:
        if (!HasMeshObject()) {
            App->WarningNoCurrentObject(true);
            result = false;
            return true;
        }
        Project->SaveProjectMaps();
        return true;
    default: return false;
    }
}

std::vector<TQORMaterialMapSource*> KSN_HighlightedTreeMaps()
{
    std::vector<TQORMaterialMapSource*> maps;
    if (!Project || !Project->Maps) return maps;
    std::unique_ptr<TKSN_ThingyList> list = Project->Maps->GetPreOrderList(false, true, true);
    if (list)
        for (TKSN_Thingy* t : *list)
            if (auto* map = dynamic_cast<TQORMaterialMapSource*>(t)) maps.push_back(map);
    return maps;
}
