#include "GuiHint.h"

#include "QORGL.h"

#include <GL/gl.h>

void TGui_HintNode::Draw()
{
    glColor4f(BackgroundColor[0], BackgroundColor[1], BackgroundColor[2], 0.9f);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    TQORglutTexture* t = ResolveTexture(BackgroundGraphicID);
    if (t) t->Set();
    // DrawRectangle ends in opaque white: the raw colour is set once more for it.
    glColor4f(BackgroundColor[0], BackgroundColor[1], BackgroundColor[2], 0.9f);
    DrawRectangle(0, 0, Width, Height, SurfaceTextureMode == 1, t);
    if (t) t->Remove();
    DrawBevel(0, 0, Width, Height, false, BorderWidth);
    glDisable(GL_BLEND);
}
