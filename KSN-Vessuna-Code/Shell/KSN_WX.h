// The window toolkit host: the program's only wxWidgets window classes.
//
// KSN_WX_App is the toolkit's application object (its OnInit runs start-up),
// TKSN_WX_Frame the one top-level frame and TestGLCanvas the OpenGL canvas
// that fills it. Their handlers check the common guard (a frame exists and
// is not iconised), read the event into plain values and hand them to the
// GLUT-like layer's dispatch functions (QORglut.h). The canvas keeps one GL
// context for the whole run; every paint runs the command pump first and
// requests the next paint, so the canvas redraws continuously.
//
// The platform reports no pen pressure, so the handlers leave the tablet
// pressure (QORTablet.h) at its full-pressure default.
//
// The executable's main() references wxCreateApp (for example
// `wxApp::SetInitializerFunction(wxCreateApp)`) before `wxEntry`, which links
// the application object in from this static library.
#pragma once

#include <wx/wx.h>
#include <wx/apptrait.h>
#include <wx/glcanvas.h>

#include <memory>

class TestGLCanvas;

// [SECTION] Application

class KSN_WX_AppTraits : public wxGUIAppTraits {
public:
    ~KSN_WX_AppTraits() override = default;
};

class KSN_WX_App : public wxApp {
public:
    ~KSN_WX_App() override = default;
    // Registers every image handler, runs QORglut_InitializeApplication and
    // makes sure the traits object exists. True: the event loop runs.
    bool OnInit() override;
    int OnExit() override;

protected:
    wxAppTraits* CreateTraits() override;
};

wxDECLARE_APP(KSN_WX_App);
// The application factory that the toolkit's entry calls.
wxAppConsole* wxCreateApp();

// [SECTION] Frame

class TKSN_WX_Frame : public wxFrame {
public:
    TKSN_WX_Frame(wxWindow* parent, const wxString& title, const wxPoint& position, const wxSize& size,
                  long style = wxDEFAULT_FRAME_STYLE);
    ~TKSN_WX_Frame() override;

    // Makes the frame ("Kestrune", with " - Clone" when `clone`), 400 x 300 at
    // the default position, and its canvas with the attribute list wx_gl_args;
    // the canvas shares `shareWith`'s GL context when given. Shows the frame.
    static TKSN_WX_Frame* Create(TKSN_WX_Frame* shareWith, bool clone);

    TestGLCanvas* GetCanvas() const { return canvas; }

    void OnIdle(wxIdleEvent& event);
    void OnChar(wxKeyEvent& event);
    void OnClose(wxCloseEvent& event);
    void OnShow(wxShowEvent& event);
    void OnMaximize(wxMaximizeEvent& event);
    void OnIconize(wxIconizeEvent& event);
    void OnDropFiles(wxDropFilesEvent& event);

private:
    TestGLCanvas* canvas = nullptr;   // a child window: the frame's window tree deletes it

    wxDECLARE_EVENT_TABLE();
};

// [SECTION] Canvas

class TestGLCanvas : public wxGLCanvas {
public:
    // `attributes` ends with 0; `shareWith` (may be null) lends its GL context.
    TestGLCanvas(wxWindow* parent, wxWindowID id, const int* attributes, TestGLCanvas* shareWith,
                 const wxPoint& position = wxDefaultPosition, const wxSize& size = wxDefaultSize,
                 long style = 0, const wxString& name = "TestGLCanvas");
    ~TestGLCanvas() override;

    // Null when the canvas has no GL context.
    wxGLContext* GetContext() const;
    // Makes the context current on this canvas; false without one.
    bool MakeCurrent();

    void OnPaint(wxPaintEvent& event);
    void OnMouseMove(wxMouseEvent& event);
    void OnSize(wxSizeEvent& event);
    void OnEraseBackground(wxEraseEvent& event);
    void OnChar(wxKeyEvent& event);
    void OnKeyDown(wxKeyEvent& event);
    void OnKeyUp(wxKeyEvent& event);
    void OnEnterWindow(wxMouseEvent& event);
    void OnMouseLeftDown(wxMouseEvent& event);
    void OnMouseLeftUp(wxMouseEvent& event);
    void OnMouseRightDown(wxMouseEvent& event);
    void OnMouseRightUp(wxMouseEvent& event);
    void OnMouseCaptureLost(wxMouseCaptureLostEvent& event);
    void OnDoubleClick(wxMouseEvent& event);
    void OnMouseWheel(wxMouseEvent& event);

private:
    std::unique_ptr<wxGLContext> ownContext;   // null when the context is shared
    wxGLContext* context = nullptr;

    wxDECLARE_EVENT_TABLE();
};
