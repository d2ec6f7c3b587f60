// TQORMaterialMapSource: image files and the "map" block of the project file.
//
// Files are stored top row first; maps keep row 0 at the bottom, so import
// and export turn the rows over. The "map" block carries the colour pixels as
// the bytes of a PNG file (Base64), the mask as raw bytes (bottom row first)
// and one nested "layer" block per layer map, bottom layer first:
//
//     Name / ReadOnly / Collapsed / ID / Current   (thingy basics)
//     Width<TAB>%d
//     Height<TAB>%d
//     MapFileName<TAB>%s
//     DefaultColor<TAB>%.8f %.8f %.8f
//     data  { Base64 of a PNG file }               when the map has pixels
//     mask  { Base64 of width x height bytes }     when the map has a mask
//     layer<TAB><map layer name> { the layer map's own lines }
//
// The reader also takes "FileFormat", which the writer never writes.
//
// [Index]
//   [Helpers]       line writing, number reading, temporary files
//   [Image files]   ImportFile, ExportFile
//   [Writing]       SaveToStream_Text
//   [Reading]       LoadFromStream_Text_ConsiderCommand and its blobs
#include "QORMaterialMapSource.h"

#include "QORImage.h"
#include "QORLanguage.h"
#include "QORMemory.h"
#include "QORString.h"
#include "QORTextBlock.h"

#include <wx/image.h>
#include <wx/log.h>

#include <charconv>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// [Helpers] -------------------------------------------------------------------

template <class T>
T* ThingyAs(uint32_t ID)
{
    return ID ? dynamic_cast<T*>(__GetThingyFromID(ID)) : nullptr;
}

struct TQORFreeDeleter {
    void operator()(void* block) const { QORfree(block); }
};
using TQORBlock = std::unique_ptr<unsigned char, TQORFreeDeleter>;

void WriteIndentedLine(FILE* file, const char* key, const std::string& value)
{
    for (int i = 0; i < TextFileIndent; ++i) std::fputc('\t', file);
    std::fprintf(file, "%s\t%s\n", key, value.c_str());
}

// Eight decimals in the "C" notation whatever the locale.
std::string FormatFloat8(float value)
{
    char buffer[64];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, double(value), std::chars_format::fixed, 8);
    return error == std::errc() ? std::string(buffer, end) : std::string("0.00000000");
}

// Up to three floats separated by blanks; missing or unreadable ones keep
// their value.
void ReadFloats(const char* text, float* out, int count)
{
    const char* p = text;
    const char* end = text + std::strlen(text);
    for (int i = 0; i < count; ++i) {
        while (p < end && (*p == ' ' || *p == '\t')) ++p;
        if (p < end && *p == '+') ++p;
        float v = 0.0f;
        auto [next, error] = std::from_chars(p, end, v);
        if (error != std::errc()) return;
        out[i] = v;
        p = next;
    }
}

// Deletes a temporary file when it goes out of scope.
struct TTemporaryFile {
    std::string Path;
    bool Create(const char* extension) { return TOS::GetTemporaryFileNameInSystemTemp(Path, extension) && !Path.empty(); }
    ~TTemporaryFile()
    {
        if (!Path.empty()) TOS::OS_DeleteFile(Path.c_str());
    }
};

bool ReadWholeFile(const std::string& path, std::vector<unsigned char>& bytes)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    bytes.clear();
    unsigned char buffer[65536];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    const bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

bool WriteWholeFile(const std::string& path, const void* data, size_t size)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = std::fwrite(data, 1, size, file) == size;
    ok = std::fclose(file) == 0 && ok;
    return ok;
}

wxString PathToWx(const char* path) { return wxString(path, wxConvLibc); }

} // namespace

// [Image files] ---------------------------------------------------------------

bool TQORMaterialMapSource::ImportFile(const char* path)
{
    if (!path || !path[0]) return false;
    QORImage_RegisterHandlers();
    wxImage image;
    {
        wxLogNull quiet;   // a file that cannot be read is answered with false
        if (!image.LoadFile(PathToWx(path), wxBITMAP_TYPE_ANY, -1) || !image.IsOk()) return false;
    }
    const int w = image.GetWidth(), h = image.GetHeight();
    // Only a size the project file can give back is taken.
    if (!QORImage_IsMapSizeValid(w, h)) return false;
    const bool hasAlpha = image.HasAlpha();
    const bool hasMaskColour = !hasAlpha && image.HasMask();
    const unsigned char maskColour[3] = {image.GetMaskRed(), image.GetMaskGreen(), image.GetMaskBlue()};

    TQORImageMapLock lock(OwnerMutex);
    SetDimensions(w, h, 3);
    if (hasAlpha || hasMaskColour) AlphaMask.SetDimensions(w, h, 1);
    unsigned char* pixels = GetPixels();
    unsigned char* mask = (hasAlpha || hasMaskColour) ? AlphaMask.GetPixels() : nullptr;
    const unsigned char* rgb = image.GetData();
    const unsigned char* alpha = hasAlpha ? image.GetAlpha() : nullptr;
    const size_t rowBytes = size_t(w) * 3;
    for (int r = 0; r < h && pixels; ++r) {
        const size_t fileRow = size_t(h - 1 - r);
        unsigned char* out = pixels + size_t(r) * rowBytes;
        std::memcpy(out, rgb + fileRow * rowBytes, rowBytes);
        if (!mask) continue;
        unsigned char* maskRow = mask + size_t(r) * size_t(w);
        if (alpha) {
            std::memcpy(maskRow, alpha + fileRow * size_t(w), size_t(w));
        } else {
            for (int x = 0; x < w; ++x)
                maskRow[x] = std::memcmp(out + size_t(x) * 3, maskColour, 3) == 0 ? 0 : 255;
        }
    }
    Aspect = h != 0 ? float(w) / float(h) : 1.0f;
    // The bytes changed even when the size did not.
    RefreshTextureWrapping();
    return true;
}

bool TQORMaterialMapSource::ExportFile(const char* path)
{
    bool saved = false;
    if (path && path[0]) {
        TQORImageMapLock lock(OwnerMutex);
        const int w = Width, h = Height;
        const unsigned char* pixels = GetPixels();
        if (w > 0 && h > 0 && pixels && BytesPerPixel == 3) {
            QORImage_RegisterHandlers();
            wxImage image(w, h, false);
            if (image.IsOk()) {
                const size_t rowBytes = size_t(w) * 3;
                unsigned char* rgb = image.GetData();
                for (int r = 0; r < h; ++r)
                    std::memcpy(rgb + size_t(r) * rowBytes, pixels + size_t(h - 1 - r) * rowBytes, rowBytes);
                // Only a mask of the map's own size describes its pixels.
                if (HasAlphaMask() && IsAlphaMaskValid()) {
                    const unsigned char* mask = AlphaMask.GetPixels();
                    image.InitAlpha();
                    unsigned char* alpha = image.GetAlpha();
                    for (int r = 0; r < h && mask && alpha; ++r)
                        std::memcpy(alpha + size_t(r) * size_t(w), mask + size_t(h - 1 - r) * size_t(w), size_t(w));
                }
                wxLogNull quiet;   // the caller reports a failed export
                saved = image.SaveFile(PathToWx(path));
            }
        }
    }
    // The next display composites afresh: an export composite lacks the checkerboard.
    InvalidateResolvedMap();
    if (saved) changed = false;
    return saved;
}

// [Writing] -------------------------------------------------------------------

void TQORMaterialMapSource::SaveDataBlob(FILE* file)
{
    unsigned char* pixels = GetPixels();
    if (!pixels || Width <= 0 || Height <= 0 || BytesPerPixel != 3) return;
    TTemporaryFile temporary;
    std::vector<unsigned char> png;
    if (!temporary.Create("PNG") || !SaveMapToFile(temporary.Path.c_str(), pixels, Width, Height, false) ||
        !ReadWholeFile(temporary.Path, png) || png.empty()) {
        // The project is still written, but the user must know what it lacks.
        OS.WarningMessage("Cannot write the pixels of the map '%s' to a temporary file; they are not saved.",
                          GetName());
        return;
    }
    SaveBinaryDataToTextFile(file, png.data(), int(png.size()), "data");
}

bool TQORMaterialMapSource::SaveToStream_Text(FILE* file, bool /*flag*/)
{
    TQORImageMapLock lock(OwnerMutex);
    SaveBasicStuff_Text(file);
    WriteIndentedLine(file, "Width", std::to_string(Width));
    WriteIndentedLine(file, "Height", std::to_string(Height));
    WriteIndentedLine(file, "MapFileName", MapFileName);
    WriteIndentedLine(file, "DefaultColor", FormatFloat8(DefaultColor[0]) + " " + FormatFloat8(DefaultColor[1]) +
                                                " " + FormatFloat8(DefaultColor[2]));
    SaveDataBlob(file);
    // A mask of another size does not belong to these pixels: the reader
    // would drop it anyway.
    if (HasAlphaMask() && IsAlphaMaskValid())
        if (unsigned char* mask = AlphaMask.GetPixels())
            SaveBinaryDataToTextFile(file, mask, int(AlphaMask.GetPixelBytes()), "mask");

    TKSN_LayerOrderIterator begin, end;
    GetOrderedLayerDataIterators(begin, end);
    for (auto it = begin; it != end; ++it) {
        auto* layerMap = ThingyAs<TQORMaterialMapSource>(it->second);
        if (!layerMap || layerMap == this) continue;
        auto* layer = ThingyAs<TKSN_MapLayer>(layerMap->GetDefinitionID());
        if (!layer) continue;
        TStartTextFileBlock block("layer", layer->GetName(), file, true);
        layerMap->SaveToStream_Text(file, false);
    }
    return std::ferror(file) == 0;
}

bool TQORMaterialMapSource::SaveToStream(FILE* /*file*/)
{
    return true;
}

bool TQORMaterialMapSource::LoadFromStream(FILE* /*file*/)
{
    return true;
}

// [Reading] -------------------------------------------------------------------

bool TQORMaterialMapSource::LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value)
{
    if (QORstrcmpi(key, "layer") == 0) return LoadLayerBlock(file, value);
    if (std::strcmp(key, "MapFileName") == 0) {
        SetMapFileName(value);
    } else if (QORstrcmpi(key, "FileFormat") == 0) {
        FileFormat.assign(value, strnlen(value, 255));
        std::string name = GetName();
        std::vector<char> shortName(name.size() + 1, 0);
        GetShortNameFromFileName(shortName.data(), name.c_str(), true);
        SetName("%s.%s", shortName.data(), FileFormat.c_str());
        OS.DebugMessage("Added extension, new file name = %s", GetName());
    } else if (std::strcmp(key, "DefaultColor") == 0) {
        ReadFloats(value, DefaultColor, 3);
    } else if (QORstrcmpi(key, "data") == 0) {
        LoadDataBlob(file);
    } else if (QORstrcmpi(key, "mask") == 0) {
        LoadMaskBlob(file);
    }
    // "Width" and "Height" are ignored: the size comes from "data".
    return true;
}

bool TQORMaterialMapSource::LoadLayerBlock(FILE* file, const char* layerName)
{
    TKSN_MapLayerGroup* group =
        QORMaterialMapSource_ProjectHooks.GetMapLayerGroup ? QORMaterialMapSource_ProjectHooks.GetMapLayerGroup() : nullptr;
    if (!group || !group->items) return false;
    TKSN_Thingy* match = nullptr;
    for (TKSN_Thingy* item : *group->items)
        if (item && QORstrcmpi(item->GetName(), layerName) == 0) {
            match = item;
            break;
        }
    auto* layer = dynamic_cast<TKSN_MapLayer*>(match);
    if (!layer) return false;

    // Owned here until linked, so a malformed block leaves nothing behind.
    std::unique_ptr<TQORMaterialMapSource> layerMap(new TQORMaterialMapSource);
    layerMap->LoadFromStream_Text(file);
    layerMap->SetLayerTopGroup(ThingyAs<TKSN_LayerGroup>(GetLayerTopGroupID()));
    // A second block for the same layer replaces the first rather than
    // leaving it unowned.
    DeleteLayerData(layer->GetID());
    layer->AddLayerDataForSet(this, layerMap.release());
    return true;
}

void TQORMaterialMapSource::LoadDataBlob(FILE* file)
{
    int size = 0;
    TQORBlock blob(static_cast<unsigned char*>(LoadBinaryDataArrayFromTextFile(file, &size)));
    if (!blob || size <= 0) return;
    TTemporaryFile temporary;
    if (!temporary.Create("PNG")) {
        OS.WarningMessage("%s", Lang.GetText(1068));
        return;
    }
    if (!WriteWholeFile(temporary.Path, blob.get(), size_t(size))) return;
    blob.reset();
    unsigned char* decoded = nullptr;
    int w = 0, h = 0;
    // At its own size: a map of 1 x 7 pixels is 1 x 7 again, and its mask fits.
    if (!GetMapFromFileAtItsSize(temporary.Path.c_str(), &decoded, &w, &h, true)) {
        OS.WarningMessage("The image of the map '%s' in the file cannot be read; the map keeps its size and pixels.",
                          GetName());
        return;
    }
    TQORBlock pixels(decoded);
    TQORImageMapLock lock(OwnerMutex);
    SetDimensions(w, h, 3);
    if (unsigned char* to = GetPixels()) std::memcpy(to, pixels.get(), GetPixelBytes());
    RefreshTextureWrapping();
}

void TQORMaterialMapSource::LoadMaskBlob(FILE* file)
{
    int size = 0;
    TQORBlock blob(static_cast<unsigned char*>(LoadBinaryDataArrayFromTextFile(file, &size)));
    TQORImageMapLock lock(OwnerMutex);
    const size_t expected = (Width > 0 && Height > 0) ? size_t(Width) * size_t(Height) : 0;
    if (size_t(size) == expected) {
        AlphaMask.SetDimensions(Width, Height, 1);
        if (unsigned char* mask = AlphaMask.GetPixels(); mask && blob) std::memcpy(mask, blob.get(), expected);
        return;
    }
    if (size != 0) {
        AlphaMask.SetDimensions(0, 0, 1);
        OS.WarningMessage("The mask in the map '%s' has the wrong dimensions", GetName());
    }
}
