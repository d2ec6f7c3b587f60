// The frame and canvas of the window toolkit host. Index:
//   [SECTION] Event tables
//   [SECTION] Frame
//   [SECTION] Canvas
// The application object is in KSN_WX_App.cpp, so that code using only the
// window does not pull in the start-up driver.
#include "KSN_WX.h"

#include "QOREvents.h"
#include "QORglut.h"

#include <wx/dcclient.h>

namespace {

// Most handlers do nothing without the one frame, or while it is iconised.
bool GuardPasses() { return FramePtr && !FramePtr->IsIconized(); }

// Key events carry their modifiers as the toolkit's mask (1 Alt, 2 Control, 4 Shift, 8 Meta).
int KeyMask(const wxKeyEvent& event)
{
    static_assert(int(wxMOD_ALT) == QORGLUT_MASK_ALT && int(wxMOD_CONTROL) == QORGLUT_MASK_CONTROL &&
                  int(wxMOD_SHIFT) == QORGLUT_MASK_SHIFT && int(wxMOD_META) == QORGLUT_MASK_META);
    return event.GetModifiers() & (wxMOD_ALT | wxMOD_CONTROL | wxMOD_SHIFT | wxMOD_META);
}

int KeyCode(const wxKeyEvent& event)
{
    int code = event.GetKeyCode();
    return code != WXK_NONE ? code : int(event.GetUnicodeKey());
}

// A size event that came before the canvas could take its context is handed
// on by the next paint, so the reshape callback always runs with a current context.
bool ReshapePending = false;

} // namespace

// [SECTION] Event tables

wxBEGIN_EVENT_TABLE(TKSN_WX_Frame, wxFrame)
    EVT_IDLE(TKSN_WX_Frame::OnIdle)
    EVT_CHAR(TKSN_WX_Frame::OnChar)
    EVT_CLOSE(TKSN_WX_Frame::OnClose)
    EVT_SHOW(TKSN_WX_Frame::OnShow)
    EVT_MAXIMIZE(TKSN_WX_Frame::OnMaximize)
    EVT_ICONIZE(TKSN_WX_Frame::OnIconize)
    EVT_DROP_FILES(TKSN_WX_Frame::OnDropFiles)
wxEND_EVENT_TABLE()

wxBEGIN_EVENT_TABLE(TestGLCanvas, wxGLCanvas)
    EVT_PAINT(TestGLCanvas::OnPaint)
    EVT_MOTION(TestGLCanvas::OnMouseMove)
    EVT_SIZE(TestGLCanvas::OnSize)
    EVT_ERASE_BACKGROUND(TestGLCanvas::OnEraseBackground)
    EVT_CHAR(TestGLCanvas::OnChar)
    EVT_KEY_DOWN(TestGLCanvas::OnKeyDown)
    EVT_KEY_UP(TestGLCanvas::OnKeyUp)
    EVT_ENTER_WINDOW(TestGLCanvas::OnEnterWindow)
    EVT_LEFT_DOWN(TestGLCanvas::OnMouseLeftDown)
    EVT_LEFT_UP(TestGLCanvas::OnMouseLeftUp)
    EVT_RIGHT_DOWN(TestGLCanvas::OnMouseRightDown)
    EVT_RIGHT_UP(TestGLCanvas::OnMouseRightUp)
    EVT_MOUSE_CAPTURE_LOST(TestGLCanvas::OnMouseCaptureLost)
    EVT_LEFT_DCLICK(TestGLCanvas::OnDoubleClick)
    EVT_MOUSEWHEEL(TestGLCanvas::OnMouseWheel)
wxEND_EVENT_TABLE()

// [SECTION] Frame

TKSN_WX_Frame::TKSN_WX_Frame(wxWindow* parent, const wxString& title, const wxPoint& position, const wxSize& size,
                             long style)
    : wxFrame(parent, wxID_ANY, title, position, size, style, wxFrameNameStr)
{
    DragAcceptFiles(true);
}

TKSN_WX_Frame::~TKSN_WX_Frame()
{
    // The layer must never reach a destroyed frame.
    if (FramePtr == this) FramePtr = nullptr;
}

TKSN_WX_Frame* TKSN_WX_Frame::Create(TKSN_WX_Frame* shareWith, bool clone)
{
    wxString title = "Kestrune";
    if (clone) title += " - Clone";
    auto* frame = new TKSN_WX_Frame(nullptr, title, wxDefaultPosition, wxSize(400, 300), wxDEFAULT_FRAME_STYLE);
    frame->canvas = new TestGLCanvas(frame, wxID_ANY, wx_gl_args, shareWith ? shareWith->canvas : nullptr,
                                     wxDefaultPosition, wxDefaultSize, wxFULL_REPAINT_ON_RESIZE, "TestGLCanvas");
    frame->Show(true);
    return frame;
}

void TKSN_WX_Frame::OnIdle(wxIdleEvent& event)
{
    if (!GuardPasses()) return;
    QORglut_DispatchIdle();
    if (QORglutInitialized) event.RequestMore();
}

void TKSN_WX_Frame::OnChar(wxKeyEvent& event)
{
    if (GuardPasses()) event.Skip();
}

void TKSN_WX_Frame::OnClose(wxCloseEvent& event)
{
    switch (QORglut_DispatchClose()) {
    case TQORglutCloseAnswer::Ignore: break;
    case TQORglutCloseAnswer::Veto:
        if (event.CanVeto()) event.Veto();
        break;
    case TQORglutCloseAnswer::Allow: event.Skip(); break;
    }
}

void TKSN_WX_Frame::OnShow(wxShowEvent& event)
{
    if (GuardPasses()) QORglut_DispatchIdle();
    event.Skip();
}

void TKSN_WX_Frame::OnMaximize(wxMaximizeEvent& event)
{
    QORglut_DispatchMaximize();
    event.Skip();
}

void TKSN_WX_Frame::OnIconize(wxIconizeEvent& event)
{
    QORglut_DispatchIconize(event.IsIconized());
    event.Skip();
}

void TKSN_WX_Frame::OnDropFiles(wxDropFilesEvent& event)
{
    if (!GuardPasses() || !QORglutInitialized) return;
    wxPoint at = event.GetPosition();
    QORglutwx_LastMouseX = at.x;
    QORglutwx_LastMouseY = at.y;
    if (event.GetNumberOfFiles() < 1 || !event.GetFiles()) return;
    wxScopedCharBuffer utf8 = event.GetFiles()[0].utf8_str();
    QORglut_DispatchDropFile(utf8.data() ? utf8.data() : "", at.x, at.y);
    QORglutPostRedisplay_Internal();
}

// [SECTION] Canvas

TestGLCanvas::TestGLCanvas(wxWindow* parent, wxWindowID id, const int* attributes, TestGLCanvas* shareWith,
                           const wxPoint& position, const wxSize& size, long style, const wxString& name)
    : wxGLCanvas(parent, id, attributes, position, size, style, name)
{
    if (shareWith && shareWith->GetContext()) {
        context = shareWith->GetContext();
    } else {
        ownContext = std::make_unique<wxGLContext>(this);
        if (ownContext->IsOK()) context = ownContext.get();
    }
}

TestGLCanvas::~TestGLCanvas() = default;

wxGLContext* TestGLCanvas::GetContext() const { return context; }

bool TestGLCanvas::MakeCurrent()
{
    // The toolkit refuses (with an assertion) to bind a window not yet on screen.
    if (!context || !IsShownOnScreen()) return false;
    return context->SetCurrent(*this);
}

void TestGLCanvas::OnPaint(wxPaintEvent&)
{
    // The toolkit wants a paint context for every paint event, taken or not.
    wxPaintDC dc(this);
    if (!GuardPasses()) return;
    KestruneEvents_ProcessEvents();
    Refresh(true);
    if (!MakeCurrent()) return;
    if (ReshapePending) {
        ReshapePending = false;
        wxSize size = GetClientSize();
        QORglut_DispatchReshape(size.GetWidth(), size.GetHeight());
    }
    QORglut_DispatchDisplay();
}

void TestGLCanvas::OnSize(wxSizeEvent& event)
{
    event.Skip();
    if (!GuardPasses()) return;
    if (context) {
        wxSize size = GetClientSize();
        if (MakeCurrent()) {
            ReshapePending = false;
            QORglut_DispatchReshape(size.GetWidth(), size.GetHeight());
        } else {
            ReshapePending = true;
        }
    }
    QORglutPostRedisplay_Internal();
}

void TestGLCanvas::OnEraseBackground(wxEraseEvent&) {}

void TestGLCanvas::OnEnterWindow(wxMouseEvent& event)
{
    SetFocus();
    event.Skip();
}

void TestGLCanvas::OnMouseLeftDown(wxMouseEvent& event)
{
    if (!GuardPasses()) return;
    QORglutSetModifiersFromGetKeys();
    if (!HasCapture()) CaptureMouse();
    QORglut_DispatchMouseDown(0, event.ControlDown(), event.GetX(), event.GetY());
    QORglutPostRedisplay_Internal();
}

void TestGLCanvas::OnMouseLeftUp(wxMouseEvent& event)
{
    if (!GuardPasses()) return;
    if (HasCapture()) ReleaseMouse();
    QORglut_DispatchMouseUp(event.GetX(), event.GetY());
}

void TestGLCanvas::OnMouseRightDown(wxMouseEvent& event)
{
    if (!GuardPasses()) return;
    QORglutSetModifiersFromGetKeys();
    QORglut_DispatchMouseDown(2, false, event.GetX(), event.GetY());
}

void TestGLCanvas::OnMouseRightUp(wxMouseEvent& event)
{
    if (!GuardPasses()) return;
    QORglut_DispatchMouseUp(event.GetX(), event.GetY());
}

void TestGLCanvas::OnMouseCaptureLost(wxMouseCaptureLostEvent&)
{
    // The toolkit has already taken the capture away; ending the press like a
    // release at the last known position keeps tools from waiting forever.
    if (!GuardPasses()) return;
    QORglut_DispatchMouseUp(QORglutwx_LastMouseX, QORglutwx_LastMouseY);
}

void TestGLCanvas::OnMouseMove(wxMouseEvent& event)
{
    if (!GuardPasses()) return;
    QORglutSetModifiersFromGetKeys();
    wxPoint origin = ClientToScreen(wxPoint(0, 0));
    MouseScreenOffsetX.store(origin.x, std::memory_order_relaxed);
    MouseScreenOffsetY.store(origin.y, std::memory_order_relaxed);
    QORglut_DispatchMouseMove(event.GetX(), event.GetY(), event.LeftIsDown() || event.RightIsDown());
}

void TestGLCanvas::OnMouseWheel(wxMouseEvent& event)
{
    if (!GuardPasses()) return;
    QORglutSetModifiersFromGetKeys();
    QORglut_DispatchMouseWheel(event.GetWheelRotation(), event.GetX(), event.GetY());
}

void TestGLCanvas::OnDoubleClick(wxMouseEvent& event)
{
    if (!GuardPasses()) return;
    QORglut_DispatchDoubleClick(event.GetX(), event.GetY());
}

void TestGLCanvas::OnKeyDown(wxKeyEvent& event)
{
    if (!GuardPasses()) return;
    event.Skip();
    QORglut_DispatchKeyDown(event.GetKeyCode(), KeyMask(event));
}

void TestGLCanvas::OnChar(wxKeyEvent& event)
{
    if (!GuardPasses()) return;
    QORglut_DispatchChar(KeyCode(event), KeyMask(event));
}

void TestGLCanvas::OnKeyUp(wxKeyEvent& event)
{
    if (!GuardPasses()) return;
    event.Skip();
}
