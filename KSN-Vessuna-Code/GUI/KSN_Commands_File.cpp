// Project file commands (365-409): open, open the start file, new, save,
// save as and the save reminder; the model, set, map and brush file commands
// of the range are handed to KSN_Commands_FileIO.cpp and KSN_Commands_Brushes.cpp.
#include "KestruneEvents.h"

#include "KSN_Application.h"
#include "KSN_Commands_FileIO.h"
#include "KSN_Gui_MainWindow.h"
#include "KSN_MainWindow_Panels.h"
#include "KSN_Object.h"
#include "KSN_Project.h"
#include "KSN_Viewport.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORMaterialMapSource.h"
#include "QORString.h"

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int DialogBufferSize = 10000;

std::string DefaultProjectPath()
{
    char path[TOS_PATH_BUFFER];
    std::snprintf(path, sizeof path, "%sdata%cDefault.%s", OS.MainPath.c_str(), '/', "Kestrune");
    return path;
}

bool ProjectHasContent()
{
    if (!Project) return false;
    std::unique_ptr<TQORNewStaticList<TKSN_Object*>> objects(Project->GetObjectList());
    if (objects)
        for (TKSN_Object* object : *objects)
            if (object && object->Mesh) return true;
    std::unique_ptr<TQORNewStaticList<TQORMaterialMapSource*>> maps(Project->GetMapList());
    return maps && maps->Count() > 0;
}

bool OpenProject()
{
    if (ProjectHasContent() && !OS.MessageYesNo("%s", Lang.GetText(381))) return false;
    std::vector<char> path(DialogBufferSize, '\0');
    std::vector<char> folder(DialogBufferSize, '\0');
    std::snprintf(folder.data(), folder.size(), "%s", App->projectsPath);
    if (!OS.ExecuteOpenFileDialog(path.data(), folder.data(), "Project Files", "Kestrune", nullptr, true)) return false;
    std::snprintf(App->projectsPath, sizeof App->projectsPath, "%s", folder.data());
    OS.PrintMessage(Lang.GetText(1092), path.data());
    // A failed load keeps the old project; the reader names the file.
    MainWindow->LoadProject(path.data());
    return true;
}

bool OpenStartFile(TQOREvent* event)
{
    if (event->intParameters[0] < 3) {
        auto* again = new TQOREvent(369);
        again->intParameters[0] = event->intParameters[0] + 1;
        QOREvents_PushEvent(again);
        return true;
    }
    if (!App->loadDefaultProject) return true;
    if (MainWindow->LoadProject(App->startFileName)) {
        if (QORstrcmpi(App->startFileName, DefaultProjectPath().c_str()) == 0) {
            Project->UseDefaultSettings();
            for (TKSN_Viewport* viewport : App->viewports)
                if (viewport) viewport->FrameView(Project->GetCurrentObject(), KSN_FRAME_ALL);
        }
        NavCleanStacks();
        Project->OnSymmetrySettingsChanged(true);
        // The start file is a template: the next Save asks for a name.
        Project->FileName.clear();
    }
    TKSN_Object* current = Project ? Project->GetCurrentObject() : nullptr;
    if (!current || !current->Mesh) return false;
    Project->OnShapeChanged(true, true);
    return true;
}

// Writes the project; only a write that succeeded is reported as saved, so a
// caller that saves before something else stops when it failed.
bool SaveProject(bool askForName)
{
    std::string target = Project->FileName;
    const bool reuse = !askForName && !target.empty() && TOS::FileExists(target.c_str()) &&
                       !QORstrstri(target.c_str(), Lang.GetText(418));
    if (!reuse) {
        std::vector<char> path(DialogBufferSize, '\0');
        std::vector<char> folder(DialogBufferSize, '\0');
        std::snprintf(folder.data(), folder.size(), "%s", App->projectsPath);
        if (!OS.ExecuteSaveFileDialog(path.data(), folder.data(), "Project Files", "Kestrune", nullptr, true))
            return false;
        std::snprintf(App->projectsPath, sizeof App->projectsPath, "%s", folder.data());
        target = path.data();
    }
    App->SetCustomProgressMessage(Lang.GetText(580));
    const bool saved = Project->SaveProject_v2(target.c_str(), true);
    App->ClearCustomProgressMessage();
    if (!saved) {
        OS.WarningMessage("%s", Lang.GetText(1100));
        return false;
    }
    OS.PrintMessageNoRepeat(Lang.GetText(1099), target.c_str());
    return true;
}

bool SaveReminder()
{
    const float minutes = float(App->saveTimer.Read() / 60.0);
    OS.WarningMessage(Lang.GetText(minutes > 10.0f ? 1258 : 1055), double(minutes));
    App->saveReminderTimer.Stop();
    App->saveReminderTimer.Start();
    App->saveReminderTimer.Stop();
    return true;
}

} // namespace

bool Kestrune_Events_FileIOCB(TQOREvent* event)
{
    if (!event || !MainWindow || !App || !Project) return false;
    switch (event->GetCommand()) {
    case 368: return OpenProject();
    case 369: return OpenStartFile(event);
    case 373: MainWindow->NewProject(); return true;
    case 377: return SaveProject(false);
    case 378: return SaveProject(true);
    case 379: return true;
    case 402: return SaveReminder();
    case 366:
    case 367: return KSN_LoadBrushFileCommand(event->GetCommand() == 367);
    default: break;
    }
    bool result = false;
    if (KSN_ModelFileCommand(event, result) || KSN_SetFileCommand(event, result) || KSN_MapFileCommand(event, result))
        return result;
    return false;
}
