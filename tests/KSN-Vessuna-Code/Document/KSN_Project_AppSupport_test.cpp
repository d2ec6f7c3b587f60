// The application object for the document tests, behind calls that need no
// application header: KSN_Application.h and KSN_Mesh.h (through the selection
// header) each declare their own selection-type enum, so a test source that
// builds meshes cannot include the application header. No tests live here.
#include "KSN_Project_AppSupport.h"

#include <gtest/gtest.h>

#include <wx/init.h>

#include <memory>

#include "KSN_Application.h"

namespace {

// The toolkit's base, once for the run: the application object's folders come from it.
class TWxEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        static char arg0[] = "KSN_Document_tests";
        static char* argv[] = {arg0, nullptr};
        static int argc = 1;
        Init = std::make_unique<wxInitializer>(argc, argv);
        ASSERT_TRUE(Init->IsOk());
    }
    void TearDown() override { Init.reset(); }

private:
    std::unique_ptr<wxInitializer> Init;
};
[[maybe_unused]] const auto* const Registered = ::testing::AddGlobalTestEnvironment(new TWxEnvironment);

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
