// What a viewport panel draws over its viewport: the axis guide at the world
// origin, the tool's own drawing, the mirror lines, the current viewport's
// corner brackets, the special display label and the current object's
// caption. Everything is immediate-mode GL; first in viewport units
// (identity matrices over the panel's rectangle), then in panel pixels.
#include "KSN_ViewportPanel.h"

#include "GuiButton.h"
#include "GuiMaster.h"
#include "KSN_Application.h"
#include "KSN_Gui_MainWindow.h"
#include "KSN_Mesh.h"
#include "KSN_Morph.h"
#include "KSN_Object.h"
#include "KSN_Project.h"
#include "KSN_Tool.h"
#include "KSN_Viewport.h"
#include "QORGL.h"
#include "QORLanguage.h"
#include "QORString.h"
#include "QORglut.h"

#include <algorithm>
#include <string>

namespace {

// One-pixel checkerboard and a dotted line: global GL state that the
// panels' drawing (and the renderer's stippled layers) rely on.
void SetStipplePatterns()
{
    GLubyte pattern[128];
    for (int row = 0; row < 32; ++row)
        for (int b = 0; b < 4; ++b) pattern[4 * row + b] = (row % 2 == 0) ? 0x55 : 0xAA;
    glPolygonStipple(pattern);
    glLineStipple(1, 0xAAAA);
}

// Identity matrices over the panel's rectangle: drawing in viewport units.
void SetupViewportUnits(TKSN_ViewportPanel& panel)
{
    glViewport(panel.AbsX, QORglutGetWindowHeight() - panel.AbsY - panel.Height, panel.Width, panel.Height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void Project2(const float* m, const float* p, float* out)
{
    for (int c = 0; c < 2; ++c) out[c] = m[c] * p[0] + m[4 + c] * p[1] + m[8 + c] * p[2] + m[12 + c];
}

// A control of the panel drawn after its children (the title bar): it draws
// the corner brackets over the whole panel. It is 1 x 1 pixel, so pointer
// look-ups (which take no pixel on a node's edge) never find it.
class TKSN_ViewportMarkers : public TGui_Node {
public:
    explicit TKSN_ViewportMarkers(TKSN_ViewportPanel* panel) : TGui_Node(panel)
    {
        Unlink();
        panel->LinkControl(this);
        SetPosition(0, 0);
        SetSize(1, 1);
        ShowName = false;
        DrawSurface = false;
        BorderWidth = 0;
        MouseTransparent = true;
        AcceptsClicks = false;
    }
    void UpdateSize() override { SetSize(1, 1); }
    void Draw() override
    {
        auto* panel = dynamic_cast<TKSN_ViewportPanel*>(Parent);
        if (!panel || panel->IsRearView) return;
        glDisable(GL_LIGHTING);
        glDisable(GL_DEPTH_TEST);
        panel->DrawCurrentViewportMarkers();
    }
};

} // namespace

TGui_Node* KSN_NewViewportMarkers(TKSN_ViewportPanel* panel) { return new TKSN_ViewportMarkers(panel); }

void TKSN_ViewportPanel::Draw()
{
    if (!StippleSet) {
        SetStipplePatterns();
        StippleSet = true;
    }
    TKSN_Viewport* viewport = GetViewport();
    if (!viewport) return;
    Project->DrawViewport(viewport);
    DrawGuides();
    SetupToDraw(true);
    DrawBevel(0, 0, Width, Height, false, BorderWidth);
}

void TKSN_ViewportPanel::DrawGuides()
{
    TKSN_Viewport* viewport = GetViewport();
    if (!viewport) return;
    if (NavShowOrigin) DrawAxisGuides();
    TKSN_Object* object = Project->GetCurrentObject();
    TKSN_Mesh* mesh = object ? object->Mesh.get() : nullptr;
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    SetupViewportUnits(*this);

    TKSN_Tool* tool = App ? App->currentTool : nullptr;
    bool mirrorX = false, mirrorY = false;
    if (dynamic_cast<TKSN_Navigator*>(tool)) {
        mirrorX = Project->MirrorX;
        mirrorY = Project->MirrorY;
    } else if (dynamic_cast<TKSN_Brush*>(tool) || dynamic_cast<TKSN_Brush_V4*>(tool)) {
        mirrorX = Project->CanMirrorX();
        mirrorY = Project->CanMirrorY();
    }
    TGui_Master* master = GetMaster();
    if (mesh && tool && !IsRearView && master && master->GetMouseOverNode() == this &&
        (!master->GetOnMouseDownNode() || master->GetOnMouseDownNode() == this))
        if (auto* brush = dynamic_cast<TKSN_Brush*>(tool);
            brush && !(KSN_GetToolProjectHooks().IsBrushShapeValid &&
                       KSN_GetToolProjectHooks().IsBrushShapeValid(brush->GetSize(), brush->GetHardness())))
            Project->SetupOverlayAndBrushShape(viewport, brush->GetSize(), brush->GetHardness());
    // TODO(stub): the brush tiling preview of the tile set-up tool is not drawn
    // (the tool's drawing arrives with the painting tools).
    if (tool) {
        if (tool->DoCallOnDraw(viewport)) {
            tool->OnDraw(mesh, viewport, Project->LastMouseFx, Project->LastMouseFy);
            glDisable(GL_LIGHTING);
            glDisable(GL_DEPTH_TEST);
            SetupViewportUnits(*this);
        }
        if (!IsRearView && (mirrorX || mirrorY)) {
            for (int pass = 0; pass < 2; ++pass) {
                glLineWidth(pass == 0 ? 3.0f : 1.0f);
                const float c = pass == 0 ? 0.0f : 1.0f;
                glColor3f(c, c, c);
                glBegin(GL_LINES);
                if (mirrorX) {
                    glVertex2f(0.0f, -1.0f);
                    glVertex2f(0.0f, 1.0f);
                }
                if (mirrorY) {
                    glVertex2f(-1.0f, 0.0f);
                    glVertex2f(1.0f, 0.0f);
                }
                glEnd();
            }
            glLineWidth(1.0f);
        }
    }
    // The current viewport's brackets are drawn by the panel's overlay
    // control, after the title bar, so that no corner is hidden under it.

    SetupToDraw(true);
    const int special = Project->SpecialDisplayMode;
    if (viewport->index == 0 && special != 0) {
        int name = 1588, key = 1660;
        if (special == 2) {
            name = 1481;
            key = 1487;
        } else if (special == 3) {
            name = 1657;
            key = 1659;
        }
        const std::string label = QORFormat("%s - %s", Lang.GetText(name), Lang.GetText(key));
        const int w = GetStringWidth(label.c_str());
        const int x = std::max((Width - w) / 2, MarginX);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glColor4f(1.0f, 1.0f, 1.0f, 0.7f);
        glRecti(x - 2, 18, x + w + 2, 32);
        glDisable(GL_BLEND);
        glColor3f(1.0f, 0.0f, 0.0f);
        DrawActualText(x, 20, label.c_str());
        if (SettingsButton) {
            if (special == 3) {
                SettingsButton->SetPosition(x + w + 4, 17);
                SettingsButton->Show();
            } else {
                SettingsButton->Hide();
            }
        }
    } else if (SettingsButton) {
        SettingsButton->Hide();
    }

    if (IsRearView || Project->GetCurrentViewport() != viewport) return;
    const char* objectText = object ? object->GetName() : Lang.GetText(628);
    std::string caption = objectText;
    const int mode = Project->GetMode();
    if (mode == 1) {
        TKSN_Morph* morph = mesh ? mesh->GetCurrentMorph() : nullptr;
        caption = QORFormat("%s, %s", objectText, morph ? morph->GetName() : Lang.GetText(628));
    } else if (mode == 3) {
        caption = QORFormat("%s, %s Maps", objectText, viewport->materialChannelName);
    }
    if (caption.empty()) return;
    const int w = GetStringWidth(caption.c_str());
    int available = Width;
    if (RearViewPanel && RearViewPanel->Shown) available -= RearViewPanel->Width;
    const int x = std::max((available - w) / 2, MarginX);
    const int y0 = Height - 10 - MarginY;
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(0.0f, 0.0f, 0.0f, 0.7f);
    glRecti(x - 2, y0 - 17, x + w + 2, y0 - 3);
    glDisable(GL_BLEND);
    glColor3f(0.0f, 0.0f, 0.0f);
    DrawActualText(x + 1, y0 - 14, caption.c_str());
    glColor3f(1.0f, 1.0f, 1.0f);
    DrawActualText(x, y0 - 15, caption.c_str());
}

void TKSN_ViewportPanel::DrawAxisGuides()
{
    TKSN_Viewport* viewport = GetViewport();
    if (!viewport) return;
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glViewport(AbsX, QORglutGetWindowHeight() - AbsY - Height, Width, Height);
    const float z = viewport->GetZoom();
    const float origin[3] = {0, 0, 0};
    const float tips[3][3] = {{0.1f * z, 0, 0}, {0, 0.1f * z, 0}, {0, 0, 0.1f * z}};
    float o[2];
    Project2(viewport->CombinedMatrix, origin, o);
    const float a[2] = {std::clamp(o[0], -0.9f, 0.85f), std::clamp(o[1], -0.85f, 0.85f)};
    glColor3f(1.0f, 1.0f, 0.0f);
    glBegin(GL_LINES);
    glVertex2fv(a);
    glVertex2fv(o);
    glEnd();
    glPointSize(5.0f);
    glBegin(GL_POINTS);
    glVertex2fv(o);
    glEnd();
    glPointSize(1.0f);
    static const float colours[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    glBegin(GL_LINES);
    for (int i = 0; i < 3; ++i) {
        float t[2];
        Project2(viewport->CombinedMatrix, tips[i], t);
        glColor3fv(colours[i]);
        glVertex2fv(a);
        glVertex2f(t[0] + a[0] - o[0], t[1] + a[1] - o[1]);
    }
    glEnd();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

void TKSN_ViewportPanel::DrawCurrentViewportMarkers()
{
    TKSN_Viewport* viewport = GetViewport();
    if (!viewport || !App || App->viewportLayout == 0) return;
    if (MainWindow && MainWindow->MaximizedViewportPanel == this) return;
    if (Project->GetCurrentViewport() != viewport) return;
    SetupViewportUnits(*this);
    // TODO(stub): the paint brush's brush-surface display is drawn with the painting tools.
    float c1[3], c2[3];
    const float white[3] = {1.0f, 1.0f, 1.0f};
    App->GetSelectionColor(c1, 1.0f, white);
    App->GetSelectionColor(c2, 0.5f, white);
    glShadeModel(GL_SMOOTH);
    glLineWidth(2.0f);
    const float px = 2.0f / float(std::max(Width, 1)), py = 2.0f / float(std::max(Height, 1));
    const float ix = 5.0f * px, iy = 5.0f * py, lx = 20.0f * px, ly = 20.0f * py;
    // Corners in the order bottom left, bottom right, top right, top left; the
    // arms run inward from each.
    const float corners[4][2] = {{-1 + ix, -1 + iy}, {1 - ix, -1 + iy}, {1 - ix, 1 - iy}, {-1 + ix, 1 - iy}};
    const float inward[4][2] = {{1, 1}, {-1, 1}, {-1, -1}, {1, -1}};
    glBegin(GL_LINES);
    for (int i = 0; i < 4; ++i) {
        const float x = corners[i][0], y = corners[i][1];
        glColor3fv(c1);
        glVertex2f(x, y);
        glColor3fv(c2);
        glVertex2f(x + inward[i][0] * lx, y);
        glColor3fv(c1);
        glVertex2f(x, y);
        glColor3fv(c2);
        glVertex2f(x, y + inward[i][1] * ly);
    }
    glEnd();
    glLineWidth(1.0f);
    glShadeModel(GL_FLAT);
}
