// Reading a large OBJ file: our whole import (LoadObjData into a new mesh,
// the mesh's build included) against tinyobjloader's LoadObj (no
// triangulation) of the same file, when tinyobjloader is installed.
//
// The file: a UV sphere of 700 x 1000 quads with texture vertices and
// normals (about 700,000 vertices, 130 MB), written once to the temporary
// folder and removed at exit.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "KSN_Mesh.h"
#include "KSN_ObjReader.h"

#if __has_include(<tiny_obj_loader.h>)
#include <tiny_obj_loader.h>
#define KSN_BENCH_TINYOBJ 1
#endif

namespace {

constexpr int kRings = 700;
constexpr int kSegments = 1000;

std::string SpherePath()
{
    static const std::string path = [] {
        const std::string p =
            (std::filesystem::temp_directory_path() / ("ksn_sphere_" + std::to_string(::getpid()) + ".obj")).string();
        FILE* f = std::fopen(p.c_str(), "w");
        if (!f) return p;
        std::fprintf(f, "# UV sphere, %d x %d quads\nmtllib sphere.mtl\nusemtl Skin\ng sphere\n", kRings, kSegments);
        const double pi = 3.14159265358979323846;
        for (int r = 0; r <= kRings; ++r)
            for (int s = 0; s <= kSegments; ++s) {
                const double theta = pi * r / kRings, phi = 2 * pi * s / kSegments;
                const double x = std::sin(theta) * std::cos(phi), y = std::cos(theta), z = std::sin(theta) * std::sin(phi);
                std::fprintf(f, "v %.6f %.6f %.6f\nvt %.6f %.6f\nvn %.6f %.6f %.6f\n", x, y, z, double(s) / kSegments,
                             1.0 - double(r) / kRings, x, y, z);
            }
        const int row = kSegments + 1;
        for (int r = 0; r < kRings; ++r)
            for (int s = 0; s < kSegments; ++s) {
                const int a = r * row + s + 1, b = a + 1, c = a + row + 1, d = a + row;
                std::fprintf(f, "f %d/%d/%d %d/%d/%d %d/%d/%d %d/%d/%d\n", a, a, a, d, d, d, c, c, c, b, b, b);
            }
        std::fclose(f);
        // The handler runs after the path's string is gone; it keeps its own copy.
        static char removeAtExit[4096];
        std::snprintf(removeAtExit, sizeof removeAtExit, "%s", p.c_str());
        std::atexit([] { std::remove(removeAtExit); });
        return p;
    }();
    return path;
}

void BM_LoadObjData(benchmark::State& state)
{
    const std::string path = SpherePath();
    for (auto _ : state) {
        auto mesh = std::make_unique<TKSN_Mesh>(nullptr);
        const bool ok = LoadObjData(path.c_str(), mesh.get(), false);
        if (!ok || mesh->polygonCount != kRings * kSegments) state.SkipWithError("the sphere did not load");
        benchmark::DoNotOptimize(mesh->baseVertices);
    }
}
BENCHMARK(BM_LoadObjData)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

#if KSN_BENCH_TINYOBJ
void BM_TinyObjLoader(benchmark::State& state)
{
    const std::string path = SpherePath();
    for (auto _ : state) {
        tinyobj::attrib_t attrib;
        std::vector<tinyobj::shape_t> shapes;
        std::vector<tinyobj::material_t> materials;
        std::string warn, err;
        const bool ok = tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, path.c_str(), nullptr, false);
        if (!ok) state.SkipWithError("tinyobjloader did not load the sphere");
        benchmark::DoNotOptimize(attrib.vertices.data());
    }
}
BENCHMARK(BM_TinyObjLoader)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
#endif

} // namespace
