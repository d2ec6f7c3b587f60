// The fixture of the toolkit's GL tests: a blank application on the shell's
// window (started by GuiGLTestHost.cpp), one frame drawn into the back buffer
// and read back with glReadPixels.
#pragma once

#include "GuiFont.h"
#include "GuiMaster.h"
#include "GuiTheme.h"
#include "KSN_WX.h"
#include "QORglut.h"

#include <gtest/gtest.h>

#include "KsnTestReadBack.h"

#include <GL/gl.h>

#include <array>
#include <cstdlib>
#include <memory>
#include <vector>

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
        KsnReadBackBuffer(Pixels, WindowW, WindowH);
    }
    // Window pixel (x, y), y down from the top.
    TPixel At(int x, int y) const
    {
        return KsnReadBackPixel(Pixels, WindowW, WindowH, x, y);
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
    static int Brightness(TPixel p) { return p[0] + p[1] + p[2]; }
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
