// Sculpted-prim images (see KSN_SculptedPrim.h).
//
// Index:
//   [SECTION] Pixels and boxes
//   [SECTION] Filling empty pixels
//   [SECTION] Export
//   [SECTION] Import
#include "KSN_SculptedPrim.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "KSN_Application.h"
#include "KSN_Mesh.h"
#include "KSN_Morph.h"
#include "KSN_Object.h"
#include "KSN_Project.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORImageMap.h"
#include "QORLanguage.h"
#include "QORPolyMesh.h"
#include "QORString.h"

namespace {

constexpr int kSculptSize = 32;
constexpr int kFileScale = 2;
constexpr float kEmptyKey = 1e-30f;
constexpr float kSqrt3 = 1.73206f;
constexpr int kHighlightObjectText = 1244;
constexpr int CommandShowObjects = 10;
constexpr int CommandRefreshManager = 439;

constexpr const char* kExperimentalQuestion =
    "At the moment, this is an experimental export type. If your object started off as a sphere (with spherical UV "
    "mapping) and you morph it into a particular shape, this will export a Sculpted Prim image for 'Second Life' to "
    "reconstruct that shape.\n\nIf you don't know what any of that means, then don't worry... as soon as I refine the "
    "logic and workflow around this feature, I will create a tutorial showing you how to use it. \n\nIn the mean "
    "time, use it at your own risk.\n\nDo you wish to continue?";

// ============================================================================
// [SECTION] Pixels and boxes
// ============================================================================

// The box of the mesh's current shape after its own transform: min corner
// and largest side.
struct TSculptBox {
    float Min[3] = {0, 0, 0};
    float Size = 0.0f;
};

TSculptBox CurrentShapeBox(TKSN_Mesh* mesh)
{
    TSculptBox box;
    const int count = mesh->GetVCount();
    if (count <= 0 || !mesh->resolvedVertices) return box;
    float lo[3], hi[3];
    for (int c = 0; c < 3; ++c) lo[c] = hi[c] = mesh->resolvedVertices[c];
    for (int v = 1; v < count; ++v)
        for (int c = 0; c < 3; ++c) {
            const float x = mesh->resolvedVertices[3 * v + c];
            lo[c] = std::min(lo[c], x);
            hi[c] = std::max(hi[c], x);
        }
    for (int c = 0; c < 3; ++c) box.Min[c] = lo[c];
    box.Size = std::max({hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]});
    return box;
}

// The current shape, transformed, in resolvedVertices.
void ResolveCurrentShape(TKSN_Mesh* mesh) { mesh->ResolveMorphs(true); }

std::string ObjectNameForFile(TKSN_Object* object)
{
    std::string name = object->GetName();
    const size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos) name = name.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

std::string ExtensionOf(const std::string& path)
{
    const size_t dot = path.rfind('.');
    const size_t slash = path.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string();
    return path.substr(dot + 1);
}

unsigned char ToByte(float n)
{
    // Points on the box stay inside 0..255; rounding at the far face never wraps.
    const float value = std::trunc(255.0f * n);
    return static_cast<unsigned char>(std::clamp(value, 0.0f, 255.0f));
}

} // namespace

int KSN_SculptyPixelOf(float u, int size)
{
    return int(std::trunc((1.0 / 64.0 + 31.0 * double(u) / 32.0) * double(size)));
}

// ============================================================================
// [SECTION] Filling empty pixels
// ============================================================================

void BlurEmptyRegionsInSculpty(unsigned char* rgb, int width, int height, float* keys)
{
    if (!rgb || !keys || width <= 0 || height <= 0) return;
    const size_t pixels = size_t(width) * size_t(height);
    std::vector<unsigned char> nextRgb(pixels * 3);
    std::vector<float> nextKeys(pixels);
    for (;;) {
        bool metEmpty = false;
        bool filledOne = false;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const size_t i = size_t(y) * size_t(width) + size_t(x);
                if (keys[i] >= kEmptyKey) {
                    std::memcpy(&nextRgb[3 * i], &rgb[3 * i], 3);
                    nextKeys[i] = 1.0f;
                    continue;
                }
                metEmpty = true;
                int sum[3] = {0, 0, 0};
                int count = 0;
                for (int ny = std::max(0, y - 1); ny <= std::min(height - 1, y + 1); ++ny)
                    for (int nx = std::max(0, x - 1); nx <= std::min(width - 1, x + 1); ++nx) {
                        const size_t j = size_t(ny) * size_t(width) + size_t(nx);
                        if (j == i || keys[j] <= kEmptyKey) continue;
                        for (int c = 0; c < 3; ++c) sum[c] += rgb[3 * j + size_t(c)];
                        ++count;
                    }
                if (count > 0) {
                    for (int c = 0; c < 3; ++c) nextRgb[3 * i + size_t(c)] = static_cast<unsigned char>(sum[c] / count);
                    nextKeys[i] = 1.0f;
                    filledOne = true;
                } else {
                    std::memset(&nextRgb[3 * i], 0, 3);
                    nextKeys[i] = 0.0f;
                }
            }
        std::memcpy(rgb, nextRgb.data(), nextRgb.size());
        std::memcpy(keys, nextKeys.data(), nextKeys.size() * sizeof(float));
        if (!metEmpty || !filledOne) break;
    }
}

// ============================================================================
// [SECTION] Export
// ============================================================================

namespace {

// Writes one object's image to path; false (with a warning) when the object's
// geometry is degenerate.
bool ExportObjectSculpty(TKSN_Object* object, const char* path)
{
    TKSN_Mesh* mesh = object->Mesh.get();
    std::vector<unsigned char> rgb(size_t(kSculptSize * kSculptSize * 3), 0);
    std::vector<float> keys(size_t(kSculptSize * kSculptSize), 0.0f);
    // Filled pixels are marked apart from their depth key: a point on the
    // box's minimum corner has key 0 and still fills its pixel.
    std::vector<float> filled(size_t(kSculptSize * kSculptSize), 0.0f);

    ResolveCurrentShape(mesh);
    const TSculptBox box = CurrentShapeBox(mesh);
    if (!(box.Size >= 1e-30f)) {
        OS.WarningMessage("The object '%s' has invalid geometry (all points are the same). Cannot export",
                          object->GetName());
        return false;
    }
    for (int p = 0; p < mesh->GetPCount(); ++p) {
        const TQORPolygon& polygon = mesh->Polygons[p];
        if (!polygon.Points) continue;
        for (int k = 1; k + 1 < polygon.Count; ++k) {
            const int corners[3] = {0, k, k + 1};
            for (int corner : corners) {
                const int v = polygon.Points[corner].V;
                const int vt = polygon.Points[corner].VT;
                if (v < 0 || v >= mesh->GetVCount() || vt < 0 || vt >= mesh->GetTVCount()) continue;
                const float* position = mesh->resolvedVertices + 3 * size_t(v);
                float n[3];
                for (int c = 0; c < 3; ++c) n[c] = (position[c] - box.Min[c]) / box.Size;
                const float key = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]) / kSqrt3;
                const int column = KSN_SculptyPixelOf(mesh->tVertices[2 * vt], kSculptSize);
                const int row = KSN_SculptyPixelOf(mesh->tVertices[2 * vt + 1], kSculptSize);
                if (column < 0 || column >= kSculptSize || row < 0 || row >= kSculptSize) continue;
                const size_t i = size_t(row) * kSculptSize + size_t(column);
                if (keys[i] > key) continue;
                keys[i] = key;
                filled[i] = 1.0f;
                for (int c = 0; c < 3; ++c) rgb[3 * i + size_t(c)] = ToByte(n[c]);
            }
        }
    }
    BlurEmptyRegionsInSculpty(rgb.data(), kSculptSize, kSculptSize, filled.data());

    // The file repeats every pixel in a 2 x 2 block.
    const int big = kSculptSize * kFileScale;
    TQORImageMap image;
    image.SetDimensions(big, big, 3);
    unsigned char* out = image.GetPixels();
    for (int y = 0; y < big; ++y)
        for (int x = 0; x < big; ++x)
            std::memcpy(out + 3 * (size_t(y) * size_t(big) + size_t(x)),
                        &rgb[3 * (size_t(y / kFileScale) * kSculptSize + size_t(x / kFileScale))], 3);
    if (!image.ExportFile(path)) {
        OS.WarningMessage("Cannot create the file %s", path);
        return false;
    }
    return true;
}

bool ExportSculpties()
{
    if (!OS.MessageYesNoB(false, "%s", kExperimentalQuestion)) return false;
    bool useMultiSelection = false, currentOnly = false;
    if (!Project->CheckForAllCurrentOrMultiSelectedObjects(useMultiSelection, currentOnly, nullptr, true,
                                                           Lang.GetText(kHighlightObjectText))) {
        if (Project->Objects) Project->Objects->collapsed = false;
        QOREvents_PushEvent(CommandShowObjects);
        QOREvents_PushEvent(CommandRefreshManager);
        return false;
    }
    std::string fileType = "PNG";   // the choice of the save dialog carries over to the next object
    std::unique_ptr<TQORNewStaticList<TKSN_Object*>> objects(Project->GetObjectList());
    TKSN_Object* current = Project->GetCurrentObject();
    for (TKSN_Object* object : *objects) {
        if (!object->Mesh || !Project->CanAffectObject(object)) continue;
        if (currentOnly && object != current) continue;
        if (useMultiSelection && !object->multiSelected) continue;
        TKSN_Mesh* mesh = object->Mesh.get();
        if (mesh->GetTVCount() <= 0) {
            OS.WarningMessage("The object '%s' has no UV's, so we can't export a sculpted prim for it", object->GetName());
            continue;
        }
        if (mesh->GetPCount() != kSculptSize * kSculptSize)
            OS.WarningMessage("The object '%s' appears not to be a 32x32 primitive, so the exported map may not be as "
                              "expected. Use at your own risk.",
                              object->GetName());

        const std::string proposal = ObjectNameForFile(object) + "-Sculpt." + fileType;
        std::vector<char> filter(KSN_APP_PATH_BUFFER, '\0');
        if (App) App->GetFileDialogDescriptionForAllExportImageFileTypes(filter.data(), int32_t(filter.size()));
        std::vector<char> chosen(TOS_PATH_BUFFER, '\0');
        std::vector<char> folder(TOS_PATH_BUFFER, '\0');
        if (App) std::snprintf(folder.data(), folder.size(), "%s", App->exportPath);
        int32_t typeIndex = 0;
        if (!OS.ExecuteSaveFileDialogMultipleTypes(chosen.data(), folder.data(), filter.data(), proposal.c_str(), true,
                                                   &typeIndex))
            return false;
        const std::string path = chosen.data();
        if (const std::string extension = ExtensionOf(path); !extension.empty()) fileType = extension;
        ExportObjectSculpty(object, path.c_str());
    }
    return true;
}

// ============================================================================
// [SECTION] Import
// ============================================================================

bool ImportSculpty()
{
    std::vector<char> filter(KSN_APP_PATH_BUFFER, '\0');
    if (App) App->GetFileDialogDescriptionForAllImportImageFileTypes(filter.data(), int32_t(filter.size()));
    std::vector<char> chosen(TOS_PATH_BUFFER, '\0');
    std::vector<char> folder(TOS_PATH_BUFFER, '\0');
    int32_t typeIndex = 0;
    if (!OS.ExecuteOpenFileDialogMultipleTypes(chosen.data(), folder.data(), filter.data(), "", true, &typeIndex))
        return false;
    TQORImageMap image;
    if (!image.ImportFile(chosen.data())) return false;
    const int width = image.GetWidth(), height = image.GetHeight(), depth = image.GetBytesPerPixel();
    const unsigned char* pixels = image.GetPixels();
    if (!pixels || width <= 0 || height <= 0 || depth <= 0) return false;

    TKSN_Object* object = Project->GetCurrentObject();
    TKSN_Mesh* mesh = Project->GetPolyMesh();
    if (!object || !mesh) return false;
    if (mesh->GetTVCount() <= 0) {
        OS.WarningMessage("The object '%s' has no UV's, so we can't import a sculpted prim for it", object->GetName());
        return false;
    }
    TKSN_Morph* morph = mesh->GetCurrentMorph();
    if (!morph) {
        // As the MOR export: nothing to write into, so nothing changes.
        if (App)
            App->WarningNoCurrentMorph(true);
        else
            OS.WarningMessage("%s", Lang.GetText(1019));
        return false;
    }

    ResolveCurrentShape(mesh);
    const TSculptBox box = CurrentShapeBox(mesh);
    const int vertexCount = mesh->GetVCount();
    std::vector<double> sums(size_t(vertexCount) * 3, 0.0);
    std::vector<int> counts(size_t(vertexCount), 0);
    for (int p = 0; p < mesh->GetPCount(); ++p) {
        const TQORPolygon& polygon = mesh->Polygons[p];
        if (!polygon.Points) continue;
        for (int k = 0; k < polygon.Count; ++k) {
            const int v = polygon.Points[k].V;
            const int vt = polygon.Points[k].VT;
            if (v < 0 || v >= vertexCount || vt < 0 || vt >= mesh->GetTVCount()) continue;
            const int column = std::clamp(KSN_SculptyPixelOf(mesh->tVertices[2 * vt], width), 0, width - 1);
            const int row = std::clamp(KSN_SculptyPixelOf(mesh->tVertices[2 * vt + 1], height), 0, height - 1);
            const unsigned char* pixel = pixels + size_t(depth) * (size_t(row) * size_t(width) + size_t(column));
            for (int c = 0; c < 3; ++c) {
                const unsigned char value = pixel[depth >= 3 ? c : 0];
                sums[3 * size_t(v) + size_t(c)] += box.Min[c] + double(value) / 255.0 * box.Size;
            }
            ++counts[size_t(v)];
        }
    }

    // Back from the transformed space into the mesh's own.
    mesh->GenerateTotalMatrix();
    const float* inverse = mesh->InverseTotalMatrix;
    mesh->BeginUsingMorph(morph);
    for (int v = 0; v < vertexCount && v < morph->GetVCount(); ++v) {
        float position[3] = {0, 0, 0};
        if (counts[size_t(v)] > 0) {
            for (int c = 0; c < 3; ++c) position[c] = float(sums[3 * size_t(v) + size_t(c)] / counts[size_t(v)]);
            if (!mesh->TotalMatrixIsIdentity) {
                const float x = position[0], y = position[1], z = position[2];
                for (int c = 0; c < 3; ++c)
                    position[c] = inverse[c] * x + inverse[4 + c] * y + inverse[8 + c] * z + inverse[12 + c];
            }
        }
        float* delta = morph->GetVertex(v);
        for (int c = 0; c < 3; ++c) delta[c] = position[c] - mesh->baseVertices[3 * v + c];
    }
    morph->OnChanged();
    mesh->EndUsingMorph(morph);
    mesh->ResolveMorphs(true);
    Project->OnFullSurfaceChanged();
    return true;
}

} // namespace

bool KSN_SecondLifeEvents(TQOREvent* event)
{
    if (!event || !Project) return false;
    switch (event->GetCommand()) {
    case 0:
        return ExportSculpties();
    case 1:
        return ImportSculpty();
    default:
        return false;
    }
}
