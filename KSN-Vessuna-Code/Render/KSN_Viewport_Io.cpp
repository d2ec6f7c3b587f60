// The "viewport" block of the project file (also the projection brush's
// ".info" file). The look-at point and zoom are written with nine significant
// digits so that they come back exactly; files written with eight decimals
// still read. Keys the viewport does not know belong to its display layer,
// whose lines are written inside the block.
#include "KSN_Viewport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "KSN_Viewport_Internal.h"
#include "QORTextBlock.h"

namespace {

void Indent(FILE* file)
{
    for (int i = 0; i < TextFileIndent; ++i) std::fputc('\t', file);
}

void WriteMatrix(FILE* file, const char* key, const float* m)
{
    Indent(file);
    std::fprintf(file, "%s\t", key);
    for (int i = 0; i < 16; ++i) std::fprintf(file, "%.8f ", double(m[i]));
    std::fputc('\n', file);
}

void WriteInt(FILE* file, const char* key, int value)
{
    Indent(file);
    std::fprintf(file, "%s\t%d\n", key, value);
}

// Exactly count numbers separated by blanks, nothing else but trailing blanks.
bool ParseFloats(const char* text, float* out, int count)
{
    const char* p = text;
    for (int i = 0; i < count; ++i) {
        char* end = nullptr;
        float v = std::strtof(p, &end);
        if (end == p) return false;
        out[i] = v;
        p = end;
    }
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') ++p;
    return *p == 0;
}

bool ParseInt(const char* text, int& out)
{
    int value = 0;
    if (std::sscanf(text, "%d", &value) != 1) return false;
    out = value;
    return true;
}

} // namespace

bool TKSN_Viewport::SaveToStream_Text(FILE* file, bool framed)
{
    char indexText[16];
    std::snprintf(indexText, sizeof indexText, "%d", index);
    TStartTextFileBlock block("viewport", indexText, file, framed);
    if (!TKSN_Thingy::SaveToStream_Text(file, false)) return false;
    WriteMatrix(file, "RotationMatrix", RotationMatrix);
    WriteMatrix(file, "DefaultRotationMatrix", DefaultRotationMatrix);
    Indent(file);
    std::fprintf(file, "%s\t%.9g %.9g %.9g\n", "LookAt", double(LookAt[0]), double(LookAt[1]), double(LookAt[2]));
    Indent(file);
    std::fprintf(file, "%s\t%.9g\n", "Zoom", double(GetZoom()));
    WriteInt(file, "Current", Current ? 1 : 0);
    WriteInt(file, "ViewLocked", IsLocked() ? 1 : 0);
    WriteInt(file, "AutoView", GetAutoView() ? 1 : 0);
    WriteInt(file, "CopyViewportIndex", CopyViewportIndex);
    WriteInt(file, "Maximized", Maximized ? 1 : 0);
    WriteInt(file, "CameraID", CameraID);
    WriteInt(file, "DisplayMode", DisplayMode);
    Indent(file);
    std::fprintf(file, "%s\t%s\n", "MaterialChannelName", materialChannelName);
    // The layer's lines carry a "Name" of their own, which the reader applies
    // to the viewport (the later line wins): it must be the viewport's.
    layer.SetName("%s", GetName());
    if (!layer.SaveToStream_Text(file, false)) return false;
    return std::ferror(file) == 0;
}

bool TKSN_Viewport::LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value)
{
    Loaded = true;
    const char* text = value ? value : "";
    float numbers[16];
    int n = 0;
    if (std::strcmp(key, "RotationMatrix") == 0) {
        if (!ParseFloats(text, numbers, 16)) return false;
        SetRotationMatrixForLoadingOnly(numbers);
        return true;
    }
    if (std::strcmp(key, "DefaultRotationMatrix") == 0) {
        if (!ParseFloats(text, numbers, 16)) return false;
        std::memcpy(DefaultRotationMatrix, numbers, sizeof DefaultRotationMatrix);
        return true;
    }
    if (std::strcmp(key, "LookAt") == 0) {
        if (!ParseFloats(text, numbers, 3)) return false;
        SetLookAtForLoadingOnly(numbers);
        return true;
    }
    if (std::strcmp(key, "Zoom") == 0) {
        if (!ParseFloats(text, numbers, 1)) return false;
        SetZoomForLoadingOnly(numbers[0]);
        return true;
    }
    if (std::strcmp(key, "AutoView") == 0) {
        if (!ParseInt(text, n)) return false;
        SetAutoView(n != 0);
        return true;
    }
    if (std::strcmp(key, "ViewLocked") == 0) {
        if (!ParseInt(text, n)) return false;
        if (n != 0)
            Lock();
        else
            Unlock();
        return true;
    }
    if (std::strcmp(key, "CopyViewportIndex") == 0) {
        if (!ParseInt(text, n)) return false;
        CopyViewportIndex = n;
        return true;
    }
    if (std::strcmp(key, "Current") == 0) {
        if (!ParseInt(text, n)) return false;
        Current = n != 0;
        return true;
    }
    if (std::strcmp(key, "Maximized") == 0) {
        if (!ParseInt(text, n)) return false;
        Maximized = n != 0;
        return true;
    }
    if (std::strcmp(key, "CameraID") == 0) {
        if (!ParseInt(text, n)) return false;
        CameraID = n;
        return true;
    }
    if (std::strcmp(key, "DisplayMode") == 0) {
        if (!ParseInt(text, n)) return false;
        DisplayMode = n;
        return true;
    }
    if (std::strcmp(key, "MaterialChannelName") == 0) {
        KSN_CopyChannelName(materialChannelName, sizeof materialChannelName, text);
        return true;
    }
    return layer.LoadFromStream_Text_ConsiderCommand(file, key, value);
}
