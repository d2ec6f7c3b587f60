// Re-rigging: joints follow the reshaped body parts.
#include "KSN_CR2TestSupport.h"

#include <cmath>

#include "KSN_CR2Rig.h"
#include "KSN_CR2Tree.h"
#include "QORLanguage.h"
#include "QORString.h"
#include "QORStringParser.h"

namespace cr2_test {
namespace {

class CR2RigTest : public CR2Test {
protected:
    TKSN_Mesh* Mesh = nullptr;
    std::unique_ptr<TQORCR2TreeNode> Tree;

    void Load(const std::vector<std::string>& lines)
    {
        WriteFigure(lines);
        TKSN_Object* object = Import();
        ASSERT_TRUE(object);
        Mesh = object->Mesh.get();
        Tree.reset(ImportCR2TreeOrThrow(Figure.c_str(), true));
        ASSERT_TRUE(Tree);
    }

    // Moves the resolved positions of vertices first..last through f.
    template <class F>
    void Reshape(int first, int last, F f)
    {
        std::vector<float> p(size_t(Mesh->vertexCount) * 3);
        Mesh->GetResolvedVertexArray(p.data(), Mesh->vertexCount);
        for (int v = first; v <= last; ++v) f(&p[size_t(3 * v)]);
        Mesh->SetResolvedVertexArray(p.data(), Mesh->vertexCount);
    }

    TQORCR2TreeNode* SecondSection(const char* actor)
    {
        TQORCR2TreeNode* first = Tree->Find("actor", actor, false);
        return first ? first->FindNext("actor", actor, false) : nullptr;
    }

    std::string Param(const char* actor, const char* entry)
    {
        TQORCR2TreeNode* node = SecondSection(actor)->Find(entry, nullptr, false);
        return node ? node->GetParameter() : "";
    }

    TQORCR2TreeNode* Channel(const char* actor, const char* channel)
    {
        return SecondSection(actor)->Find("channels", nullptr, false)->Find(channel, nullptr, false);
    }

    static std::vector<float> Numbers(const std::string& text)
    {
        std::vector<float> out;
        std::istringstream in(text);
        for (float f; in >> f;) out.push_back(f);
        return out;
    }

    static void ExpectNear(const std::vector<float>& actual, const std::vector<float>& expected)
    {
        ASSERT_EQ(actual.size(), expected.size());
        for (size_t i = 0; i < actual.size(); ++i) EXPECT_NEAR(actual[i], expected[i], 1e-5) << "number " << i;
    }

    // Every number of a subtree's entries in order, the commands' numbers included.
    static void Collect(TQORCR2TreeNode* node, std::vector<float>& out)
    {
        for (; node; node = node->GetNext()) {
            std::vector<float> n = Numbers(std::string(node->GetCommand()) + " " + node->GetParameter());
            out.insert(out.end(), n.begin(), n.end());
            Collect(node->GetChild(), out);
        }
    }
};

TEST_F(CR2RigTest, UnchangedMeshKeepsEveryNumber)
{
    Load(FigureLines());
    std::vector<float> before, after;
    Collect(Tree->GetChild(), before);
    Project->AutoRigCR2File(Mesh, Tree.get());
    Collect(Tree->GetChild(), after);
    ExpectNear(after, before);
    EXPECT_EQ(Param("hip:1", "origin"), "0.500000 0.500000 0.000000") << "rewritten with six decimals";
    EXPECT_TRUE(Warnings.empty()) << "BODY has no group and stays silent";
}

TEST_F(CR2RigTest, ReshapedPartMovesItsJoints)
{
    struct TCase {
        const char* name;
        void (*reshape)(float* p);
        std::vector<float> origin, endPoint, offset, twistStart, sphereRow1, sphereT1, sphereT2, centre;
    };
    const TCase cases[] = {
        {"twice as wide in x: x only", [](float* p) { p[0] *= 2.0f; }, {1.0f, 0.5f, 0.0f}, {1.0f, 1.0f, 0.0f},
         {0.5f}, {0.2f}, {2, 0, 0, 0}, {0.4f, 0.3f, 0.0f, 1.0f}, {1.8f, 0.1f, 0.0f, 1.0f}, {1.0f, 0.5f, 0.0f}},
        {"flat z moved: scale 1 there", [](float* p) { p[2] += 1.0f; }, {0.5f, 0.5f, 1.0f}, {0.5f, 1.0f, 1.0f},
         {0.25f}, {0.2f}, {1, 0, 0, 0}, {0.2f, 0.3f, 1.0f, 1.0f}, {0.9f, 0.1f, 1.0f, 1.0f}, {0.5f, 0.5f, 1.0f}},
        {"twice as tall in y about the old centre", [](float* p) { p[1] = 2.0f * p[1] - 0.5f; }, {0.5f, 0.5f, 0.0f},
         {0.5f, 1.5f, 0.0f}, {0.25f}, {-0.1f}, {1, 0, 0, 0}, {0.2f, 0.1f, 0.0f, 1.0f}, {0.9f, -0.3f, 0.0f, 1.0f},
         {0.5f, 0.5f, 0.0f}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        Load(FigureLines());
        Reshape(0, 3, c.reshape);
        Project->AutoRigCR2File(Mesh, Tree.get());
        ExpectNear(Numbers(Param("hip:1", "origin")), c.origin);
        ExpectNear(Numbers(Param("hip:1", "endPoint")), c.endPoint);
        ExpectNear(Numbers(Channel("hip:1", "xOffsetA")->Find("initValue", nullptr, false)->GetParameter()), c.offset);
        ExpectNear(Numbers(Channel("hip:1", "twistY")->Find("startPt", nullptr, false)->GetParameter()),
                   c.twistStart);
        TQORCR2TreeNode* row = Channel("hip:1", "bendX")->Find("sphereMatsRaw", nullptr, false)->GetNext();
        ExpectNear(Numbers(std::string(row->GetCommand()) + " " + row->GetParameter()), c.sphereRow1);
        for (int i = 0; i < 3; ++i) row = row->GetNext();
        ExpectNear(Numbers(std::string(row->GetCommand()) + " " + row->GetParameter()), c.sphereT1);
        for (int i = 0; i < 4; ++i) row = row->GetNext();
        ExpectNear(Numbers(std::string(row->GetCommand()) + " " + row->GetParameter()), c.sphereT2);
        ExpectNear(Numbers(Channel("hip:1", "bendX")->Find("center", nullptr, false)->GetParameter()), c.centre);
        // The chest did not change shape.
        ExpectNear(Numbers(Param("chest:1", "origin")), {0.5f, 1.5f, 0.0f});
    }
}

TEST_F(CR2RigTest, MalformedEntriesAndIncompleteMatricesStayAsTheyAre)
{
    std::vector<std::string> lines = FigureLines();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] == "origin 0.5 0.5 0") lines[i] = "origin 1e99 0.5 0";
        if (lines[i] == "0.9 0.1 0 1") {
            // The second matrix loses its last two rows and the centre after it.
            lines.erase(lines.begin() + long(i - 1), lines.begin() + long(i + 2));
            break;
        }
    }
    Load(lines);
    Reshape(0, 3, [](float* p) { p[0] *= 2.0f; });
    Project->AutoRigCR2File(Mesh, Tree.get());
    EXPECT_EQ(Param("hip:1", "origin"), "1e99 0.5 0");
    TQORCR2TreeNode* row = Channel("hip:1", "bendX")->Find("sphereMatsRaw", nullptr, false)->GetNext();
    EXPECT_STREQ(row->GetCommand(), "2.00000000") << "the complete first matrix is written";
    for (int i = 0; i < 4; ++i) row = row->GetNext();
    EXPECT_STREQ(row->GetCommand(), "1");
    EXPECT_STREQ(row->GetParameter(), "0 0 0");
    EXPECT_STREQ(row->GetNext()->GetCommand(), "0");
    EXPECT_EQ(row->GetNext()->GetNext(), nullptr);
}

TEST_F(CR2RigTest, ActorWithoutAGroupIsNamedAndLeftAlone)
{
    std::vector<std::string> lines = FigureLines();
    lines.insert(lines.end() - 1, {"actor ghost:1", "{", "origin 3 3 3", "}"});
    Load(lines);
    Reshape(0, 3, [](float* p) { p[0] *= 2.0f; });
    Project->AutoRigCR2File(Mesh, Tree.get());
    EXPECT_TRUE(HasWarning(QORFormat(Lang.GetText(1031), "ghost:1")));
    EXPECT_EQ(Tree->Find("actor", "ghost:1", false)->Find("origin", nullptr, false)->GetParameter(),
              std::string("3 3 3"));
}

TEST(CR2RotationMatrix, InverseUndoesTheRotation)
{
    float R[16], Rinv[16];
    GetRotationMatrix(R, 0.3f, -1.1f, 2.0f, false);
    GetRotationMatrix(Rinv, 0.3f, -1.1f, 2.0f, true);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) sum += R[4 * i + k] * Rinv[4 * k + j];
            EXPECT_NEAR(sum, i == j ? 1.0f : 0.0f, 1e-6f);
        }
    // Rz alone turns x toward -y for row vectors: (1, 0, 0)·Rz(a) = (c, -s, 0).
    GetRotationMatrix(R, 0.0f, 0.0f, 0.5f, false);
    EXPECT_NEAR(R[0], std::cos(0.5f), 1e-6f);
    EXPECT_NEAR(R[1], -std::sin(0.5f), 1e-6f);
}

}  // namespace
}  // namespace cr2_test
