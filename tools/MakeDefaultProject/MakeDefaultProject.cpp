// Writes the default project: one closed, UV-mapped ball of 6 x 24 x 24
// quads (a subdivided cube pushed out onto the unit sphere), with one
// material "Default" whose Color channel carries a white 512 x 512 map.
//
// Each cube face takes one cell of a 3 x 2 grid of the texture, so the
// seams run along the cube's edges; positions are shared across the seams,
// texture vertices are not.
#include "KSN_Application.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_Project.h"
#include "OS.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"
#include "QORVirtualMemory.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <unistd.h>

#include <wx/init.h>

namespace {

constexpr int kCells = 24;   // quads along a cube edge
constexpr int kMapSize = 512;

// Answers every box with its default and shows what it said, so the maker
// never waits for a user.
class TPrintingProvider : public TOSDialogProvider {
public:
    TOSBoxAnswer ShowBox(TOSBoxKind, const char*, const char* text, bool defaultYes) override
    {
        std::fprintf(stderr, "MakeDefaultProject: %s\n", text ? text : "");
        return defaultYes ? TOSBoxAnswer::Yes : TOSBoxAnswer::No;
    }
    bool PickColour(unsigned char*) override { return false; }
    bool SelectFile(const TOSFileDialogRequest&, std::string&) override { return false; }
    bool SetClipboardText(const std::string&) override { return false; }
    bool GetClipboardText(std::string&) override { return false; }
};

struct TFace {
    float origin[3], u[3], v[3];   // corner and the two edge directions (each 2 long)
    int cellX, cellY;              // cell of the 3 x 2 texture grid
};

// Outward-facing (counter-clockwise seen from outside) cube faces.
const TFace kFaces[6] = {
    {{1, -1, 1}, {0, 0, -2}, {0, 2, 0}, 0, 0},    // +x
    {{-1, -1, -1}, {0, 0, 2}, {0, 2, 0}, 1, 0},   // -x
    {{-1, 1, 1}, {2, 0, 0}, {0, 0, -2}, 2, 0},    // +y
    {{-1, -1, -1}, {2, 0, 0}, {0, 0, 2}, 0, 1},   // -y
    {{-1, -1, 1}, {2, 0, 0}, {0, 2, 0}, 1, 1},    // +z
    {{1, -1, -1}, {-2, 0, 0}, {0, 2, 0}, 2, 1},   // -z
};

void BuildBall(TKSN_Mesh* mesh)
{
    const int perFace = (kCells + 1) * (kCells + 1);
    const int quads = 6 * kCells * kCells;
    // Cube-grid points on the shared edges are welded by their integer grid
    // coordinates, which are exact.
    std::map<std::tuple<int, int, int>, int> welded;
    std::vector<float> positions;
    std::vector<int> vertexOf(6 * perFace);
    for (int f = 0; f < 6; ++f)
        for (int j = 0; j <= kCells; ++j)
            for (int i = 0; i <= kCells; ++i) {
                int g[3];
                for (int a = 0; a < 3; ++a)
                    g[a] = int(std::lround((kFaces[f].origin[a] + kFaces[f].u[a] * i / kCells +
                                            kFaces[f].v[a] * j / kCells) * kCells));
                auto key = std::make_tuple(g[0], g[1], g[2]);
                auto found = welded.find(key);
                if (found == welded.end()) {
                    found = welded.emplace(key, int(positions.size() / 3)).first;
                    const double x = double(g[0]) / kCells, y = double(g[1]) / kCells, z = double(g[2]) / kCells;
                    const double length = std::sqrt(x * x + y * y + z * z);
                    positions.push_back(float(x / length));
                    positions.push_back(float(y / length));
                    positions.push_back(float(z / length));
                }
                vertexOf[f * perFace + j * (kCells + 1) + i] = found->second;
            }
    const int vertexCount = int(positions.size() / 3);
    mesh->Create(vertexCount, 6 * perFace, vertexCount, quads);
    for (int k = 0; k < 3 * vertexCount; ++k) mesh->baseVertices[k] = positions[k];
    // A small margin keeps each face's painting off its neighbours' cells.
    const float margin = 2.0f / kMapSize;
    for (int f = 0; f < 6; ++f)
        for (int j = 0; j <= kCells; ++j)
            for (int i = 0; i <= kCells; ++i) {
                const int t = f * perFace + j * (kCells + 1) + i;
                const float cellW = 1.0f / 3.0f, cellH = 0.5f;
                mesh->tVertices[2 * t] =
                    kFaces[f].cellX * cellW + margin + (cellW - 2 * margin) * float(i) / kCells;
                mesh->tVertices[2 * t + 1] =
                    kFaces[f].cellY * cellH + margin + (cellH - 2 * margin) * float(j) / kCells;
            }
    int p = 0;
    for (int f = 0; f < 6; ++f)
        for (int j = 0; j < kCells; ++j)
            for (int i = 0; i < kCells; ++i, ++p) {
                const int corners[4] = {j * (kCells + 1) + i, j * (kCells + 1) + i + 1,
                                        (j + 1) * (kCells + 1) + i + 1, (j + 1) * (kCells + 1) + i};
                TQORPolygon& quad = mesh->Polygons[p];
                quad.SetCount(4);
                for (int k = 0; k < 4; ++k) {
                    quad.Points[k].V = vertexOf[f * perFace + corners[k]];
                    quad.Points[k].VT = f * perFace + corners[k];
                }
                quad.Material = 0;
            }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: MakeDefaultProject <output file>\n");
        return 2;
    }
    const std::filesystem::path output = std::filesystem::absolute(argv[1]);
    // Folders, images and the temporary folder come from the toolkit's base.
    wxInitializer toolkit(argc, argv);
    if (!toolkit.IsOk()) return 1;

    // The project needs a main folder with one brush shape; a private
    // temporary one keeps the output independent of the machine.
    static TPrintingProvider provider;
    OS.SetDialogProvider(&provider);
    const std::filesystem::path root =
        std::filesystem::temp_directory_path() / ("ksn_make_default_" + std::to_string(::getpid()));
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root / "main" / "BrushShapes" / "01-Simple");
    std::filesystem::create_directories(root / "main" / "Data");
    std::filesystem::create_directories(root / "home");
    { FILE* f = std::fopen((root / "main" / "BrushShapes" / "01-Simple" / "Simple-0001.png").c_str(), "wb");
      if (f) { std::fputs("png", f); std::fclose(f); } }
    ::setenv("HOME", (root / "home").c_str(), 1);
    OS.MainPath = (root / "main").generic_string() + "/";
    QORVirtualMemory_Initialize();

    new TKSN_Application("Kestrune");
    Project = new TKSN_Project();
    QORDefaultTextureSize = kMapSize;

    TKSN_Object* object = Project->CreateNewObject();
    object->SetName("%s", "Ball");
    auto* mesh = new TKSN_Mesh(object);
    object->Mesh.reset(mesh);
    BuildBall(mesh);
    TQORMaterial* material = KSN_NewMaterial("Default");
    mesh->Materials->AddItem(material);
    mesh->AfterRawBuild();
    TQORMaterialMapSource* map = Project->CreateMapSource();
    map->SetName("%s", "Ball_Color.png");
    Project->AssignMapToMaterialChannel(mesh, map, material, "Color");
    Project->SetCurrentObject(object);

    const bool written = Project->SaveProject_v2(output.c_str(), false);
    delete Project;
    Project = nullptr;
    delete App;
    App = nullptr;
    QORVirtualMemory_Cleanup();
    std::filesystem::remove_all(root);
    if (!written) {
        std::fprintf(stderr, "MakeDefaultProject: cannot write %s\n", output.c_str());
        return 1;
    }
    return 0;
}
