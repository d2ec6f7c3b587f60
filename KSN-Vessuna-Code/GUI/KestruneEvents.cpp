#include "KestruneEvents.h"

#include "KSN_Application.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"

namespace {

// The end of start-up: from here on the message hooks pass texts on.
void EndOfStartup()
{
    if (!App) return;
    App->splashTimer.Start();
    // TODO(stub): the splash window does not exist yet, so nothing is opened,
    // centred or drawn; the environment object ("Environment.OBJ" with
    // "EnvironmentMap_Grey.BMP") is not loaded because there are no meshes yet.
    App->running = true;
    OS.PrintMessage("%s", Lang.GetText(1695));
    OS.PrintMessage("%s", Lang.GetText(565));
}

} // namespace

bool KestruneEvents_CommandCB(TQOREvent* event)
{
    if (!event) return false;
    switch (event->GetCommand()) {
    case 121: EndOfStartup(); return true;
    // TODO(stub): opens App->startFileName once projects can be read.
    case 369: return true;
    default: return false;
    }
}
