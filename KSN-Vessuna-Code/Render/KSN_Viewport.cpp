// TODO(stub): the viewport subsystem's side of the application object's
// declared interface, over the stand-in classes of KSN_Viewport.h.

#include "KSN_Viewport.h"

#include <cstring>

void TKSN_Viewport::SetToFront(bool automatic)
{
    App->GetFrontMatrix(viewMatrix);
    standardView = TKSN_StandardView::Front;
    automaticStandardView = automatic;
}

void TKSN_Viewport::SetToTop(bool automatic)
{
    App->GetTopMatrix(viewMatrix);
    standardView = TKSN_StandardView::Top;
    automaticStandardView = automatic;
}

void TKSN_Viewport::SetToLeft(bool automatic)
{
    App->GetLeftMatrix(viewMatrix);
    standardView = TKSN_StandardView::Left;
    automaticStandardView = automatic;
}

void TKSN_Viewport::SetToBack(bool automatic)
{
    App->GetBackMatrix(viewMatrix);
    standardView = TKSN_StandardView::Back;
    automaticStandardView = automatic;
}

void TKSN_DepthBuffer::Resize(int32_t newWidth, int32_t newHeight)
{
    width = newWidth > 0 ? newWidth : 0;
    height = newHeight > 0 ? newHeight : 0;
    data.assign(size_t(width) * size_t(height) * (type == 0 ? 4u : 1u), 0);
    if (data.empty()) data.shrink_to_fit();
}

TKSN_Viewport* KSN_NewViewport()
{
    auto* viewport = new TKSN_Viewport;
    viewport->renderSetup = std::make_unique<TKSN_RenderSetup>();
    return viewport;
}

void KSN_DeleteViewport(TKSN_Viewport* viewport) { delete viewport; }

float* KSN_GetViewportMatrix(TKSN_Viewport* viewport) { return viewport->viewMatrix; }

void KSN_ApplyViewportStandardSetup(TKSN_Viewport* viewport, const TKSN_ViewportStandardSetup& setup)
{
    viewport->layer.Init();
    viewport->SetName("%s", setup.name);
    viewport->index = setup.index;
    viewport->layerMask1 = viewport->layerMask2 = setup.layerMask;
    viewport->furtherMask1 = viewport->furtherMask2 = setup.furtherMask;
    viewport->layer.IsMainViewportSettings = setup.mainViewport;
    if (setup.mainViewport)
        viewport->layer.DisplayFlags &= ~TKSN_Layer::UseViewportDefault;
    else
        viewport->layer.DisplayFlags |= TKSN_Layer::UseViewportDefault;
    switch (setup.view) {
    case TKSN_StandardView::Front: viewport->SetToFront(setup.automaticView); break;
    case TKSN_StandardView::Top: viewport->SetToTop(setup.automaticView); break;
    case TKSN_StandardView::Left: viewport->SetToLeft(setup.automaticView); break;
    case TKSN_StandardView::Back: viewport->SetToBack(setup.automaticView); break;
    }
    if (setup.locked) viewport->Lock();
}

TKSN_DepthBuffer* KSN_NewDepthBuffer(int32_t type)
{
    auto* buffer = new TKSN_DepthBuffer;
    buffer->SetType(type);
    return buffer;
}

void KSN_DeleteDepthBuffer(TKSN_DepthBuffer* buffer) { delete buffer; }

void KSN_ResizeDepthBuffer(TKSN_DepthBuffer* buffer, int32_t width, int32_t height)
{
    if (buffer) buffer->Resize(width, height);
}
