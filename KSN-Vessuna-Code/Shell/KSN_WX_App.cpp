// The toolkit's application object. Kept apart from the frame and canvas so
// that only the executable, which defines the start-up driver, links it in.
#include "KSN_WX.h"

#include "QORImage.h"
#include "QORglut.h"

#include <wx/image.h>

wxIMPLEMENT_APP_NO_MAIN(KSN_WX_App);

bool KSN_WX_App::OnInit()
{
    // Before anything can trip a toolkit assertion: it is logged, never a modal box.
    QORImage_InstallAssertHandler();
    wxInitAllImageHandlers();
    QORglut_InitializeApplication();
    // Made now so that the toolkit never has to make it mid-event.
    GetTraits();
    return true;
}

int KSN_WX_App::OnExit() { return 0; }

wxAppTraits* KSN_WX_App::CreateTraits() { return new KSN_WX_AppTraits; }
