// The viewport against a real context (Xvfb with Mesa): the orthographic
// matrix computed in code equals glOrtho's, and the grab texture gives back
// what was drawn.
#include "KSN_Viewport.h"

#include "QORGL.h"
#include "KsnTestGL.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>
#include <vector>

namespace {

constexpr int WindowSize = 128;

int WindowHeightForTests() { return WindowSize; }

class ViewportGL : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Window.Open(WindowSize, WindowSize)) << "no GLX display: run under xvfb-run";
        glDrawBuffer(GL_BACK);
        glReadBuffer(GL_BACK);
    }
    TTestGLWindow Window;
};

TEST_F(ViewportGL, OrthographicMatrixEqualsGlOrtho)
{
    TKSN_Viewport v;
    v.Resize(0, 0, 400, 300);
    v.SetZoom(2.5f);
    const float min[3] = {-1, -2, -3}, max[3] = {4, 5, 6};
    v.SetupMatrix(min, max);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1, 1, -0.75, 0.75, v.Near, v.Far);
    float gl[16];
    glGetFloatv(GL_PROJECTION_MATRIX, gl);
    glLoadIdentity();
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(v.ProjectionMatrix[i], gl[i], 1e-6f * (1.0f + std::fabs(gl[i]))) << i;
}

TEST_F(ViewportGL, GrabTextureRestoresThePattern)
{
    QORglut_AssignGetWindowHeight(WindowHeightForTests);
    TKSN_Viewport v;
    v.RecreateGrabTexture();
    v.Resize(0, 0, WindowSize, WindowSize);
    glViewport(0, 0, WindowSize, WindowSize);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_TEXTURE_2D);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glColor3f(1, 0, 0);
    glBegin(GL_QUADS);   // left half red
    glVertex2f(-1, -1);
    glVertex2f(0, -1);
    glVertex2f(0, 1);
    glVertex2f(-1, 1);
    glEnd();
    glColor3f(0, 0, 1);
    glBegin(GL_QUADS);   // top right quarter blue
    glVertex2f(0, 0);
    glVertex2f(1, 0);
    glVertex2f(1, 1);
    glVertex2f(0, 1);
    glEnd();
    glFinish();

    EXPECT_FALSE(v.IsCachedViewportValid());
    v.OnCacheViewport();
    EXPECT_TRUE(v.IsCachedViewportValid());
    glClear(GL_COLOR_BUFFER_BIT);
    v.DrawCachedViewport();
    glFinish();

    std::vector<unsigned char> rgb(WindowSize * WindowSize * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, WindowSize, WindowSize, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    auto at = [&](int x, int y) { return &rgb[size_t(y * WindowSize + x) * 3]; };   // y from the bottom
    EXPECT_EQ(at(10, 10)[0], 255);
    EXPECT_EQ(at(10, 10)[2], 0);
    EXPECT_EQ(at(100, 100)[2], 255);
    EXPECT_EQ(at(100, 100)[0], 0);
    EXPECT_EQ(at(100, 10)[0], 0);
    EXPECT_EQ(at(100, 10)[2], 0);
}

} // namespace
