// The central dispatcher: the redraw table, routing by range, and the ids it
// handles itself.
#include "KestruneEvents.h"

#include "KSN_Application.h"
#include "KSN_Commands_Drop.h"
#include "KSN_Commands_General.h"
#include "KSN_Gui_MainWindow.h"
#include "KSN_MainWindow_Panels.h"
#include "KSN_Project.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORglut.h"

#include <cstring>

int32_t Kestrune_EventProperties[491] = {};
bool Kestrune_Events_Initialized = false;
int KestruneEvents_RedisplayCount = 0;
void (*KestruneEvents_CommandListener)(TQOREvent* event) = nullptr;

namespace {

// The ids 1-14 and 117-181 that the dispatcher runs itself (KSN_Commands_General.cpp);
// 2-6 are drops on the Manager tab's trees.
bool OwnCommand(TQOREvent* event)
{
    const int command = event->GetCommand();
    if (command >= 2 && command <= 6) return KSN_ManagerTreeDrop(event);
    return Kestrune_Events_GeneralCB(event);
}

bool InRange(int id, int low, int high) { return id >= low && id <= high; }

} // namespace

void KestruneEvents_PostRedisplay()
{
    ++KestruneEvents_RedisplayCount;
    QORglutPostRedisplay_Internal();
}

void KestruneEvents_Install()
{
    QOREvents_SetMainFunction(KestruneEvents_CommandCB);
    QOREvents_SetRedisplayFunction(KestruneEvents_PostRedisplay);
}

void Kestrune_InitializeEvents()
{
    std::memset(Kestrune_EventProperties, 0, sizeof Kestrune_EventProperties);
    Kestrune_Events_Initialized = true;
    static const int redraw[] = {7,   147, 148, 150, 151, 157, 158, 162, 165, 166, 167, 181, 194, 215, 234,
                                 301, 302, 303, 342, 343, 344, 384, 386, 387, 459, 460, 461, 463, 468, 470, 471};
    for (int id : redraw) Kestrune_EventProperties[id] |= 1;
    for (int id = 322; id <= 338; ++id) Kestrune_EventProperties[id] |= 1;
    for (int id = 368; id <= 376; ++id) Kestrune_EventProperties[id] |= 1;
}

bool KestruneEvents_CommandCB(TQOREvent* event)
{
    if (!event) return false;
    if (KestruneEvents_CommandListener) KestruneEvents_CommandListener(event);
    if (!GetMainWindow()) return false;
    if (!Kestrune_Events_Initialized) Kestrune_InitializeEvents();

    const int id = event->GetCommand();
    if (InRange(id, 1, 490) && (Kestrune_EventProperties[id] & 1)) {
        if (Project) Project->OnAllViewportsChanged();
        KestruneEvents_PostRedisplay();
    }
    if (InRange(id, 182, 190)) return Kestrune_Events_SystemCB(event);
    if (InRange(id, 191, 206)) return Kestrune_Events_ObjectCB(event);
    if (InRange(id, 207, 224)) return Kestrune_Events_MorphCB(event);
    if (InRange(id, 225, 258)) return Kestrune_Events_SelectionCB(event);
    if (InRange(id, 259, 314)) return Kestrune_Events_ViewportCB(event);
    if (InRange(id, 315, 348)) return Kestrune_Events_LayerCB(event);
    if (InRange(id, 349, 357)) return Kestrune_Events_MaterialCB(event);
    if (InRange(id, 358, 364)) return Kestrune_Events_GroupCB(event);
    if (InRange(id, 365, 409)) return Kestrune_Events_FileIOCB(event);
    if (InRange(id, 410, 457)) return Kestrune_Events_UpdateInterfaceCB(event);
    if (InRange(id, 478, 490)) return Kestrune_Events_VariousInterfaceACB(event);
    if (InRange(id, 458, 477)) return Kestrune_Events_MapsCB(event);
    if (InRange(id, 15, 116)) return Kestrune_Events_InterfaceVariablesCB(event);
    if (InRange(id, -10000, -9988)) return Kestrune_Events_SystemWindowCB(event);
    if (InRange(id, 1, 14) || InRange(id, 117, 181)) return OwnCommand(event);
    return true;
}
