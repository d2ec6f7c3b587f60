// The committed default project is exactly what its maker writes, and the
// program's own reader takes it as the one closed, UV-mapped, white-mapped
// object that a first run shows.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_ProjectEditTestSupport.h"
#include "KsnTestWx.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"

namespace fs = std::filesystem;

[[maybe_unused]] static auto* const WxBase =
    ::testing::AddGlobalTestEnvironment(new TWxBaseEnvironment({"KSN_DefaultProject_tests"}));

namespace {

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const fs::path kCommitted = fs::path(KSN_SOURCE_DIR) / "Data" / "Default.Kestrune";

} // namespace

TEST(DefaultProjectMaker, WritesExactlyTheCommittedFile)
{
    const fs::path out = fs::temp_directory_path() / ("ksn_default_" + std::to_string(::getpid()) + ".Kestrune");
    fs::remove(out);
    const std::string command = std::string("timeout 60 '" KSN_MAKER "' '") + out.string() + "' 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string made = ReadAll(out), committed = ReadAll(kCommitted);
    fs::remove(out);
    ASSERT_FALSE(committed.empty()) << kCommitted;
    // A byte-for-byte comparison: a change of the writer or the maker shows
    // here until the file is made again (MakeDefaultProject Data/Default.Kestrune).
    EXPECT_TRUE(made == committed) << "made " << made.size() << " bytes, committed " << committed.size();
}

TEST(DefaultProjectMaker, RefusesAMissingOrUnwritableOutput)
{
    EXPECT_NE(std::system("'" KSN_MAKER "' 2>/dev/null"), 0);
    EXPECT_NE(std::system("timeout 60 '" KSN_MAKER "' /nonexistent-folder/x.Kestrune 2>/dev/null"), 0);
}

class DefaultProjectFile : public ksn_edit_test::ProjectEditFixture {};

TEST_F(DefaultProjectFile, LoadsAsOneClosedUVMappedObjectWithAWhiteColourMap)
{
    ASSERT_TRUE(Project->LoadProject_v2(kCommitted.c_str()));
    std::unique_ptr<TQORNewStaticList<TKSN_Object*>> objects(Project->GetObjectList());
    ASSERT_TRUE(objects);
    ASSERT_EQ(objects->Count(), 1);
    TKSN_Object* ball = (*objects)[0];
    ASSERT_TRUE(ball && ball->Mesh);
    TKSN_Mesh* mesh = ball->Mesh.get();
    EXPECT_STREQ(ball->GetName(), "Ball");
    const int polygons = mesh->GetPCount();
    EXPECT_GE(polygons, 2000);
    EXPECT_LE(polygons, 5000);

    // Closed: every edge is shared by exactly two quads, once in each direction.
    std::set<std::pair<int, int>> directed;
    for (int p = 0; p < polygons; ++p) {
        const TQORPolygon& quad = mesh->Polygons[p];
        ASSERT_EQ(quad.Count, 4);
        for (int k = 0; k < 4; ++k) {
            const int a = quad.Points[k].V, b = quad.Points[(k + 1) % 4].V;
            EXPECT_TRUE(directed.insert({a, b}).second) << "edge used twice in one direction";
            const float* tv = mesh->tVertices + 2 * quad.Points[k].VT;
            EXPECT_TRUE(tv[0] >= 0 && tv[0] <= 1 && tv[1] >= 0 && tv[1] <= 1);
        }
    }
    for (const auto& [a, b] : directed) EXPECT_TRUE(directed.count({b, a})) << a << "-" << b << " is open";

    // One material whose Color channel is bound to a white 512 x 512 map.
    ASSERT_EQ(mesh->Materials->GetItemCount(), 1);
    std::unique_ptr<TQORNewStaticList<TQORMaterialMapSource*>> maps(Project->GetMapList());
    ASSERT_TRUE(maps);
    ASSERT_EQ(maps->Count(), 1);
    TQORMaterialMapSource* map = (*maps)[0];
    EXPECT_EQ(map->GetWidth(), 512);
    EXPECT_EQ(map->GetHeight(), 512);
    const unsigned char* pixels = map->GetPixels();
    ASSERT_TRUE(pixels);
    int notWhite = 0;
    for (int i = 0; i < 512 * 512 * 3; ++i) notWhite += pixels[i] != 255;
    EXPECT_EQ(notWhite, 0);
}
