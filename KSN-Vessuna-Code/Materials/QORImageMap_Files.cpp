// TQORImageMap: image files in and out through the toolkit's image class.
//
// Files are stored top row first; maps keep row 0 at the bottom, so every
// import and export turns the rows over. Which formats exist is whatever the
// registered image handlers provide; the format of an export follows the file
// name's extension.
//
// [Index]
//   [Reasons]  why a file could not be read, in the user's words
//   [Import]   ImportFile, ImportFileAsGreyscale
//   [Export]   ExportFile
#include "QORImageMap.h"

#include "OS.h"
#include "QORImage.h"

#include <wx/image.h>
#include <wx/log.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

// The path is a byte string in the platform's multibyte encoding.
wxString PathToWx(const char* path) { return wxString(path, wxConvLibc); }

// [Reasons] -------------------------------------------------------------------

// Called after the toolkit failed to load the file: tells the user why, as
// far as it can be told from outside the decoder.
void ReportUnreadableImage(const char* path)
{
    std::error_code error;
    const std::filesystem::path file(path);
    const char* reason = "the file is damaged or its image format cannot be decoded";
    if (!std::filesystem::exists(file, error)) {
        reason = "the file does not exist";
    } else if (!std::filesystem::is_regular_file(file, error)) {
        reason = "it is not a file";
    } else if (FILE* probe = std::fopen(path, "rb"); !probe) {
        reason = "the file cannot be opened for reading";
    } else {
        std::fclose(probe);
        wxLogNull quiet;
        bool known = false;
        for (wxList::compatibility_iterator node = wxImage::GetHandlers().GetFirst(); node && !known;
             node = node->GetNext()) {
            auto* handler = static_cast<wxImageHandler*>(node->GetData());
            known = handler && handler->CanRead(PathToWx(path));
        }
        if (!known) reason = "its format is not an image format that can be read";
    }
    OS.ErrorMessage("Cannot read the image \"%s\": %s.", path, reason);
}

// Loads the whole picture; false (after saying why) when it cannot be read.
bool LoadPicture(const char* path, wxImage& image)
{
    if (!path || !path[0]) {
        OS.ErrorMessage("Cannot read an image: no file name was given.");
        return false;
    }
    QORImage_RegisterHandlers();
    bool loaded = false;
    {
        // The failure is reported below through the OS layer; the toolkit's
        // own log would open a box of its own.
        wxLogNull quiet;
        loaded = image.LoadFile(PathToWx(path), wxBITMAP_TYPE_ANY, -1) && image.IsOk();
    }
    if (!loaded) ReportUnreadableImage(path);
    return loaded;
}

} // namespace

// [Import] --------------------------------------------------------------------

bool TQORImageMap::ImportFile(const char* path)
{
    wxImage image;
    if (!LoadPicture(path, image)) return false;
    const int w = image.GetWidth(), h = image.GetHeight();
    const size_t rowBytes = size_t(w) * 3;
    {
        TQORImageMapLock lock(OwnerMutex);
        SetDimensions(w, h, 3);
        unsigned char* pixels = GetPixels();
        const unsigned char* rgb = image.GetData();
        for (int i = 0; i < h && pixels; ++i)
            std::memcpy(pixels + size_t(i) * rowBytes, rgb + size_t(h - 1 - i) * rowBytes, rowBytes);
        // The bytes changed even when the size did not: the wrapper's upload
        // and the preview must not show the old picture.
        RefreshTextureWrapping();
    }
    Notify();
    return true;
}

bool TQORImageMap::ImportFileAsGreyscale(const char* path)
{
    wxImage image;
    if (!LoadPicture(path, image)) return false;
    const int w = image.GetWidth(), h = image.GetHeight();
    {
        TQORImageMapLock lock(OwnerMutex);
        SetDimensions(w, h, 1);
        unsigned char* pixels = GetPixels();
        const unsigned char* rgb = image.GetData();
        for (int i = 0; i < h && pixels; ++i) {
            const unsigned char* in = rgb + size_t(h - 1 - i) * size_t(w) * 3;
            unsigned char* out = pixels + size_t(i) * size_t(w);
            for (int x = 0; x < w; ++x, in += 3) out[x] = static_cast<unsigned char>((in[0] + in[1] + in[2]) / 3);
        }
        RefreshTextureWrapping();
    }
    Notify();
    return true;
}

// [Export] --------------------------------------------------------------------

bool TQORImageMap::ExportFile(const char* path)
{
    if (!path || !path[0]) return false;
    // Held for the whole export, so nobody resizes or pages the pixels meanwhile.
    TQORImageMapLock lock(OwnerMutex);
    const int w = Width, h = Height;
    if (w <= 0 || h <= 0) return false;
    QORImage_RegisterHandlers();
    wxImage image(w, h, true);
    if (!image.IsOk()) return false;
    const unsigned char* pixels = GetPixels();
    unsigned char* rgb = image.GetData();
    const int depth = BytesPerPixel;
    if (depth == 4) image.InitAlpha();
    unsigned char* alpha = depth == 4 ? image.GetAlpha() : nullptr;
    for (int i = 0; i < h && pixels; ++i) {
        const size_t row = size_t(i) * size_t(w);
        const unsigned char* in = pixels + size_t(h - 1 - i) * size_t(w) * size_t(depth > 0 ? depth : 0);
        unsigned char* out = rgb + row * 3;
        switch (depth) {
        case 3: std::memcpy(out, in, size_t(w) * 3); break;
        case 4:
            for (int x = 0; x < w; ++x, in += 4, out += 3) {
                std::memcpy(out, in, 3);
                alpha[row + size_t(x)] = in[3];
            }
            break;
        case 1:
            for (int x = 0; x < w; ++x, out += 3) out[0] = out[1] = out[2] = in[x];
            break;
        default: break;   // no meaning for other depths: the picture stays black
        }
    }
    wxLogNull quiet;
    return image.SaveFile(PathToWx(path));
}
