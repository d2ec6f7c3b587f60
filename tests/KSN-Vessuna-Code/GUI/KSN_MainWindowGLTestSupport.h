// The main window drawn in the real window (Xvfb with Mesa): the wx host of
// the test program, the start-up driver that makes its one window, and a
// fixture that draws frames through the GLUT-like layer's display dispatch
// and reads them back. Include it from one source of a GL test program only:
// it defines the start-up driver.
#pragma once

#include "KSN_MainWindowTestSupport.h"
#include "KSN_WX.h"
#include "KsnTestReadBack.h"
#include "KsnTestWxHost.h"

#include <GL/gl.h>

#include <array>
#include <cstdlib>
#include <vector>

namespace ksn_gl_window_test {

struct THostEnvironment : ::testing::Environment {
    void SetUp() override { KsnStartWxOnTestDisplay("KSN_GUI_GL_tests"); }
    void TearDown() override { KsnEndWxOnTestDisplay(); }
};

[[maybe_unused]] inline const auto* const Registered = ::testing::AddGlobalTestEnvironment(new THostEnvironment);

} // namespace ksn_gl_window_test

// The start-up driver as the application object calls it: one window, shown.
void QORglut_InitializeApplication()
{
    QORglutInit();
    QORglutCreateWindow("ignored", 0, 0, 1024, 768, nullptr);
    QORglutShowWindow();
    QORglutExecute();
}

using TPixel = std::array<int, 3>;

class MainWindowGLFixture : public MainWindowFixture {
protected:
    void SetUp() override
    {
        ASSERT_NE(FramePtr, nullptr);
        ASSERT_TRUE(FramePtr->GetCanvas()->MakeCurrent());
        QORglutWigits_InterfaceBrightness = 1.0f;
        QORglut_glFont_FontTextureBound = false;   // a fresh upload in this context
        MainWindowFixture::SetUp();
        WindowW = QORglutGetWindowWidth();
        WindowH = QORglutGetWindowHeight();
        QORglut_DispatchReshape(WindowW, WindowH);
        QOREvents_Clean();
    }
    // One frame through the layer's paint, read back from the back buffer
    // (the software rasteriser keeps it there after the swap).
    void Frame()
    {
        QORglut_DispatchDisplay();
        glFinish();
        KsnReadBackBuffer(Pixels, WindowW, WindowH);
    }
    TPixel At(int x, int y) const { return KsnReadBackPixel(Pixels, WindowW, WindowH, x, y); }
    static bool Near(TPixel a, TPixel b, int tolerance = 3)
    {
        for (int i = 0; i < 3; ++i)
            if (std::abs(a[i] - b[i]) > tolerance) return false;
        return true;
    }

    std::vector<unsigned char> Pixels;
    int WindowW = 0, WindowH = 0;
};
