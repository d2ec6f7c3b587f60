// The 3DS Max exchange (see KSN_MaxExchange.h).
//
// Index:
//   [SECTION] Files and lines
//   [SECTION] Channel records
//   [SECTION] Poll
//   [SECTION] Receive
//   [SECTION] Maps of the objects
//   [SECTION] Send
//   [SECTION] Save maps
//   [SECTION] Dispatch and registration
#include "KSN_MaxExchange.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "KSN_Application.h"
#include "KSN_Interchange_Internal.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_Project.h"
#include "KSN_ToolList.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"
#include "QORPolyMesh.h"
#include "QORString.h"
#include "QORTimer.h"

using namespace ksn_interchange;

namespace {

constexpr int kOverwrittenMapsText = 917;
constexpr int kNoMapsToSaveText = 1580;
constexpr int kSavedMapsWithReferencesText = 1581;
constexpr int kSavedMapsText = 1582;
constexpr int CommandAfterReceive1 = 285;
constexpr int CommandAfterReceive2 = 432;
constexpr double kPluginWaitSeconds = 2.0;
constexpr const char* kNoForegroundMessage = "ForceForegroundWindow not implemented for OS X";

// The six channels of a material record, in file order.
constexpr const char* kRecordChannels[6] = {"Color", "Ambient", "Specular", "Bump", "Displacement", "Transparency"};

// ============================================================================
// [SECTION] Files and lines
// ============================================================================

std::string TransportFile(const char* name) { return KSN_InterApp_TransportPrefix() + name; }

bool Exists(const std::string& path) { return TOS::FileExists(path.c_str()); }

// An empty file; false when it cannot be made.
bool WriteFlag(const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "w");
    if (!file) return false;
    return std::fclose(file) == 0;
}

void DeleteFlag(const std::string& path)
{
    if (!TOS::OS_DeleteFile(path.c_str())) OS.ErrorMessage("%s", "Cannot delete flag file");
}

// A line of the file, or "" at its end.
std::string NextLine(FILE* file)
{
    std::string line;
    ReadWholeLine(file, line);
    return line;
}

bool EqualsTrimmed(const std::string& line, const char* word)
{
    std::string key, value;
    SplitKeyAndValue(line, key, value);
    return value.empty() && QORstrcmpi(key.c_str(), word) == 0;
}

// Objects with a mesh, in the order of the project's object list.
std::vector<TKSN_Object*> ObjectsWithMeshes()
{
    std::vector<TKSN_Object*> result;
    std::unique_ptr<TQORNewStaticList<TKSN_Object*>> objects(Project->GetObjectList());
    for (TKSN_Object* object : *objects)
        if (object->Mesh) result.push_back(object);
    return result;
}

// Picture objects (reference images) show their colour map whatever the view says.
bool IsReferenceImage(TKSN_Object* object) { return object->Mesh && object->Mesh->ForceColorTextureDisplay; }

} // namespace

std::string KSN_InterApp_TransportPrefix()
{
    std::string temporary;
    TOS::GetTemporaryPath(temporary);
    return temporary + "KSN-Transport\\";
}

// ============================================================================
// [SECTION] Channel records
// ============================================================================

void WriteChannelToFile(FILE* file, const char* name, const char* channelName, TQORMaterial* material)
{
    if (!file) return;
    TQORMaterialChannel* channel = material ? material->GetChannelFromName(channelName) : nullptr;
    if (!channel) {
        OS.WarningMessage("Error getting the channel %s", channelName ? channelName : "");
        std::fprintf(file, "Error\n\n");
        for (int i = 0; i < 4; ++i) std::fprintf(file, "%.8f\n", 1.0);
        return;
    }
    std::fprintf(file, "%s\n", name ? name : "");
    std::fprintf(file, "%s\n", channel->GetMapFileName());
    std::fprintf(file, "%.8f\n", double(channel->Strength));
    for (int c = 0; c < 3; ++c) std::fprintf(file, "%.8f\n", double(channel->Color[c]));
}

void ReadChannelFromFile(FILE* file, const char* channelName, TQORMaterial* material)
{
    NextLine(file);   // the channel's name as the plug-in calls it
    const std::string map = NextLine(file);
    const double strength = std::atof(NextLine(file).c_str());
    double colour[3];
    for (double& c : colour) c = std::atof(NextLine(file).c_str());
    TQORMaterialChannel* channel = material ? material->GetChannelFromName(channelName) : nullptr;
    if (!channel) return;
    channel->SetMapFileName(map.c_str());
    channel->Strength = float(strength);
    for (int c = 0; c < 3; ++c) channel->Color[c] = float(colour[c]);
}

// ============================================================================
// [SECTION] Poll
// ============================================================================

namespace {

bool EventCallback(TQOREvent* event) { return KSN_InterApp_CommandCB(event); }

void QueueCommand(int command) { QOREvents_PushEvent(new TQOREvent(EventCallback, 0, command)); }

bool Poll()
{
    const std::string sending = TransportFile("Max2KSN.sending");
    if (Exists(sending)) {
        OS.PrintMessage("%s", "Receiving data from host");
        QueueCommand(0);
        OS.RestoreWindowIfMinimized();
        OS.Pause(100);
        DeleteFlag(sending);
        OS.DebugMessage("%s", kNoForegroundMessage);
    }
    const std::string pleaseSend = TransportFile("Max2KSN.please.send");
    if (Exists(pleaseSend)) {
        OS.Pause(100);
        DeleteFlag(pleaseSend);
        OS.RestoreWindowIfMinimized();
        KSN_InterApp_CommandCB(1);
    }
    const std::string pleaseSync = TransportFile("Max2KSN.please.sync");
    if (Exists(pleaseSync)) {
        QueueCommand(2);
        OS.RestoreWindowIfMinimized();
        OS.Pause(100);
        DeleteFlag(pleaseSync);
    }
    return true;
}

// ============================================================================
// [SECTION] Receive
// ============================================================================

// The import options the receive needs, given back when it ends, whichever way.
class TImportOptionsScope {
public:
    explicit TImportOptionsScope(TKSN_Project* project) : P(project)
    {
        for (size_t i = 0; i < std::size(Flags); ++i) Saved[i] = P->*Flags[i];
        SavedImportMaps = P->ImportMaps;
        for (bool TKSN_Project::*flag : Flags) P->*flag = false;
        P->ImportMaps = true;
    }
    ~TImportOptionsScope()
    {
        if (Project != P) return;   // the project was replaced meanwhile
        for (size_t i = 0; i < std::size(Flags); ++i) P->*Flags[i] = Saved[i];
        P->ImportMaps = SavedImportMaps;
    }
    TImportOptionsScope(const TImportOptionsScope&) = delete;
    TImportOptionsScope& operator=(const TImportOptionsScope&) = delete;

private:
    static constexpr bool TKSN_Project::*Flags[7] = {
        &TKSN_Project::FlipNormalsOnImport,         &TKSN_Project::ScaleOnImport,
        &TKSN_Project::CenterOnImport,              &TKSN_Project::FlipUVsHorizontallyOnImport,
        &TKSN_Project::FlipUVsVerticallyOnImport,   &TKSN_Project::WeldOnImport,
        &TKSN_Project::UseInternalNameforGroups};
    TKSN_Project* P;
    bool Saved[7] = {};
    bool SavedImportMaps = true;
};

// Closes the script and gives the tool back unless the receive finished.
struct TReceiveScope {
    FILE* Script = nullptr;
    TKSN_Tool* PreviousTool = nullptr;
    bool Finished = false;
    ~TReceiveScope()
    {
        if (Script) std::fclose(Script);
        // A failed receive leaves the user with the tool they had.
        if (!Finished && Project && App && PreviousTool) Project->ChangeTool(Project->GetPolyMesh(), nullptr, PreviousTool);
    }
};

// Reads the material records of one received object into its mesh.
bool ReadMaterialFile(const std::string& path, TKSN_Mesh* mesh)
{
    FILE* file = std::fopen(path.c_str(), "r");
    if (!file) return false;
    std::string line;
    while (ReadWholeLine(file, line)) {
        if (line != "material") {
            OS.WarningMessage("Unknown command in material file (%s)", line.c_str());
            continue;
        }
        const std::string name = NextLine(file);
        TQORMaterial* material = mesh->FindMaterial(name.c_str());
        if (!material) continue;
        for (const char* channel : kRecordChannels) ReadChannelFromFile(file, channel, material);
    }
    std::fclose(file);
    return true;
}

bool Receive()
{
    OS.DebugMessage("%s", kNoForegroundMessage);
    OS.RestoreWindowIfMinimized();
    TReceiveScope scope;
    scope.PreviousTool = App ? App->currentTool : nullptr;
    Project->ChangeTool(nullptr, nullptr, static_cast<TKSN_Tool*>(nullptr));
    TImportOptionsScope options(Project);

    scope.Script = std::fopen(TransportFile("Max2KSN.script").c_str(), "r");
    if (!scope.Script) {
        OS.WarningMessage("%s", "Error receiving data from host (a)");
        return false;
    }
    if (NextLine(scope.Script) != KSN_InterApp_Version)
        OS.WarningMessage("%s", "Versions are out of sync between the application and the plug-in");

    std::string name, objPath;
    for (;;) {
        if (!ReadWholeLine(scope.Script, name)) break;   // the end of the script: finished
        if (!ReadWholeLine(scope.Script, objPath)) {
            if (name.empty()) break;   // a blank last line
            return false;
        }
        // The object of the same name (any case) may be replaced.
        TKSN_Object* existing = nullptr;
        for (TKSN_Object* object : ObjectsWithMeshes()) {
            object->multiSelected = false;
            if (!existing && QORstrcmpi(object->GetName(), name.c_str()) == 0) existing = object;
        }
        if (existing) {
            existing->multiSelected = true;
            if (!OS.MessageYesNo("The object '%s' already exists. Would you like to replace it?", name.c_str()))
                continue;
            // Only the object whose name matched goes; other highlighted
            // items of the tree (cameras, groups) are not the plug-in's.
            Project->ForgetCurrentItem(existing);
            Project->DeleteThingy(Project->Objects, existing);
        }
        if (!Project->ImportObject(objPath.c_str())) continue;
        TKSN_Object* object = Project->GetCurrentObject();
        if (object) object->SetName("%s", name.c_str());
        if (!object || !object->Mesh) {
            OS.WarningMessage("%s", "Error receiving the object");
            return false;
        }
        OS.PrintMessage("%s", "Received Object From Host");
        if (!ReadMaterialFile(objPath + ".materials", object->Mesh.get())) {
            OS.WarningMessage("%s", "Error receiving material information (a)");
            return false;
        }
        Project->SetupMeshAfterImport(false);
    }

    WriteFlag(TransportFile("KSN-Transport-Finished.flag"));
    scope.Finished = true;
    if (App && App->navigationTools) Project->ChangeTool(Project->GetPolyMesh(), App->navigationTools, 0);
    Project->OnMapTopologyChanged();
    if (App) {
        const float orientation[16] = {1, 0, 0, 0, 0, 0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1};
        std::memcpy(App->baseOrientationMatrix, orientation, sizeof orientation);
    }
    QOREvents_PushEvent(CommandAfterReceive1);
    QOREvents_PushEvent(CommandAfterReceive2);
    return true;
}

// ============================================================================
// [SECTION] Maps of the objects
// ============================================================================

struct TObjectMaps {
    std::vector<TQORMaterialMapSource*> Maps;   // in the project's map order
    int Objects = 0;                             // objects with a mesh
    int ReferenceImages = 0;                     // of those, picture objects
};

TObjectMaps MapsOfObjects()
{
    TObjectMaps result;
    std::set<uint32_t> used;
    for (TKSN_Object* object : ObjectsWithMeshes()) {
        ++result.Objects;
        if (IsReferenceImage(object)) {
            ++result.ReferenceImages;
            continue;
        }
        TQORMaterialMapList* bindings = object->Mesh->MaterialMaps;
        if (!bindings) continue;
        for (TQORMaterialMap* binding : *bindings)
            if (binding && binding->GetMapSource()) used.insert(binding->GetMapSourceID());
    }
    std::unique_ptr<TQORNewStaticList<TQORMaterialMapSource*>> maps(Project->GetMapList());
    for (TQORMaterialMapSource* map : *maps)
        if (map && used.count(map->GetID())) result.Maps.push_back(map);
    return result;
}

// ============================================================================
// [SECTION] Send
// ============================================================================

void WriteMaterials(FILE* file, TKSN_Mesh* mesh)
{
    std::fprintf(file, "******** Materials ***************\n");
    const int count = mesh->Materials ? mesh->Materials->GetItemCount() : 0;
    std::fprintf(file, "%d\n", count);
    for (int i = 0; i < count; ++i) {
        TQORMaterial* material = mesh->Materials->GetItemAs(i);
        std::fprintf(file, "%s\n", material ? material->GetName() : "");
        for (const char* channel : kRecordChannels) WriteChannelToFile(file, channel, channel, material);
    }
}

void WriteUVs(FILE* file, TKSN_Mesh* mesh)
{
    std::fprintf(file, "******** UV array ***************\n");
    std::fprintf(file, "%d\n", mesh->GetTVCount());
    for (int t = 0; t < mesh->GetTVCount(); ++t)
        std::fprintf(file, "%.8f\n%.8f\n", double(mesh->tVertices[2 * t]), double(mesh->tVertices[2 * t + 1]));
    std::fprintf(file, "******** UV polygons ***************\n");
    std::fprintf(file, "%d\n", mesh->GetPCount());
    for (int p = 0; p < mesh->GetPCount(); ++p) {
        const TQORPolygon& polygon = mesh->Polygons[p];
        const int corners = polygon.Points ? polygon.Count : 0;
        std::fprintf(file, "%d\n", corners);
        for (int k = 0; k < corners; ++k) std::fprintf(file, "%d\n", polygon.Points[k].VT);
    }
}

// Busy-waits for the plug-in to take the changes, asking every 2 seconds.
void WaitForPlugin(const std::string& sending)
{
    TQORTimer timer;
    timer.Start();
    while (Exists(sending)) {
        if (timer.Read() > kPluginWaitSeconds) {
            if (!OS.MessageOkCancel("3DS Max has not started receiving the data. Please open the Kestrune panel in 3DS "
                                    "Max.\n\nPress cancel to stop sending the changes")) {
                TOS::OS_DeleteFile(sending.c_str());
                return;
            }
            timer.Start();
        }
        // Yield the core between looks; the plug-in runs on the same machine.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

bool Send()
{
    for (TQORMaterialMapSource* map : MapsOfObjects().Maps) {
        const char* file = map->GetMapFileName();
        if (file[0] && TOS::FileExists(file)) {
            Project->SaveMap(map, file, false);
        } else {
            OS.RestoreWindowIfMinimized();
            OS.DebugMessage("%s", kNoForegroundMessage);
            Project->SaveMapToFileWithPrompt(map, false);
        }
    }

    FILE* script = std::fopen(TransportFile("Max2KSN.script").c_str(), "r");
    if (!script) {
        OS.WarningMessage("%s", "Cannot read the script file Max2KSN.script");
        return false;
    }
    bool sendMaterials = false, sendUVs = false;
    for (std::string line; ReadWholeLine(script, line);) {
        sendMaterials = sendMaterials || EqualsTrimmed(line, "MAP_ASSIGNMENTS");
        sendUVs = sendUVs || EqualsTrimmed(line, "UV_MAPPING");
    }
    std::fclose(script);

    FILE* out = CreateReplacing(TransportFile("KSN2MAX.script").c_str());
    if (!out) {
        OS.WarningMessage("%s", "Cannot write script file");
        return false;
    }
    Project->UpdateAllChannelMapFileNames();
    std::vector<TKSN_Object*> sent;
    for (TKSN_Object* object : ObjectsWithMeshes())
        if (!IsReferenceImage(object)) sent.push_back(object);
    std::fprintf(out, "%s\n", KSN_InterApp_Version);
    std::fprintf(out, "%d\n", int(sent.size()));
    for (TKSN_Object* object : sent) {
        TKSN_Mesh* mesh = object->Mesh.get();
        std::fprintf(out, "%s\n", object->GetName());
        std::fprintf(out, "%d\n", sendMaterials ? 1 : 0);
        std::fprintf(out, "%d\n", sendUVs ? 1 : 0);
        if (sendMaterials) WriteMaterials(out, mesh);
        if (sendUVs) WriteUVs(out, mesh);
        std::fprintf(out, "END_OBJECT_DEFINITION\n");
    }
    std::fclose(out);

    WriteFlag(TransportFile("KSN-Transport-Finished.flag"));
    const std::string sending = TransportFile("KSN2Max.sending");
    if (!WriteFlag(sending)) {
        OS.WarningMessage("%s", "Error writing 'data sending' file");
        return true;
    }
    WaitForPlugin(sending);
    return true;
}

// ============================================================================
// [SECTION] Save maps
// ============================================================================

bool SaveMaps()
{
    const TObjectMaps marked = MapsOfObjects();
    int saved = 0;
    for (TQORMaterialMapSource* map : marked.Maps) {
        const char* file = map->GetMapFileName();
        if (file[0] && TOS::FileExists(file)) {
            if (Project->SaveMap(map, file, true)) {
                ++saved;
                OS.WarningMessage("%s", Lang.GetText(kOverwrittenMapsText));
            }
        } else {
            OS.RestoreWindowIfMinimized();
            if (Project->SaveMapToFileWithPrompt(map, true)) ++saved;
        }
    }
    if (marked.Objects == 0)
        OS.PrintMessageNoRepeat("%s", Lang.GetText(kNoMapsToSaveText));
    else if (marked.ReferenceImages > 0)
        OS.PrintMessageNoRepeat("%s", QORFormat(Lang.GetText(kSavedMapsWithReferencesText), saved,
                                                int(marked.Maps.size()), marked.ReferenceImages)
                                          .c_str());
    else
        OS.PrintMessageNoRepeat("%s", QORFormat(Lang.GetText(kSavedMapsText), saved, int(marked.Maps.size())).c_str());
    WriteFlag(TransportFile("KSN-Transport-Finished.flag"));
    return true;
}

} // namespace

// ============================================================================
// [SECTION] Dispatch and registration
// ============================================================================

bool KSN_InterApp_CommandCB(int command)
{
    if (!Project) return true;
    switch (command) {
    case 0:
        return Receive();
    case 1:
        return Send();
    case 2:
        return SaveMaps();
    case 3:
        return Poll();
    default:
        return true;
    }
}

bool KSN_InterApp_CommandCB(TQOREvent* event) { return event ? KSN_InterApp_CommandCB(event->GetCommand()) : true; }

void KSN_RegisterInterAppExchange()
{
    TKSN_Project::InterApplicationPollHook = [] { return KSN_InterApp_CommandCB(3); };
}
