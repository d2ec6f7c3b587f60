#include "KSN_QuickRenderData.h"

#include <cstring>


void TKSN_QuickRenderDataTextureData::AssignMap(TQORMaterialMapSource* source, float stepScale)
{
    if (!source) {
        Pixels = nullptr;
        Width = Height = 0;
        TexelStepU = TexelStepV = 1e10f;
        return;
    }
    Pixels = KSN_GetMapSourceRGBPixels(source, Width, Height);
    if (Pixels && Width > 0 && Height > 0) {
        TexelStepU = stepScale / float(Width);
        TexelStepV = stepScale / float(Height);
    } else {
        // A map the slot cannot read counts as none.
        Pixels = nullptr;
        Width = Height = 0;
    }
}

TKSN_QuickRenderData::TKSN_QuickRenderData()
{
    for (auto& t : Textures) t.Init();
    Init();
}

void TKSN_QuickRenderData::Init()
{
    std::memset(Matrix, 0, sizeof(Matrix));
    for (int k = 0; k < 4; ++k) Matrix[5 * k] = 1.0f;
    ViewDirection[0] = ViewDirection[1] = 0.0f;
    ViewDirection[2] = 1.0f;
    CullBackFaces = false;
    InvZoomSquared = SplitThreshold = MinEdgeSquared = 0.0f;
    MaxLevel = 10;
    for (int i = 0; i < KSN_QR_SLOT_COUNT; ++i) {
        TextureSlots[i] = &Textures[i];
        Textures[i].Init();
    }
    ViewBoundX = ViewBoundY = 1.0f;
}

void TKSN_QuickRenderData::ClearMaps()
{
    for (auto* slot : TextureSlots) slot->Init();
    ViewBoundX = ViewBoundY = 1.0f;
}

bool KSN_FillQuickRenderSlot(TKSN_QuickRenderDataTextureData& slot, TQORMaterial* material, int slotIndex,
                             float stepScale)
{
    float values[5];
    bool hasBinding = false;
    TQORMaterialMapSource* source = nullptr;
    if (!KSN_GetMaterialChannelInfo(material, slotIndex, values, &hasBinding, &source)) return false;
    slot.Strength = values[0];
    const float b = values[0] * 255.0f;
    slot.StrengthByte = b > 255.0f ? 255 : (b > 0.0f ? uint8_t(b) : 0);
    slot.Offset = values[1];
    for (int c = 0; c < 3; ++c) {
        const float v = values[2 + c] * 255.0f;
        slot.Color[c] = v > 255.0f ? 255 : (v > 0.0f ? uint8_t(v) : 0);
    }
    if (source) {
        slot.AssignMap(source, stepScale);
    } else {
        slot.Pixels = nullptr;
        slot.Width = slot.Height = 0;
        slot.TexelStepU = slot.TexelStepV = 1e10f;
    }
    return true;
}
