// The application services: standard viewports and matrices, large-block
// reallocation, warnings, channel labels and display colours.
#include "KSN_ShellTestSupport.h"

#include <sys/resource.h>

#include <csignal>
#include <cstring>

#include "KSN_Viewport.h"
#include "QORLanguage.h"
#include "QORMemory.h"

namespace {

class AppServicesTest : public ShellFixture {
protected:
    void SetUp() override
    {
        ShellFixture::SetUp();
        App = new TKSN_Application("Kestrune");
    }
};

TEST_F(AppServicesTest, ResetViewportsGivesTheStandardLayout)
{
    App->viewports[2]->SetName("renamed");
    App->viewportLayout = 2;
    App->ResetViewports();
    struct Case {
        std::string name;
        TKSN_StandardView view;
        bool locked, main;
        const float* matrix;
    } cases[] = {
        {Lang.GetText(120), TKSN_StandardView::Front, false, true, FrontMatrix},
        {std::string(Lang.GetText(121)) + " 1", TKSN_StandardView::Top, true, false, TopMatrix},
        {std::string(Lang.GetText(121)) + " 2", TKSN_StandardView::Left, true, false, LeftMatrix},
        {std::string(Lang.GetText(121)) + " 3", TKSN_StandardView::Back, true, false, BackMatrix},
    };
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const Case& c = cases[i];
        TKSN_Viewport* v = App->viewports[i];
        EXPECT_EQ(v->GetName(), c.name);
        EXPECT_EQ(v->index, i);
        EXPECT_EQ(v->layerMask1, 1u << (20 + i));
        EXPECT_EQ(v->layerMask2, 1u << (20 + i));
        EXPECT_EQ(v->furtherMask1, 1u << (24 + i));
        EXPECT_EQ(v->standardView, c.view);
        EXPECT_EQ(v->IsLocked(), c.locked);
        EXPECT_EQ(v->GetAutoView(), c.locked);
        EXPECT_EQ(v->layer.IsMainViewportSettings, c.main);
        EXPECT_EQ((v->layer.DisplayFlags & TKSN_Layer::UseViewportDefault) != 0, !c.main);
        EXPECT_EQ(std::memcmp(v->RotationMatrix, c.matrix, sizeof(float) * 16), 0);
        EXPECT_EQ(std::memcmp(v->DefaultRotationMatrix, c.matrix, sizeof(float) * 16), 0);
    }
    EXPECT_STREQ(App->viewports[2]->GetName(), (std::string(Lang.GetText(121)) + " 2").c_str());
    EXPECT_EQ(App->viewportLayout, 5);
}

TEST_F(AppServicesTest, StandardMatricesFollowTheBaseOrientation)
{
    float out[16];
    App->GetRightMatrix(out);
    EXPECT_EQ(std::memcmp(out, RightMatrix, sizeof out), 0);
    // A base that turns the left view into the front view.
    std::memcpy(App->baseOrientationMatrix, RightMatrix, sizeof out);
    App->GetLeftMatrix(out);
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(out[i], FrontMatrix[i]) << i;
    App->GetBottomMatrix(out);
    float expected[16] = {};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            for (int k = 0; k < 4; ++k) expected[r * 4 + c] += RightMatrix[r * 4 + k] * BottomMatrix[k * 4 + c];
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(out[i], expected[i]) << i;
}

TEST_F(AppServicesTest, SmartReallocKeepsContentsOnEveryPath)
{
    constexpr uint32_t MiB = 1u << 20;
    EXPECT_EQ(App->SmartRealloc(QORalloc(50 * MiB), 50 * MiB, 0, false), nullptr);

    auto* small = static_cast<unsigned char*>(QORalloc(1000));
    for (int i = 0; i < 1000; ++i) small[i] = static_cast<unsigned char>(i);
    small = static_cast<unsigned char*>(App->SmartRealloc(small, 1000, 2000, false));
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(small[999], static_cast<unsigned char>(999));
    QORfree(small);

    void* direct = App->SmartRealloc(nullptr, 0, 200 * MiB, false);   // old size 0: allocated directly
    ASSERT_NE(direct, nullptr);
    QORfree(direct);

    // 150 MiB grown to 200 MiB goes through a temporary file and keeps the first 150 MiB.
    auto* big = static_cast<uint32_t*>(QORalloc(150 * MiB));
    const size_t words = 150 * MiB / 4;
    for (size_t i = 0; i < words; ++i) big[i] = uint32_t(i * 2654435761u);
    big = static_cast<uint32_t*>(App->SmartRealloc(big, 150 * MiB, 200 * MiB, false));
    ASSERT_NE(big, nullptr);
    bool same = true;
    for (size_t i = 0; i < words && same; ++i) same = big[i] == uint32_t(i * 2654435761u);
    EXPECT_TRUE(same);
    QORfree(big);
}

// The disk takes only 1 MiB of a file from now on.
void LimitFileSizeToOneMiB()
{
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {};
    limit.rlim_cur = limit.rlim_max = 1u << 20;
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

TEST_F(AppServicesTest, SmartReallocEndsTheProgramWhenTheTemporaryFileFails)
{
    constexpr uint32_t MiB = 1u << 20;
    EXPECT_EXIT(
        {
            ::setenv("TMPDIR", Root.c_str(), 1);
            LimitFileSizeToOneMiB();
            void* block = QORalloc(100 * MiB);
            std::memset(block, 1, 100 * MiB);
            App->SmartRealloc(block, 100 * MiB, 101 * MiB, false);
        },
        ::testing::ExitedWithCode(1), "");
}

TEST_F(AppServicesTest, WarningsAndMessages)
{
    App->WarningDeformingBaseVertices();
    App->WarningDeformingBaseVertices();
    ASSERT_EQ(g_PanelTexts.size(), 1u);
    EXPECT_EQ(g_PanelTexts[0], Lang.GetText(1300));

    App->WarningNoCurrentObject(true);
    ASSERT_EQ(QOREvents_GetEventCount(), 1);
    EXPECT_EQ(QOREvents_PeekEvent(0)->GetCommand(), 10);
    App->WarningNoCurrentMorph(true);
    ASSERT_EQ(QOREvents_GetEventCount(), 2);
    EXPECT_EQ(QOREvents_PeekEvent(1)->GetCommand(), 10);
    EXPECT_EQ(QOREvents_PeekEvent(1)->intParameters[0], 1);
    App->WarningNoCurrentObject(false);
    EXPECT_EQ(QOREvents_GetEventCount(), 2);

    g_PanelTexts.clear();
    App->PrintMessageForBoolChange(true, "Symmetry %s");
    App->PrintMessageForBoolChange(false, "Symmetry %s");
    App->PrintMessageForBoolChange(false, "Bad %d %s");   // shown as it is, never formatted
    ASSERT_EQ(g_PanelTexts.size(), 3u);
    EXPECT_EQ(g_PanelTexts[0], std::string("Symmetry ") + Lang.GetText(1463));
    EXPECT_EQ(g_PanelTexts[1], std::string("Symmetry ") + Lang.GetText(1464));
    EXPECT_EQ(g_PanelTexts[2], "Bad %d %s");
}

TEST_F(AppServicesTest, ChannelLabels)
{
    struct Case {
        const char* channel;
        int full, truncated;   // text ids, -1: the name itself
    } cases[] = {{"Color", 587, 1129},        {"Bump", 589, 1130},     {"Transparency", 593, 1127},
                 {"Displacement", 603, 1128}, {"Specular", 595, 1131}, {"Ambient", 601, 1132},
                 {"Glossy", -1, -1},          {"color", -1, -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.channel);
        EXPECT_STREQ(App->GetDisplayNameForChannel(c.channel), c.full < 0 ? c.channel : Lang.GetText(c.full));
        EXPECT_STREQ(App->GetTruncatedDisplayNameForChannel(c.channel),
                     c.truncated < 0 ? c.channel : Lang.GetText(c.truncated));
    }
}

TEST_F(AppServicesTest, SelectionColors)
{
    const float base[3] = {0.2f, 0.4f, 0.6f};
    struct Case {
        bool plain;
        float weight;
        float expected[3];
    } cases[] = {
        {false, 0.5f, {1, 0, 0}},         {false, -1.0f, {0.2f, 0.4f, 0.6f}}, {false, 2.0f, {1, 1, 0}},
        {false, 0.25f, {0.6f, 0.2f, 0.3f}}, {false, 0.75f, {1, 0.5f, 0}},      {true, 0.0f, {0.05f, 0.1f, 0.15f}},
        {true, 1.0f, {0.2f, 0.4f, 0.6f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.weight);
        App->plainSelectionColor = c.plain;
        float out[3];
        App->GetSelectionColor(out, c.weight, base);
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(out[k], c.expected[k], 1e-6f);
    }
}

TEST_F(AppServicesTest, TextureGridColors)
{
    struct Case {
        float brightness;
        float grid1, grid2;
        unsigned char expected1, expected2;
    } cases[] = {{1.0f, 1.0f, 0.0f, 191, 0}, {0.0f, 1.0f, 0.5f, 143, 71}, {1.0f, 2.0f, -1.0f, 255, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.brightness);
        QORglutWigits_InterfaceBrightness = c.brightness;
        for (int k = 0; k < 3; ++k) {
            App->textureGridColor1[k] = c.grid1;
            App->textureGridColor2[k] = c.grid2;
        }
        unsigned char a[3], b[3];
        App->GetBackgroundGridColorsForTextures(a, b);
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(a[k], c.expected1);
            EXPECT_EQ(b[k], c.expected2);
        }
    }
    QORglutWigits_InterfaceBrightness = 1.0f;
}

TEST_F(AppServicesTest, CleanTemporaryMemoryReleasesTheDepthBuffers)
{
    KSN_ResizeDepthBuffer(App->paintDepthBuffer, 64, 32);
    KSN_ResizeDepthBuffer(App->viewDepthBuffer, 64, 32);
    EXPECT_EQ(App->viewDepthBuffer->GetAllocatedBytes(), 64u * 32u * 4u);
    App->CleanTemporaryMemory();
    EXPECT_EQ(App->paintDepthBuffer->width, 0);
    EXPECT_EQ(App->viewDepthBuffer->GetAllocatedBytes(), 0u);
}

} // namespace
