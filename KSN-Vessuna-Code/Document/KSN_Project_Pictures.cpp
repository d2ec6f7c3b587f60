// Picture objects: an image file dropped on a viewport becomes a flat,
// double-sided square textured with the image, sized to its aspect ratio,
// placed where it was dropped and turned to face the viewport. Main thread;
// the viewport-dependent background work is stopped first because the view's
// matrices change.
#include "KSN_Project.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "KSN_Application.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_Startup_Services.h"
#include "KSN_Viewport.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"
#include "QORString.h"

namespace {

constexpr int kTextUseExistingMap = 1220;
constexpr int kCommandRefreshInterface = 432;

std::string ShortName(const char* path, bool removeExtension)
{
    std::vector<char> name(std::char_traits<char>::length(path) + 1, '\0');
    GetShortNameFromFileName(name.data(), path, removeExtension);
    return name.data();
}

void BuildSquare(TKSN_Mesh& mesh)
{
    static const float corners[4][3] = {{-0.5f, -0.5f, 0}, {0.5f, -0.5f, 0}, {0.5f, 0.5f, 0}, {-0.5f, 0.5f, 0}};
    static const float uvs[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    mesh.Create(4, 4, 4, 1);
    for (int k = 0; k < 4; ++k) {
        std::copy(corners[k], corners[k] + 3, mesh.baseVertices + 3 * k);
        std::copy(uvs[k], uvs[k] + 2, mesh.tVertices + 2 * k);
        mesh.VertexInfo[k].Flags = 0;
    }
    mesh.CopyBaseVerticesToResolvedVertices();
    mesh.Polygons[0].SetCount(4);
    for (int k = 0; k < 4; ++k) mesh.Polygons[0].Points[k] = {k, k};
    mesh.Polygons[0].Material = 0;
    mesh.PolygonFlags[0] = 0;
    TQORMaterial* material = KSN_NewMaterial("Material");
    material->CacheChannels();
    mesh.Materials->AddItem(material);
    mesh.ForceColorTextureDisplay = true;
    mesh.SubDsEnabled = false;
    mesh.SubDsSmoothed = false;
}

} // namespace

// The first map source, in tree order, named name (any case); null when none.
static TQORMaterialMapSource* FindMapByName(TKSN_Project& project, const std::string& name)
{
    std::unique_ptr<TQORNewStaticList<TQORMaterialMapSource*>> maps(project.GetMapList());
    if (!maps) return nullptr;
    for (TQORMaterialMapSource* map : *maps)
        if (map && QORstrcmpi(map->GetName(), name.c_str()) == 0) return map;
    return nullptr;
}

void TKSN_Project::CreatePictureObject(TKSN_Viewport* viewport, const char* path, int x, int y)
{
    if (!viewport || !path || !*path) return;
    CancelAllViewportDependentWorkhorses();

    TKSN_Object* object = CreateNewObject();
    auto owned = std::make_unique<TKSN_Mesh>(object);
    TKSN_Mesh* mesh = owned.get();
    object->Mesh = std::move(owned);
    BuildSquare(*mesh);
    mesh->AfterRawBuild();
    mesh->RecalculateNormals(false);
    object->RenderDoubleSided = true;
    object->SymmetryEnabled = false;
    object->SetName("%s", ShortName(path, true).c_str());

    TKSN_Object* previous = GetCurrentObject();
    SetCurrentObject(object);
    SetupMeshAfterImport(false);

    // A map of the same name was most likely made by an earlier drop of this
    // picture: offer it instead of a second copy.
    const std::string name = object->GetName();
    TQORMaterialMapSource* map = nullptr;
    if (!IsMapNameUnique(name.c_str(), nullptr, nullptr)) {
        if (TQORMaterialMapSource* existing = FindMapByName(*this, name)) {
            const std::string question = QORFormat(Lang.GetText(kTextUseExistingMap), existing->GetName());
            if (OS.MessageYesNo("%s", question.c_str())) map = existing;
        }
    }
    if (!map) map = ImportMap(path);
    TQORMaterial* material = mesh->Materials->GetItemAs(0);
    if (map && material) AssignMapToMaterialChannel(mesh, map, material, "Color");

    const float aspect = map ? map->GetAspect() : 0.0f;
    if (aspect > 1e-30f) {
        for (int k = 0; k < 4; ++k) mesh->baseVertices[3 * k + 1] /= aspect;
        mesh->CopyBaseVerticesToResolvedVertices();
        mesh->RecalculateNormals(false);
    }
    mesh->CalculateBounds();

    float min[3], max[3];
    GetDisplayBoundingBox(viewport, min, max);
    viewport->SetupMatrix(min, max);
    const float zoom = viewport->GetZoomFactor();

    // The drop point, clamped to the view, at depth 0, back into the world.
    const float u = std::clamp(viewport->XtoU(float(x)), -1.0f, 1.0f);
    const float v = std::clamp(viewport->YtoV(float(y)), -1.0f, 1.0f);
    const float* inv = viewport->InverseCombinedMatrix;
    float position[3];
    for (int c = 0; c < 3; ++c) position[c] = inv[c] * u + inv[4 + c] * v + inv[12 + c];
    for (int c = 0; c < 3; ++c)
        position[c] = std::clamp(position[c], WorldCentre[c] - 8.0f * WorldSize, WorldCentre[c] + 8.0f * WorldSize);

    for (int c = 0; c < 3; ++c) {
        mesh->Transform_Scale[c] = zoom;
        mesh->Transform_Pos[c] = position[c];
    }
    std::copy(viewport->RotationMatrix, viewport->RotationMatrix + 16, mesh->RotationMatrix);
    mesh->CalculateBounds();

    mesh->SendColorMapsToOpenGL();
    OnMapTopologyChanged();
    OnShapeChanged(object, true, true);
    if (previous) SetCurrentObject(previous);
    SetupAfterLoad();
    QOREvents_PushEvent(kCommandRefreshInterface);
}
