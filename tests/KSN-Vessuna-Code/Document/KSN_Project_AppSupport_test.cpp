// The application object for the document tests, behind calls that need no
// application header: KSN_Application.h and KSN_Mesh.h (through the selection
// header) each declare their own selection-type enum, so a test source that
// builds meshes cannot include the application header. No tests live here.
#include "KSN_Project_AppSupport.h"

#include "KSN_Application.h"
#include "KsnTestWx.h"

namespace {

// The toolkit's base, once for the run: the application object's folders come from it.
[[maybe_unused]] const auto* const Registered = KsnRegisterWxBase({"KSN_Document_tests"});

} // namespace

void KSN_TestApp_Create() { App = new TKSN_Application("Kestrune"); }

void KSN_TestApp_Delete()
{
    delete App;
    App = nullptr;
}

void KSN_TestApp_SetCurrentTool(TKSN_Tool* tool)
{
    if (App) App->currentTool = tool;
}

TKSN_Viewport* KSN_TestApp_Viewport(int index) { return App ? App->viewports[index] : nullptr; }

TKSN_Viewport* KSN_TestApp_NewStrayViewport() { return KSN_NewViewport(); }

void KSN_TestApp_DeleteStrayViewport(TKSN_Viewport* viewport) { KSN_DeleteViewport(viewport); }
