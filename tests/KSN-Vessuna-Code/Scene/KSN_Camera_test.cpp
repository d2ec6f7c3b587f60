// The camera object's "camera" block through real files in a temp folder.
#include "KSN_Object.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

class CameraFiles : public ::testing::Test {
protected:
    fs::path Folder;
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "ksn_camera_XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        Folder = pattern;
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(Folder, ignored);
    }
    fs::path WriteText(const std::string& name, const std::string& text)
    {
        const fs::path path = Folder / name;
        std::ofstream(path) << text;
        return path;
    }
    static std::string ReadText(const fs::path& path)
    {
        std::ifstream in(path);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static void Load(TKSN_Camera& camera, const fs::path& path)
    {
        FILE* file = std::fopen(path.c_str(), "r");
        ASSERT_NE(file, nullptr);
        camera.LoadFromStream_Text(file);
        std::fclose(file);
    }
};

TEST_F(CameraFiles, BlockRoundTripsThroughAFile)
{
    TKSN_Camera camera;
    camera.SetName("Side");
    camera.FOV = 45.0f;
    camera.Aspect = 1.25f;
    camera.HorizScale = 0.5f;
    camera.VertScale = 2.0f;
    const fs::path path = Folder / "camera.txt";
    FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(camera.SaveToStream_Text(file, true));
    std::fclose(file);

    const std::string text = ReadText(path);
    EXPECT_EQ(text.rfind("camera\tSide\n{\n", 0), 0u) << text;
    EXPECT_NE(text.find("\tFOV\t45.00000000\n\tAspect\t1.25000000\n\tHorizScale\t0.50000000\n\tVertScale\t2.00000000\n}"),
              std::string::npos)
        << text;

    TKSN_Camera back;
    Load(back, path);
    EXPECT_STREQ(back.GetName(), "Side");
    EXPECT_EQ(back.FOV, 45.0f);
    EXPECT_EQ(back.Aspect, 1.25f);
    EXPECT_EQ(back.HorizScale, 0.5f);
    EXPECT_EQ(back.VertScale, 2.0f);
    EXPECT_FALSE(back.IsReadOnly());
}

TEST_F(CameraFiles, MissingAndMalformedValues)
{
    TKSN_Camera camera;
    Load(camera, WriteText("short.txt", "camera\tC\n{\n\tFOV\tabc\n\tVertScale\t3\n\tZoom\t7\n}\n"));
    EXPECT_EQ(camera.FOV, 0.0f);          // atof of a non-number
    EXPECT_EQ(camera.Aspect, 1.5f);       // not in the block: the default stays
    EXPECT_EQ(camera.HorizScale, 1.0f);
    EXPECT_EQ(camera.VertScale, 3.0f);
}

TEST_F(CameraFiles, AFailedWriteIsReportedAsFailure)
{
    TKSN_Camera camera;
    // Reading-only stream: every write fails, which must not pass for a saved camera.
    const fs::path path = WriteText("readonly.txt", "");
    FILE* file = std::fopen(path.c_str(), "r");
    ASSERT_NE(file, nullptr);
    EXPECT_FALSE(camera.SaveToStream_Text(file, true));
    std::fclose(file);
}

} // namespace
