#include "KSN_GuiGraphics.h"

#include "KSN_Application.h"
#include "OS.h"
#include "QORGL.h"
#include "QORImage.h"
#include "QORLanguage.h"
#include "QORString.h"
#include "QORWad.h"

#include <memory>
#include <string>

namespace {

// The entry's name without its extension; an entry without one keeps its whole name.
std::string TextureNameOfEntry(const char* entryName)
{
    char base[TQORWadFile::NameSize] = {};
    char extension[TQORWadFile::NameSize] = {};
    GetExtensionFromFileName(entryName, base, extension);
    return base;
}

void UnpackEntries(TQORWadFile& wad)
{
    std::string folder;
    TOS::GetTemporaryPath(folder);
    char name[TQORWadFile::NameSize];
    auto path = std::make_unique<char[]>(TQORWadFile::PathBufferSize);
    while (wad.PopFile(folder.c_str(), name, path.get())) {
        unsigned char* pixels = nullptr;
        int width = 0, height = 0;
        float aspect = 1.0f;
        if (GetMapFromFile(path.get(), &pixels, &width, &height, false, &aspect, true, false, false))
            QORglut_Textures_AddToList(TextureNameOfEntry(name).c_str(), pixels, width, height, true);
        // An entry that does not decode is skipped without a word; its file goes either way.
        TOS::OS_DeleteFile(path.get());
    }
}

} // namespace

void Kestrune_LoadTextures()
{
    std::string container = OS.GetDataPath("Graphics.dat");
    auto wad = std::make_unique<TQORWadFile>();
    if (!wad->Open(container.c_str())) {
        OS.ErrorMessage("Cannot open the file %s", container.c_str());
        OS.Exit(1);
    }
    UnpackEntries(*wad);
    wad->Close();
    wad.reset();

    if (!App) return;
    App->mapDisabledTexture = QORglut_Textures_GetTextureFromList("MapDisabled");
    App->noMapAppliedTexture = QORglut_Textures_GetTextureFromList("NoMapApplied");
    App->noUVMapTexture = QORglut_Textures_GetTextureFromList("NoUVMap");
    App->lockTexture = QORglut_Textures_GetTextureFromList("Lock");
    // Drawn as opaque tiles; only "MapDisabled" keeps its alpha for later use.
    for (TQORglutTexture* t : {App->mapDisabledTexture, App->noMapAppliedTexture, App->noUVMapTexture})
        if (t) t->SetBlend(false);
    for (TQORglutTexture* t : {App->lockTexture, App->noMapAppliedTexture, App->noUVMapTexture})
        if (t) t->ConvertToRGB();
}

void Kestrune_CheckGraphicsAreCurrent()
{
    if (QORglut_Textures_GetTextureFromList("BrushTileTool")) return;
    OS.Message(Lang.GetText(953), OS.GetMainPath(), '/');
    OS.Exit(1);
}
