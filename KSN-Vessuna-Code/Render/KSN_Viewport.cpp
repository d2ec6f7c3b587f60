// TODO(stub): the viewport subsystem's side of the application object's
// declared interface, over the stand-in classes of KSN_Viewport.h.

#include "KSN_Viewport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "QORString.h"
#include "QORTextBlock.h"

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

namespace {

void WriteIndent(FILE* file)
{
    for (int i = 0; i < TextFileIndent; ++i) std::fputc('\t', file);
}

// All sixteen numbers or nothing.
bool ParseMatrix(const char* text, float* out)
{
    float m[16];
    const char* at = text;
    for (float& value : m) {
        char* end = nullptr;
        value = std::strtof(at, &end);
        if (end == at) return false;
        at = end;
    }
    std::memcpy(out, m, sizeof m);
    return true;
}

} // namespace

bool TKSN_Viewport::SaveToStream_Text(FILE* file, bool framed)
{
    const std::string value = std::to_string(index);
    TStartTextFileBlock block("viewport", value.c_str(), file, framed);
    if (!TKSN_Thingy::SaveToStream_Text(file, false)) return false;
    WriteIndent(file);
    std::fputs("RotationMatrix\t", file);
    for (float v : viewMatrix) std::fprintf(file, "%.8f ", double(v));
    std::fputc('\n', file);
    WriteIndent(file);
    std::fprintf(file, "Current\t%d\n", current ? 1 : 0);
    WriteIndent(file);
    std::fprintf(file, "ViewLocked\t%d\n", IsLocked() ? 1 : 0);
    WriteIndent(file);
    std::fprintf(file, "AutoView\t%d\n", GetAutoView() ? 1 : 0);
    WriteIndent(file);
    std::fprintf(file, "CopyViewportIndex\t%d\n", copyViewportIndex);
    WriteIndent(file);
    std::fprintf(file, "DisplayMode\t%d\n", displayMode);
    WriteIndent(file);
    std::fprintf(file, "MaterialChannelName\t%s\n", materialChannelName);
    layer.SaveToStream_Text(file, false);
    return true;
}

bool TKSN_Viewport::LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value)
{
    loaded = true;
    if (std::strcmp(key, "RotationMatrix") == 0) return ParseMatrix(value, viewMatrix);
    if (std::strcmp(key, "Current") == 0) {
        current = std::atoi(value) != 0;
        return true;
    }
    if (std::strcmp(key, "ViewLocked") == 0) {
        if (std::atoi(value)) Lock();
        else Unlock();
        return true;
    }
    if (std::strcmp(key, "AutoView") == 0) {
        SetAutoView(std::atoi(value) != 0);
        return true;
    }
    if (std::strcmp(key, "CopyViewportIndex") == 0) {
        copyViewportIndex = std::atoi(value);
        return true;
    }
    if (std::strcmp(key, "DisplayMode") == 0) {
        displayMode = std::atoi(value);
        return true;
    }
    if (std::strcmp(key, "MaterialChannelName") == 0) {
        // A longer name is cut at the buffer, never past it.
        std::snprintf(materialChannelName, sizeof materialChannelName, "%s", value);
        return true;
    }
    return layer.LoadFromStream_Text_ConsiderCommand(file, key, value);
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
