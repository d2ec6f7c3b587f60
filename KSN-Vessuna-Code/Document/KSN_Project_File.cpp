// The project file's writer, the saving of every map, and the swap that
// opens a project file in place of the open project.
//
// The file is the text block format: three header lines, then one top-level
// block holding the project's own keys and the nested blocks of the
// viewports, polygon layers, sculpt and map layers, maps, objects and unions.
// A save never loses the previous file: everything goes to a temporary file
// beside the target, every write and the close are checked, and only then is
// the temporary file renamed over the target.
//
// Index:
//   [SECTION] Key lines
//   [SECTION] Top-level block
//   [SECTION] Saving
//   [SECTION] Saving every map
//   [SECTION] Opening a project in place of the open one
#include "KSN_Project.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>

#include "KSN_Layer.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_PolygonLayer.h"
#include "KSN_Project_File_Internal.h"
#include "KSN_Project_Internal.h"
#include "KSN_SculptLayer.h"
#include "KSN_Union.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORMaterialMapSource.h"
#include "QORTextBlock.h"

bool NavShowOrigin = false;

namespace {

// Interface command: the maps and their file names changed.
constexpr int CommandMapsChanged = 435;

// [SECTION] Key lines

void WriteIndent(FILE* file)
{
    for (int i = 0; i < TextFileIndent; ++i) std::fputc('\t', file);
}

void WriteFlag(FILE* file, const char* key, bool value)
{
    WriteIndent(file);
    std::fprintf(file, "%s\t%d\n", key, value ? 1 : 0);
}

void WriteInt(FILE* file, const char* key, int value)
{
    WriteIndent(file);
    std::fprintf(file, "%s\t%d\n", key, value);
}

void WriteFloat(FILE* file, const char* key, float value)
{
    WriteIndent(file);
    std::fprintf(file, "%s\t%.8f\n", key, double(value));
}

void WriteVector(FILE* file, const char* key, const float* v)
{
    WriteIndent(file);
    std::fprintf(file, "%s\t%.8f %.8f %.8f\n", key, double(v[0]), double(v[1]), double(v[2]));
}

// Sixteen numbers in storage order, each followed by a blank.
void WriteMatrix(FILE* file, const char* key, const float* m)
{
    WriteIndent(file);
    std::fprintf(file, "%s\t", key);
    for (int i = 0; i < 16; ++i) std::fprintf(file, "%.8f ", double(m[i]));
    std::fputc('\n', file);
}

// Tree groups write their top block under the keyword they hold.
void WriteTree(FILE* file, TKSN_TreeGroup* group, const char* keyword)
{
    if (!group) return;
    group->typeKeyword = keyword;
    group->SaveToStream_Text(file, true);
}

} // namespace

// ============================================================================
// [SECTION] Top-level block
// ============================================================================

bool TKSN_Project::SaveToStream_Text(FILE* file, bool)
{
    std::fputs("Kestrune Project File\n", file);
    std::fprintf(file, "Version %d.%d.%d.%d\n", 4, 2, 8, 0);
    std::fputs("---------------------------\n", file);
    WriteIndent(file);
    std::fputs("{\n", file);
    ++TextFileIndent;

    WriteInt(file, "ViewportConfiguration", KSN_FileApp_GetViewportConfiguration());
    for (int i = 0; i < 4; ++i) KSN_FileApp_SaveViewport(file, i);
    WriteMatrix(file, "GlobalOrientationMatrix", KSN_FileApp_OrientationMatrix());
    WriteFlag(file, "NavShowOrigin", NavShowOrigin);
    WriteFlag(file, "MirrorX", MirrorX);
    WriteFlag(file, "MirrorY", MirrorY);
    WriteFlag(file, "MirrorInViewport", MirrorInViewport);
    WriteFlag(file, "PaintOnBackFaces", PaintOnBackFaces);
    WriteFlag(file, "WireframeOverlay", WireframeOverlay);
    WriteFlag(file, "VertexOverlay", VertexOverlay);
    WriteFlag(file, "DoAngleFade", DoAngleFade);
    WriteFloat(file, "FadeFalloff", FadeFalloff);
    WriteFloat(file, "FadeCutoff", FadeCutoff);
    WriteFlag(file, "ExtraSoftBrushStrokes", ExtraSoftBrushStrokes);
    WriteFloat(file, "TileRepeat", TileRepeat);
    WriteFlag(file, "ExportVerticesOnly", ExportVerticesOnly);
    WriteFlag(file, "ExportGroups", ExportGroups);
    WriteFlag(file, "ExportGroupsAsSeparateFiles", ExportGroupsAsSeparateFiles);
    WriteFlag(file, "ExportChangedGroups", ExportChangedGroups);
    WriteFlag(file, "ExportMorphs", ExportMorphs);
    WriteFlag(file, "FlipNormalsOnImport", FlipNormalsOnImport);
    WriteFlag(file, "FlipUVsHorizontallyOnImport", FlipUVsHorizontallyOnImport);
    WriteFlag(file, "FlipUVsVerticallyOnImport", FlipUVsVerticallyOnImport);
    WriteFlag(file, "ScaleOnImport", ScaleOnImport);
    WriteFlag(file, "UseInternalNameforGroups", UseInternalNameforGroups);
    WriteFloat(file, "ScaleFactor", ScaleFactor);
    WriteFlag(file, "CenterOnImport", CenterOnImport);
    WriteFloat(file, "WeldThreshold", WeldThreshold);
    WriteFlag(file, "ImportMaps", ImportMaps);
    WriteFlag(file, "ImportMorphs", ImportMorphs);
    WriteFloat(file, "GlobalDisplacementStrengthB", GlobalDisplacementStrengthB);
    WriteFloat(file, "GlobalBumpStrength", GlobalBumpStrength);
    WriteFloat(file, "RenderQualityB", RenderQualityB);
    WriteFlag(file, "RenderMixColors", RenderMixColors);
    WriteFlag(file, "RenderColorMaps", RenderColorMaps);
    WriteFlag(file, "RenderBumpMaps", RenderBumpMaps);
    WriteFlag(file, "RenderSpecularMaps", RenderSpecularMaps);
    WriteFlag(file, "RenderAmbientMaps", RenderAmbientMaps);
    WriteFlag(file, "RenderDoubleSided", RenderDoubleSided);
    WriteFlag(file, "RenderTransparencyMaps", RenderTransparencyMaps);
    WriteFlag(file, "RenderDisplacementMaps", RenderDisplacementMaps);
    WriteFlag(file, "CR2AutoRig", CR2AutoRig);
    WriteFlag(file, "CR2SetupFullBodyMorphs", CR2SetupFullBodyMorphs);
    WriteFlag(file, "CR2SaveNewOBJ", CR2SaveNewOBJ);
    WriteFlag(file, "AutoFixSeams", AutoFixSeams);
    WriteFlag(file, "UseSymmetry", UseSymmetry);
    WriteFlag(file, "FlipSymmetry", FlipSymmetry);
    WriteFlag(file, "TileBrushTexture", TileBrushTexture);
    WriteFlag(file, "FlipBrushTextureX", FlipBrushTextureX);
    WriteFlag(file, "FlipBrushTextureY", FlipBrushTextureY);
    WriteFlag(file, "FastPainting", FastPainting);
    WriteVector(file, "BackgroundColor1", KSN_FileApp_BackgroundColor(0));
    WriteVector(file, "BackgroundColor2", KSN_FileApp_BackgroundColor(1));
    WriteVector(file, "WireframeColor", WireframeColor);
    WriteFlag(file, "ShowCheckeredBackground", ShowCheckeredBackground);
    WriteInt(file, "BrushTilingStyle", BrushTilingStyle);
    WriteFlag(file, "AutoAlignTilingWithViewport", AutoAlignTilingWithViewport);
    WriteVector(file, "TileCentre", TileCentre);
    WriteMatrix(file, "TileRotationMatrix", TileRotationMatrix);
    WriteFloat(file, "Time", Time);

    // The reader puts the n-th layer block into slot n - 1, so only the
    // enabled run from slot 0 is written; the hidden and locked slots are
    // rebuilt after loading.
    for (int slot = 0; slot < 30; ++slot)
        if (PolygonLayers[slot] && PolygonLayers[slot]->IsEnabled()) PolygonLayers[slot]->SaveToStream_Text(file, true);

    WriteTree(file, SculptLayers, "sculptLayers");
    WriteTree(file, MapLayers, "mapLayers");

    // Block values are list positions: the channels' "TextureIndex" names them.
    if (Maps)
        for (int position = 0; position < Maps->items->Count(); ++position) {
            auto* source = dynamic_cast<TQORMaterialMapSource*>((*Maps->items)[position]);
            if (!source) continue;
            const std::string value = std::to_string(position);
            TStartTextFileBlock block("map", value.c_str(), file, true);
            source->SaveToStream_Text(file, false);
        }

    WriteTree(file, Objects, "objects");

    // A union holding a mesh's base vertices is rebuilt after every load.
    std::unique_ptr<TQORNewStaticList<TKSN_MorphUnion*>> unions(GetMorphUnionList());
    for (TKSN_MorphUnion* u : *unions)
        if (u->IsBaseVertices()) u->saveable = false;
    WriteTree(file, MorphUnions, "morphs");
    WriteTree(file, SelectionUnions, "selections");
    return true;
}

// ============================================================================
// [SECTION] Saving
// ============================================================================

namespace {

// A temporary file in the target's folder, so that the rename stays within
// one file system and never copies.
FILE* OpenTemporaryBeside(const std::string& target, std::string& temporary)
{
    temporary = target + ".saving-XXXXXX";
    const int descriptor = ::mkstemp(temporary.data());
    if (descriptor < 0) {
        temporary.clear();
        return nullptr;
    }
    // mkstemp makes the file private; it takes the permissions the old file
    // had, or those a newly created file would get.
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0) {
        ::fchmod(descriptor, old.st_mode & 07777);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(descriptor, 0666 & ~mask);
    }
    FILE* file = ::fdopen(descriptor, "w");
    if (!file) {
        ::close(descriptor);
        std::remove(temporary.c_str());
        temporary.clear();
    }
    return file;
}

} // namespace

bool TKSN_Project::SaveProject_v2(const char* path, bool setAsFileName)
{
    if (!path || !*path) return false;
    KSN_FileApp_CleanTemporaryMemory();

    std::string temporary;
    FILE* file = OpenTemporaryBeside(path, temporary);
    if (!file) return false;

    FinishAllVertexAdjustments();
    CreateUnionsFromMissingMorphs();
    CreateUnionsFromMissingSelections();
    CleanupMeshMorphGroupings();
    CleanupMeshSelectionGroupings();

    KSN_FileApp_SetWaitCursor(true);
    bool ok = true;
    TextFileIndent = 0;
    try {
        SaveToStream_Text(file, true);
        --TextFileIndent;
        WriteIndent(file);
        std::fputs("}\n", file);
        ok = std::fflush(file) == 0 && !std::ferror(file) && ::fsync(::fileno(file)) == 0;
    } catch (const std::exception&) {
        // The writer that threw has told the user already.
        ok = false;
    }
    TextFileIndent = 0;
    ok = std::fclose(file) == 0 && ok;
    ok = ok && std::rename(temporary.c_str(), path) == 0;
    if (!ok) std::remove(temporary.c_str());
    KSN_FileApp_SetWaitCursor(false);
    if (!ok) return false;

    if (setAsFileName) FileName = path;
    KSN_ProjectApp_RestartSaveReminder();
    return true;
}

// ============================================================================
// [SECTION] Saving every map
// ============================================================================

void TKSN_Project::SaveProjectMaps()
{
    if (Maps)
        for (TKSN_Thingy* item : *Maps->items) {
            auto* source = dynamic_cast<TQORMaterialMapSource*>(item);
            if (source && !SaveMapToFileWithPrompt(source, false)) break;
        }
    UpdateAllChannelMapFileNames();
    QOREvents_PushEvent(CommandMapsChanged);
}
