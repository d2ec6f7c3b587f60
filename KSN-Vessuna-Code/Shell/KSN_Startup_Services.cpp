#include "KSN_Startup_Services.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "OS.h"
#include "QORString.h"

int32_t TKSN_MainWindow_DefaultWidth = 700;
int32_t TKSN_MainWindow_DefaultHeight = 512;
TQORglutIdleCB Kestrune_OldIdle = nullptr;

namespace {

TKSN_CancelWorkCB CancelTouchupRendererCB = nullptr;
TKSN_CancelWorkCB CancelVertexCullingCB = nullptr;

// Modification time in seconds; 0 when the file cannot be read.
int64_t ModificationTime(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return 0;
    return int64_t(info.st_mtime);
}

// A centring offset that came out below -1 places the window at 0 instead.
int32_t CentredOffset(int32_t screen, int32_t window)
{
    int32_t offset = (screen - window) / 2;
    return offset < -1 ? 0 : offset;
}

} // namespace

// [SECTION] Window size and screen check

TKSN_MainWindowPlacement KSN_GetMainWindowPlacement(int32_t screenWidth, int32_t screenHeight)
{
    TKSN_MainWindowPlacement placement;
    // 64-bit products: no screen size can overflow the rule.
    placement.width = int32_t((int64_t(8) * screenWidth) / 10);
    int32_t heightCandidate = int32_t((int64_t(8) * screenHeight) / 10);
    placement.height = std::min(placement.width, heightCandidate);
    placement.x = CentredOffset(screenWidth, placement.width);
    placement.y = CentredOffset(screenHeight, placement.height);
    return placement;
}

bool KSN_IsScreenLargeEnough(int32_t screenWidth, int32_t screenHeight)
{
    return screenWidth >= KSN_MIN_SCREEN_WIDTH && screenHeight >= KSN_MIN_SCREEN_HEIGHT;
}

// [SECTION] Launcher refresh

bool KSN_RefreshLauncher(const char* mainPath, char separator, TKSN_LaunchFunction launch)
{
    const char* main = mainPath ? mainPath : "";
    std::string bundleInside = QORFormat("app%cContents%cMacOS%cKestrune-Launcher", separator, separator, separator);
    std::string installed = QORFormat("%sKestrune-Launcher.%s", main, bundleInside.c_str());
    std::string staged =
        QORFormat("%sVersions%cCurrent%cKestrune-Launcher.%s", main, separator, separator, bundleInside.c_str());

    if (!TOS::FileExists(staged.c_str())) return false;
    int64_t installedTime = TOS::FileExists(installed.c_str()) ? ModificationTime(installed) : 0;
    if (!(installedTime < ModificationTime(staged))) return false;

    OS.Pause(1000);
    // Without application bundles the staged launcher's executable is started
    // itself, through an argument vector; the main folder is quoted so that
    // a folder with blanks stays one argument.
    std::string arguments = QORFormat("-REPLACE_LAUNCHER -MAIN_PATH=\"%s\"", main);
    if (launch) launch(staged.c_str(), arguments.c_str());
    return true;
}

// [SECTION] Dialog hooks

void Kestrune_OnDialogOpen()
{
    Kestrune_OldIdle = GetIdleFunc();
    QORglutIdleFunc(nullptr);
}

void Kestrune_OnDialogClose()
{
    if (!Kestrune_OldIdle) return;
    QORglutIdleFunc(Kestrune_OldIdle);
    QORglutPostRedisplay_Internal();
}

// [SECTION] Viewport-dependent background work

void KSN_AssignViewportDependentCancellers(TKSN_CancelWorkCB touchupRenderer, TKSN_CancelWorkCB vertexCulling)
{
    CancelTouchupRendererCB = touchupRenderer;
    CancelVertexCullingCB = vertexCulling;
}

void CancelAllViewportDependentWorkhorses()
{
    if (CancelTouchupRendererCB) CancelTouchupRendererCB();
    if (CancelVertexCullingCB) CancelVertexCullingCB();
}

// [SECTION] Text

void SeparateLastWordFromString(const char* text, char* dst, char* word)
{
    const char* source = text ? text : "";
    std::vector<char> copy(source, source + std::strlen(source) + 1);
    DeleteLeadingAndTrailingWhiteSpace(copy.data());
    std::string trimmed(copy.data());

    size_t space = trimmed.rfind(' ');
    std::string before = space == std::string::npos ? trimmed : trimmed.substr(0, space);
    std::string after = space == std::string::npos ? std::string() : trimmed.substr(space + 1);
    // Both parts are shorter than the text, so the caller's buffers hold them.
    std::memcpy(dst, before.c_str(), before.size() + 1);
    std::memcpy(word, after.c_str(), after.size() + 1);
}
