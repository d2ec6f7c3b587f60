// A GL test program's host: wxWidgets started on the shell's real window
// (Xvfb with Mesa), and a fixture that puts a blank application on it, draws
// one frame into the back buffer and reads it back. Include it in exactly one
// source of a test program: it registers the environment and defines the
// start-up driver.
#pragma once

#include "GuiFont.h"
#include "GuiMaster.h"
#include "GuiTheme.h"
#include "KSN_WX.h"
#include "OS.h"
#include "QORglut.h"

#include <gtest/gtest.h>

#include <GL/gl.h>
#include <wx/init.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

struct TSilentProvider : TOSDialogProvider {
    TOSBoxAnswer ShowBox(TOSBoxKind, const char*, const char*, bool) override { return TOSBoxAnswer::No; }
    bool PickColour(unsigned char*) override { return false; }
    bool SelectFile(const TOSFileDialogRequest&, std::string&) override { return false; }
    bool SetClipboardText(const std::string&) override { return false; }
    bool GetClipboardText(std::string&) override { return false; }
} SilentProvider;

class TGuiHostEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        OS.SetDialogProvider(&SilentProvider);
        static char arg0[] = "QORGui_GL_tests";
        static char* argv[] = {arg0, nullptr};
        static int argc = 1;
        wxApp::SetInitializerFunction(wxCreateApp);
        ASSERT_TRUE(wxEntryStart(argc, argv)) << "no display: run under xvfb-run";
        ASSERT_TRUE(wxTheApp->CallOnInit());
        // GL draws reach the canvas only once the window is on the screen.
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < end &&
               !(FramePtr && FramePtr->GetCanvas() && FramePtr->GetCanvas()->IsShownOnScreen())) {
            wxTheApp->Yield(true);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        for (int i = 0; i < 20; ++i) {
            wxTheApp->Yield(true);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    void TearDown() override
    {
        if (FramePtr) FramePtr->Destroy();
        wxTheApp->Yield(true);
        wxTheApp->OnExit();
        wxEntryCleanup();
        OS.SetDialogProvider(nullptr);
    }
};

[[maybe_unused]] const auto* const RegisteredHost = ::testing::AddGlobalTestEnvironment(new TGuiHostEnvironment);

} // namespace

// The start-up driver as the application object calls it: one window, shown.
void QORglut_InitializeApplication()
{
    QORglutInit();
    QORglutCreateWindow("ignored", 0, 0, 900, 640, nullptr);
    QORglutShowWindow();
    QORglutExecute();
}

namespace {

using TPixel = std::array<int, 3>;

// A blank application on a black canvas, drawn into the back buffer and read
// back without swapping.
class TGuiFrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(FramePtr, nullptr);
        ASSERT_TRUE(FramePtr->GetCanvas()->MakeCurrent());
        QORglutWigits_SetThemeToBlue();
        QORglutWigits_SetFontToArial();
        QORglutWigits_InterfaceBrightness = 1.0f;
        QORglut_glFont_FontTextureBound = false;   // a fresh upload in this context
        App = std::make_unique<TGui_BlankApp>(QORglutGetWindow(), nullptr);
        App->BackgroundColor[0] = App->BackgroundColor[1] = App->BackgroundColor[2] = 0.0f;
        WindowW = QORglutGetWindowWidth();
        WindowH = QORglutGetWindowHeight();
        ASSERT_GT(WindowW, 100);
        ASSERT_GT(WindowH, 100);
        App->Reshape(WindowW, WindowH);
    }
    void TearDown() override
    {
        App.reset();
        QORglut_ClearAllCallbacks();
    }
    void Frame()
    {
        App->Redisplay(false);
        Pixels.assign(size_t(WindowW * WindowH * 4), 0);
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, WindowW, WindowH, GL_RGBA, GL_UNSIGNED_BYTE, Pixels.data());
    }
    // Window pixel (x, y), y down from the top.
    TPixel At(int x, int y) const
    {
        const unsigned char* p = &Pixels[size_t(((WindowH - 1 - y) * WindowW + x) * 4)];
        return {p[0], p[1], p[2]};
    }
    static TPixel Bytes(const float* c, float f = 1.0f)
    {
        return {int(c[0] * f * 255 + 0.5f), int(c[1] * f * 255 + 0.5f), int(c[2] * f * 255 + 0.5f)};
    }
    static bool Near(TPixel a, TPixel b)
    {
        for (int i = 0; i < 3; ++i)
            if (std::abs(a[i] - b[i]) > 2) return false;
        return true;
    }
    // Pixels of the rectangle [x0, x1) x [y0, y1) that differ from colour c.
    int CountNot(int x0, int y0, int x1, int y1, TPixel c) const
    {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) n += Near(At(x, y), c) ? 0 : 1;
        return n;
    }
    int CountNear(int x0, int y0, int x1, int y1, TPixel c) const
    {
        return (x1 - x0) * (y1 - y0) - CountNot(x0, y0, x1, y1, c);
    }

    std::unique_ptr<TGui_BlankApp> App;
    int WindowW = 0, WindowH = 0;
    std::vector<unsigned char> Pixels;
};

} // namespace
