// The declared interface through which the geometry library reads a
// material's channels for the quick render and the displacement validation
// (declared in QORMaterial.h and in the geometry library's
// KSN_QuickRenderData.h, which sits below this one).
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"

namespace {

// By quick-render slot: Color, Ambient, Specular, Bump, Displacement, Transparency.
const char* const SlotChannelNames[6] = {"Color", "Ambient", "Specular", "Bump", "Displacement", "Transparency"};

} // namespace

bool KSN_GetMaterialChannelInfo(TQORMaterial* material, int slotIndex, float* values, bool* hasBinding,
                                TQORMaterialMapSource** source)
{
    if (!material || slotIndex < 0 || slotIndex >= 6) return false;
    TQORMaterialChannel* channel = material->GetChannelFromName(SlotChannelNames[slotIndex]);
    if (!channel) return false;
    values[0] = channel->Strength;
    values[1] = channel->Offset;
    for (int c = 0; c < 3; ++c) values[2 + c] = channel->Color[c];
    *hasBinding = false;
    *source = nullptr;
    if (channel->GetMapID() != 0) {
        if (auto* binding = dynamic_cast<TQORMaterialMap*>(__GetThingyFromID(channel->GetMapID()))) {
            *hasBinding = true;
            *source = binding->GetMapSource();
        }
    }
    return true;
}

const uint8_t* KSN_GetMapSourceRGBPixels(TQORMaterialMapSource* source, int32_t& w, int32_t& h)
{
    w = h = 0;
    if (!source || source->GetBytesPerPixel() != 3) return nullptr;
    const uint8_t* pixels = source->GetPixels();
    if (!pixels) return nullptr;
    w = source->GetWidth();
    h = source->GetHeight();
    return pixels;
}
