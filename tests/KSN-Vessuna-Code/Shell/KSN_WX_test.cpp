// The window host for real, on the test display (Xvfb with Mesa): the
// application object runs a start-up that makes the one frame and canvas;
// paints run the command pump and then the display callback, whose drawing
// is read back; the toolkit's events reach the registered callbacks.
#include "KSN_WX.h"

#include "KSN_OpenGLTest.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORGL.h"
#include "QORglut.h"

#include "KsnTestDisplay.h"

#include <gtest/gtest.h>

#include <GL/gl.h>
#include <wx/init.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<std::string> Calls;
void* NativeHandle = nullptr;
int StartUpWindow = -1;

struct TRecordingProvider : TOSDialogProvider {
    std::vector<std::string> Boxes;
    TOSBoxAnswer ShowBox(TOSBoxKind, const char*, const char* text, bool) override
    {
        Boxes.push_back(text);
        return TOSBoxAnswer::No;
    }
    bool PickColour(unsigned char*) override { return false; }
    bool SelectFile(const TOSFileDialogRequest&, std::string&) override { return false; }
    bool SetClipboardText(const std::string&) override { return false; }
    bool GetClipboardText(std::string&) override { return false; }
} Provider;

// What the display callback saw of its own drawing.
std::array<unsigned char, 4> Pixel{};
GLint DepthBits = 0;
GLboolean DoubleBuffered = GL_FALSE;
int Displays = 0;

void DisplayCB()
{
    ++Displays;
    Calls.push_back("display");
    glViewport(0, 0, QORglutGetWindowWidth(), QORglutGetWindowHeight());
    glClearColor(0.2f, 0.6f, 0.8f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glReadBuffer(GL_BACK);
    glReadPixels(QORglutGetWindowWidth() / 2, QORglutGetWindowHeight() / 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE,
                 Pixel.data());
    glGetIntegerv(GL_DEPTH_BITS, &DepthBits);
    glGetBooleanv(GL_DOUBLEBUFFER, &DoubleBuffered);
    QORglutSwapBuffers();
}

// Runs the toolkit's events until `done` or a few seconds have passed.
template <class Done>
bool RunEventsUntil(Done done)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < end) {
        wxTheApp->Yield(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return done();
}

// The application object and the toolkit, started once for the whole run the
// way the executable starts them.
class THostEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        OS.SetDialogProvider(&Provider);
        static char arg0[] = "KSN_WX_tests";
        static char* argv[] = {arg0, nullptr};
        static int argc = 1;
        wxApp::SetInitializerFunction(wxCreateApp);
        ASSERT_TRUE(KsnConnectToTheTestDisplay([] { return wxEntryStart(argc, argv); })) << "no display: run under xvfb-run";
        ASSERT_TRUE(wxTheApp->CallOnInit());
    }
    void TearDown() override
    {
        if (wxTheApp) {   // else the toolkit never started
            if (FramePtr) FramePtr->Destroy();
            wxTheApp->Yield(true);
            wxTheApp->OnExit();
            wxEntryCleanup();
        }
        OS.SetDialogProvider(nullptr);
    }
};

[[maybe_unused]] const auto* const Registered = ::testing::AddGlobalTestEnvironment(new THostEnvironment);

} // namespace

// The start-up driver as the application object calls it (the executable
// defines the real one).
void QORglut_InitializeApplication()
{
    QORglutInit();
    StartUpWindow = QORglutCreateWindow("ignored", 20, 30, 900, 640, &NativeHandle);
    QORglutHideWindow();
    QORglutDisplayFunc(DisplayCB);
    QORglutShowWindow();
    QORglutPostRedisplay_Internal();
    QORglutExecute();
}

namespace {

bool RecordEvent(TQOREvent*)
{
    Calls.push_back("event");
    return true;
}

TEST(WindowHost, StartUpMakesOneFrameWithAnOpenGLCanvas)
{
    ASSERT_NE(FramePtr, nullptr);
    EXPECT_EQ(StartUpWindow, 0);
    EXPECT_NE(NativeHandle, nullptr);
    EXPECT_TRUE(QORglut_IsReadyToGo());
    EXPECT_EQ(FramePtr->GetTitle(), "Kestrune");
    EXPECT_EQ(FramePtr->GetMinSize(), wxSize(800, 544));
    ASSERT_NE(FramePtr->GetCanvas(), nullptr);
    EXPECT_EQ(FramePtr->GetCanvas()->GetName(), "TestGLCanvas");
    EXPECT_NE(FramePtr->GetCanvas()->GetContext(), nullptr);
    EXPECT_GT(QORglutGetWindowWidth(), 0);
    EXPECT_GT(QORglutGetWindowHeight(), 0);

    // A second window is refused; the first stays.
    TKSN_WX_Frame* first = FramePtr;
    Provider.Boxes.clear();
    EXPECT_EQ(QORglutCreateWindow("again", 0, 0, 900, 640, nullptr), 0);
    EXPECT_EQ(FramePtr, first);
    EXPECT_EQ(Provider.Boxes, std::vector<std::string>{"Only one window is supported at this time"});
}

TEST(WindowHost, EveryPaintRunsThePumpThenDrawsAndAsksForTheNext)
{
    ASSERT_TRUE(RunEventsUntil([] { return Displays > 0; })) << "the canvas never painted";
    Calls.clear();
    QOREvents_PushEvent(new TQOREvent(RecordEvent, 0, 5));
    int before = Displays;
    // No redisplay is asked for here: the paints keep coming on their own.
    ASSERT_TRUE(RunEventsUntil([&] { return Displays >= before + 3; }));
    ASSERT_GE(Calls.size(), 2u);
    EXPECT_EQ(Calls[0], "event") << "the command pump runs before the display callback";
    EXPECT_EQ(Calls[1], "display");

    EXPECT_NEAR(Pixel[0], 51, 2);
    EXPECT_NEAR(Pixel[1], 153, 2);
    EXPECT_NEAR(Pixel[2], 204, 2);
    EXPECT_GE(DepthBits, 16);
    EXPECT_EQ(DoubleBuffered, GL_TRUE);
}

// Plain callbacks that record what the toolkit's events became.
void OnMouse(int b, int s, int x, int y)
{
    Calls.push_back("mouse " + std::to_string(b) + " " + std::to_string(s) + " " + std::to_string(x) + " " +
                    std::to_string(y));
}
void OnDrop(const char* path, int, int) { Calls.push_back(std::string("drop ") + path); }
void OnWheel(int d) { Calls.push_back("wheel " + std::to_string(d)); }
int ExitAnswer = 0;
int OnExitQuery()
{
    Calls.push_back("exit?");
    return ExitAnswer;
}

TEST(WindowHost, ToolkitEventsReachTheirCallbacks)
{
    TestGLCanvas* canvas = FramePtr->GetCanvas();
    QORglutMouseFunc(OnMouse);
    QORglutDragDropFunc(OnDrop);
    QORglutMouseWheelFunc(OnWheel);
    QORglutExitFunc(OnExitQuery);
    Calls.clear();

    wxMouseEvent down(wxEVT_LEFT_DOWN);
    down.SetEventObject(canvas);
    down.m_x = 40;
    down.m_y = 50;
    down.SetControlDown(true);
    canvas->GetEventHandler()->ProcessEvent(down);
    wxMouseEvent up(wxEVT_LEFT_UP);
    up.SetEventObject(canvas);
    up.m_x = 41;
    up.m_y = 52;
    canvas->GetEventHandler()->ProcessEvent(up);
    EXPECT_FALSE(canvas->HasCapture());

    wxMouseEvent wheel(wxEVT_MOUSEWHEEL);
    wheel.SetEventObject(canvas);
    wheel.m_wheelRotation = -120;
    canvas->GetEventHandler()->ProcessEvent(wheel);

    // The event takes the array over.
    auto* files = new wxString[3]{"/tmp/first file.obj", "/tmp/second.obj", "/tmp/third.obj"};
    wxDropFilesEvent drop(wxEVT_DROP_FILES, 3, files);
    drop.SetEventObject(FramePtr);
    FramePtr->GetEventHandler()->ProcessEvent(drop);

    const std::vector<std::string> expected = {"mouse 2 0 40 50", "mouse 2 1 41 52", "wheel -1",
                                               "drop /tmp/first file.obj"};
    EXPECT_EQ(Calls, expected);

    // The exit query answers no: the close is vetoed and the frame stays.
    Calls.clear();
    ExitAnswer = 0;
    EXPECT_FALSE(FramePtr->Close(false));
    EXPECT_EQ(Calls, std::vector<std::string>{"exit?"});
    EXPECT_NE(FramePtr, nullptr);
    QORglutExitFunc(nullptr);
    QORglutMouseFunc(nullptr);
    QORglutDragDropFunc(nullptr);
    QORglutMouseWheelFunc(nullptr);
}

TEST(WindowHost, APointerQueryFromAWorkerAgreesWithTheMainThread)
{
    wxMouseEvent move(wxEVT_MOTION);
    move.SetEventObject(FramePtr->GetCanvas());
    move.m_x = 10;
    move.m_y = 10;
    FramePtr->GetCanvas()->GetEventHandler()->ProcessEvent(move);   // sets the screen offset
    int mainX = 0, mainY = 0, workerX = -1, workerY = -1;
    QORglutGetMousePos_WindowCoords(mainX, mainY);
    std::thread([&] { QORglutGetMousePos_WindowCoords(workerX, workerY); }).join();
    EXPECT_EQ(workerX, mainX);
    EXPECT_EQ(workerY, mainY);
    wxPoint origin = FramePtr->GetCanvas()->ClientToScreen(wxPoint(0, 0));
    EXPECT_EQ(mainX, wxGetMousePosition().x - origin.x);
}

TEST(WindowHost, TheShippedDriverTableKnowsTheTestRenderer)
{
    ASSERT_TRUE(FramePtr->GetCanvas()->MakeCurrent());
    OS.MainPath = std::string(KSN_SOURCE_DIR) + "/";
    Provider.Boxes.clear();
    TestOpenGL();
    EXPECT_TRUE(Provider.Boxes.empty()) << Provider.Boxes.front();

    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    TKSN_VideoCard_DataBase db;
    db.LoadFromFile(OS.GetDataPath("OpenGL_Database.csv").c_str());
    ASSERT_FALSE(db.List.empty());
    if (std::string(renderer).rfind("llvmpipe (LLVM 15.0.6,", 0) == 0) {
        const TKSN_VideoCard_DataBaseNode* row =
            db.FindDriver(reinterpret_cast<const char*>(glGetString(GL_VENDOR)), renderer, nullptr);
        ASSERT_NE(row, nullptr) << renderer;
        EXPECT_NE(row->status, 0);
        EXPECT_TRUE(row->allowMinimize);
    }
}

TEST(WindowHost, TheDriverCheckFindsTheLiveRendererInItsTable)
{
    // Whatever Mesa renderer the display has: a table that lists it with
    // "may have some issues" makes start-up say so once, naming the card.
    ASSERT_TRUE(FramePtr->GetCanvas()->MakeCurrent());
    const std::string vendor = reinterpret_cast<const char*>(glGetString(GL_VENDOR));
    const std::string renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    ASSERT_FALSE(renderer.empty());
    std::string folder = (std::filesystem::temp_directory_path() / "ksn_gldb_XXXXXX").string();
    ASSERT_NE(mkdtemp(folder.data()), nullptr);
    std::filesystem::create_directory(std::filesystem::path(folder) / "Data");
    {
        std::ofstream table(std::filesystem::path(folder) / "Data" / "OpenGL_Database.csv");
        table << "Id Vendor Renderer Version Platform Tested Reserved1 Reserved2 Reserved3 Status WebPage Flag1 "
                 "Flag2 AllowMinimize Reserved4 Comment\n";
        table << "1 \"Other\" \"" << renderer << "\" \"any\" Linux 2026 - - - 0 - 1 1 1 - \"another vendor\"\n";
        table << "2 \"" << vendor << "\" \"" << renderer
              << "\" \"any\" Linux 2026 - - - 2 - 1 1 1 - \"Checked on every renderer\"\n";
    }
    const std::string oldMain = OS.MainPath;
    OS.MainPath = folder + "/";
    Provider.Boxes.clear();
    TestOpenGL();   // the box is answered No: no web page is opened
    OS.MainPath = oldMain;
    std::filesystem::remove_all(folder);

    ASSERT_EQ(Provider.Boxes.size(), 1u);
    const std::string& box = Provider.Boxes[0];
    EXPECT_NE(box.find("(" + vendor + ", " + renderer + ") may have some issues"), std::string::npos) << box;
    EXPECT_NE(box.find("Comment: Checked on every renderer"), std::string::npos) << box;
}

} // namespace
