// A real OpenGL context for tests that upload textures or read pixels back:
// one double-buffered RGBA GLX window on the test display (Xvfb with Mesa),
// made current on the calling thread. Open() fails without a display, so a
// test can say to run under xvfb-run instead of crashing; a display that is
// only busy is waited for (KsnTestDisplay.h).
// TWithTestGLWindow<Fixture> gives a whole suite one such window.
#pragma once

#include "KsnTestDisplay.h"

#include <gtest/gtest.h>

#include <GL/glx.h>
#include <X11/Xlib.h>

class TTestGLWindow {
public:
    TTestGLWindow() = default;
    TTestGLWindow(const TTestGLWindow&) = delete;
    TTestGLWindow& operator=(const TTestGLWindow&) = delete;

    bool Open(int width = 64, int height = 64)
    {
        if (!KsnConnectToTheTestDisplay([&] { return (display = XOpenDisplay(nullptr)) != nullptr; })) return false;
        int attributes[] = {GLX_RGBA, GLX_DOUBLEBUFFER, GLX_RED_SIZE, 8, GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE, 8,
                            GLX_ALPHA_SIZE, 8, None};
        XVisualInfo* visual = glXChooseVisual(display, DefaultScreen(display), attributes);
        if (!visual) return false;
        Window root = RootWindow(display, visual->screen);
        XSetWindowAttributes swa{};
        swa.colormap = XCreateColormap(display, root, visual->visual, AllocNone);
        swa.event_mask = StructureNotifyMask;
        window = XCreateWindow(display, root, 0, 0, unsigned(width), unsigned(height), 0, visual->depth, InputOutput,
                               visual->visual, CWColormap | CWEventMask, &swa);
        context = glXCreateContext(display, visual, nullptr, True);
        XFree(visual);
        if (!context) return false;
        XMapWindow(display, window);
        for (XEvent e;;) {
            XNextEvent(display, &e);
            if (e.type == MapNotify) break;
        }
        return glXMakeCurrent(display, window, context);
    }

    ~TTestGLWindow()
    {
        if (!display) return;
        glXMakeCurrent(display, None, nullptr);
        if (context) glXDestroyContext(display, context);
        if (window) XDestroyWindow(display, window);
        XCloseDisplay(display);
    }

private:
    Display* display = nullptr;
    Window window = 0;
    GLXContext context = nullptr;
};

// A fixture whose suite shares one window: opened before the suite's first
// test, closed after its last; each test fails at once without a display.
template <class Fixture>
class TWithTestGLWindow : public Fixture {
protected:
    static inline TTestGLWindow* GL = nullptr;
    static void SetUpTestSuite()
    {
        GL = new TTestGLWindow;
        if (!GL->Open()) {
            delete GL;
            GL = nullptr;
        }
    }
    static void TearDownTestSuite()
    {
        delete GL;
        GL = nullptr;
    }
    void SetUp() override
    {
        Fixture::SetUp();
        ASSERT_NE(GL, nullptr) << "no GLX display: run under xvfb-run";
    }
};
