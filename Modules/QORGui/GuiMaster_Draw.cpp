// TGui_Master: one frame (Redisplay), the tree drawing and the master's own surface.
#include "GuiMaster.h"

#include "QORGL.h"
#include "QORglut.h"

#include <GL/gl.h>

#include <algorithm>

void TGui_Master::Redisplay(bool swap)
{
    if (!Shown) return;
    QORglResetState();
    glDrawBuffer(QORglut_IsDoubleBuffered() ? GL_BACK : GL_FRONT);
    LayoutTree();
    DrawTree();
    if (QORglut_IsDoubleBuffered() && swap)
        QORglutSwapBuffers();
    else
        glFlush();
}

void TGui_Master::DrawTree()
{
    RecursivelyDraw(this, false);
    if (auto* dragged = dynamic_cast<TGui_Node*>(__GetThingyFromID(DragDropNodeID))) {
        SetupToDrawAt(DragX - DragGrabX, DragY - DragGrabY);
        // The outline is drawn around the node's own rectangle, so shift its
        // parent-relative corner back to the drag origin.
        glTranslatef(float(-dragged->X), float(-dragged->Y), 0);
        dragged->DrawStippledOutline();
    }
}

void TGui_Master::RecursivelyDraw(TGui_Node* first, bool inControls)
{
    for (TGui_Node* n = first; n; n = n->Next) {
        if (!n->IsVisible(false)) continue;
        bool offParent = false;
        if (!inControls && n->Parent) {
            int x = n->X + n->Parent->ScrollX, y = n->Y + n->Parent->ScrollY;
            offParent = n->Parent->Width < x || x + n->Width < 0 || n->Parent->Height < y || y + n->Height < 0;
        }
        // A node with nothing left of its clipped rectangle draws nothing
        // (a zero-sized viewport would still let lines and points through).
        int cx0, cy0, cx1, cy1;
        bool clip = n->ClipsAllTheWay();
        bool empty = clip ? !n->GetClipRect(cx0, cy0, cx1, cy1) : (n->Width <= 0 || n->Height <= 0);
        if (!n->SkipDraw && !n->Occluded && !offParent && !empty) {
            if (n->DropShadow) {
                n->SetupToDraw(false);
                n->DrawShadow();
            }
            n->SetupToDraw(clip);
            if (n->DrawnX != n->X || n->DrawnY != n->Y || n->DrawnWidth != n->Width || n->DrawnHeight != n->Height)
                n->OnReshape();
            if (n->CanCallOnDraw())
                n->OnDraw();
            else
                n->Draw();
            float now = float(Clock.Read());
            if ((n->FlashStartTime > 1 && n->FlashStartTime + n->FlashDuration > now) || !n->FlashDrawn) {
                FlashDeadline = std::max(FlashDeadline, n->FlashStartTime + n->FlashDuration);
                n->DrawFlash();
            }
            if (n->MouseOver && n->HighlightOnMouseOver) n->DrawHighlight();
            n->DrawnX = n->X;
            n->DrawnY = n->Y;
            n->DrawnWidth = n->Width;
            n->DrawnHeight = n->Height;
            if (n->GetID() == ActiveNodeID && !HideFocusOutline && n->Parent) {
                n->Parent->SetupToDraw(n->Parent->ClipsAllTheWay());
                n->DrawStippledOutline();
            }
        }
        if (n->CanDrawChildren() && !n->Occluded) RecursivelyDraw(n->FirstChild, inControls);
        RecursivelyDraw(n->FirstControl, true);
    }
}

void TGui_Master::Draw()
{
    if (ResolveTexture(BackgroundGraphicID)) {
        TGui_Node::Draw();
        return;
    }
    float c[3];
    GetDisplayColor(c, BackgroundColor, false);
    glClearColor(c[0], c[1], c[2], 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
}
