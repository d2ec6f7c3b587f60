// Picture objects from PNG files written here, on a real GL context: size by
// aspect, the reuse of a map dropped before, placement at the drop point and
// the current object.
#include "KSN_ProjectEditTestSupport.h"
#include "KsnTestGL.h"
#include "KsnTestSupport.h"
#include "QORGL.h"
#include "QORImageMap.h"
#include "QORLanguage.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"
#include "QORString.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

using namespace ksn_edit_test;

constexpr int Size = 64;
int WindowHeight() { return Size; }

class PictureFixture : public ProjectEditFixture {
protected:
    TTestGLWindow Window;
    TBoxRecorder Boxes{TOSBoxAnswer::Yes};

    void SetUp() override
    {
        ProjectEditFixture::SetUp();
        ASSERT_TRUE(Window.Open(Size, Size)) << "no GLX display: run under xvfb-run";
        QORglut_AssignGetWindowHeight(WindowHeight);
        OS.SetDialogProvider(&Boxes);
        OS.AssignOnWarningMessage([](char*) {});
        for (TKSN_Viewport* viewport : App->viewports) viewport->Resize(0, 0, Size, Size);
    }
    void TearDown() override
    {
        OS.AssignOnWarningMessage(nullptr);
        QORglut_AssignGetWindowHeight(nullptr);
        ProjectEditFixture::TearDown();
    }
    std::string WritePng(const char* name, int width, int height)
    {
        TQORImageMap image;
        std::vector<unsigned char> pixels(size_t(width) * size_t(height) * 3, 200);
        image.CreateWithPixelData(pixels.data(), width, height, 3, false);
        const std::string path = (Root / name).string();
        EXPECT_TRUE(image.ExportFile(path.c_str()));
        return path;
    }
    TKSN_Object* Drop(const std::string& path, int x = Size / 2, int y = Size / 2)
    {
        const int before = Project->GetObjectCount();
        Project->CreatePictureObject(App->viewports[0], path.c_str(), x, y);
        std::unique_ptr<TQORNewStaticList<TKSN_Object*>> objects(Project->GetObjectList());
        EXPECT_EQ(int(objects->Count()), before + 1);
        return objects->Count() > before ? (*objects)[objects->Count() - 1] : nullptr;
    }
    static std::pair<float, float> Span(TKSN_Mesh* mesh, int axis)
    {
        float lo = 1e30f, hi = -1e30f;
        for (int v = 0; v < mesh->GetVCount(); ++v) {
            lo = std::min(lo, mesh->baseVertices[3 * v + axis]);
            hi = std::max(hi, mesh->baseVertices[3 * v + axis]);
        }
        return {lo, hi};
    }
    int MapCount()
    {
        std::unique_ptr<TQORNewStaticList<TQORMaterialMapSource*>> maps(Project->GetMapList());
        return maps ? int(maps->Count()) : 0;
    }
};

TEST_F(PictureFixture, TheSquareTakesTheImagesAspect)
{
    struct Case {
        const char* File;
        int Width, Height;
        float HalfWidth, HalfHeight;
    };
    for (Case c : {Case{"tall.png", 100, 300, 0.5f, 1.5f}, Case{"wide.png", 200, 100, 0.5f, 0.25f}}) {
        SCOPED_TRACE(c.File);
        TKSN_Object* object = Drop(WritePng(c.File, c.Width, c.Height));
        ASSERT_TRUE(object && object->Mesh);
        TKSN_Mesh* mesh = object->Mesh.get();
        EXPECT_EQ(std::string(object->GetName()), std::string(c.File).substr(0, std::string(c.File).size() - 4));
        EXPECT_TRUE(object->RenderDoubleSided);
        EXPECT_FALSE(object->SymmetryEnabled);
        EXPECT_TRUE(mesh->ForceColorTextureDisplay);
        EXPECT_FALSE(mesh->SubDsEnabled);
        EXPECT_EQ(mesh->GetPCount(), 1);
        EXPECT_EQ(mesh->GetTVCount(), 4);
        const auto [x0, x1] = Span(mesh, 0);
        const auto [y0, y1] = Span(mesh, 1);
        EXPECT_NEAR(x0, -c.HalfWidth, 1e-5f);
        EXPECT_NEAR(x1, c.HalfWidth, 1e-5f);
        EXPECT_NEAR(y0, -c.HalfHeight, 1e-5f);
        EXPECT_NEAR(y1, c.HalfHeight, 1e-5f);
        EXPECT_NEAR(mesh->boundsMin[1], -c.HalfHeight, 1e-5f);
        TQORMaterial* material = mesh->Materials->GetItemAs(0);
        ASSERT_NE(material, nullptr);
        EXPECT_STREQ(material->GetName(), "Material");
        EXPECT_NE(material->GetChannelFromName("Color")->GetMapID(), 0u);
    }
    EXPECT_EQ(std::count(Boxes.Boxes.begin(), Boxes.Boxes.end(), QORFormat(Lang.GetText(1220), "tall")), 0);
}

TEST_F(PictureFixture, DroppingTheSameImageAgainOffersItsMap)
{
    const std::string path = WritePng("ref.png", 16, 16);
    TKSN_Object* first = Drop(path);
    ASSERT_EQ(MapCount(), 1);
    TKSN_Object* second = Drop(path);
    const std::string question = QORFormat(Lang.GetText(1220), "ref");
    auto asked = [&] { return std::count(Boxes.Boxes.begin(), Boxes.Boxes.end(), question); };
    EXPECT_EQ(asked(), 1);
    EXPECT_EQ(MapCount(), 1) << "Yes binds the map already there";
    std::unique_ptr<TQORNewStaticList<TQORMaterialMapSource*>> maps(Project->GetMapList());
    TQORMaterialMapSource* map = (*maps)[0];
    EXPECT_NE(Project->GetMapFromSource(first->Mesh.get(), map, false), nullptr);
    EXPECT_NE(Project->GetMapFromSource(second->Mesh.get(), map, false), nullptr);

    Boxes.Answer = TOSBoxAnswer::No;
    Drop(path);
    EXPECT_EQ(asked(), 2);
    EXPECT_EQ(MapCount(), 2) << "No imports a second copy";
}

TEST_F(PictureFixture, ADropBeyondTheCornerLandsOnTheViewsEdge)
{
    Project->WorldSize = 1000.0f;   // no world clamp in the way
    TKSN_Object* object = Drop(WritePng("edge.png", 8, 8), Size * 10, -Size * 10);
    ASSERT_TRUE(object && object->Mesh);
    TKSN_Viewport* view = App->viewports[0];
    const float* p = object->Mesh->Transform_Pos;
    const float* m = view->CombinedMatrix;
    const float u = m[0] * p[0] + m[4] * p[1] + m[8] * p[2] + m[12];
    const float v = m[1] * p[0] + m[5] * p[1] + m[9] * p[2] + m[13];
    EXPECT_NEAR(u, 1.0f, 1e-4f);
    EXPECT_NEAR(std::fabs(v), 1.0f, 1e-4f);
    EXPECT_NEAR(object->Mesh->Transform_Scale[0], view->GetZoomFactor(), 1e-6f);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(object->Mesh->RotationMatrix[i], view->RotationMatrix[i]) << i;
}

TEST_F(PictureFixture, TheCurrentObjectStaysCurrentAndImportOptionsApply)
{
    TKSN_Object* picture = Drop(WritePng("first.png", 8, 8));
    EXPECT_EQ(Project->GetCurrentObject(), picture) << "with none current, the picture stays";

    Project->FlipUVsHorizontallyOnImport = true;
    TKSN_Object* mirrored = Drop(WritePng("second.png", 8, 8));
    EXPECT_EQ(Project->GetCurrentObject(), picture);
    ASSERT_TRUE(mirrored && mirrored->Mesh);
    EXPECT_EQ(mirrored->Mesh->tVertices[0], 1.0f) << "u mirrored";
    EXPECT_EQ(mirrored->Mesh->tVertices[2], 0.0f);
    EXPECT_EQ(mirrored->Mesh->tVertices[1], 0.0f);
}

} // namespace
