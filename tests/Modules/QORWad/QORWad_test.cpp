#include "QORWad.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct TEntry {
    std::string Name;
    std::string Data;
};

// One container entry: a 256-byte zero-padded name, a little-endian length
// and the data.
std::string EncodeEntry(const std::string& name, uint32_t length, const std::string& data)
{
    std::string bytes(TQORWadFile::NameSize, '\0');
    bytes.replace(0, name.size(), name);
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(char((length >> shift) & 0xFF));
    return bytes + data;
}

std::string EncodeContainer(const std::vector<TEntry>& entries)
{
    std::string bytes;
    for (const TEntry& e : entries) bytes += EncodeEntry(e.Name, uint32_t(e.Data.size()), e.Data);
    return bytes;
}

std::string ReadWholeFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class QORWadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        // The process id keeps programs running side by side (other build trees) apart.
        root = fs::temp_directory_path() /
               (std::string("QORWad_test_") + std::to_string(::getpid()) + "_" + info->name());
        fs::remove_all(root);
        folder = root / "out";
        fs::create_directories(folder);
        prefix = folder.string() + "/";
    }
    void TearDown() override { fs::remove_all(root); }

    bool OpenContainer(TQORWadFile& wad, const std::string& bytes)
    {
        const fs::path container = root / "Graphics.dat";
        std::ofstream(container, std::ios::binary) << bytes;
        return wad.Open(container.string().c_str());
    }

    // Extracts every entry until PopFile says no; the files are left in place.
    std::vector<std::pair<std::string, std::string>> PopAll(TQORWadFile& wad)
    {
        std::vector<std::pair<std::string, std::string>> popped;
        char name[TQORWadFile::NameSize];
        char path[TQORWadFile::PathBufferSize];
        while (wad.PopFile(prefix.c_str(), name, path)) popped.emplace_back(name, path);
        lastName = name;
        lastPath = path;
        return popped;
    }

    std::vector<std::string> FilesUnder(const fs::path& dir)
    {
        std::vector<std::string> names;
        for (const auto& e : fs::recursive_directory_iterator(dir))
            if (e.is_regular_file()) names.push_back(fs::relative(e.path(), dir).generic_string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path root, folder;
    std::string prefix, lastName, lastPath;
};

TEST_F(QORWadTest, EmptyContainerGivesNothing)
{
    TQORWadFile wad;
    ASSERT_TRUE(OpenContainer(wad, ""));
    char name[TQORWadFile::NameSize] = "stale";
    char path[TQORWadFile::PathBufferSize] = "stale";
    EXPECT_FALSE(wad.PopFile(prefix.c_str(), name, path));
    EXPECT_STREQ(name, "");
    EXPECT_STREQ(path, "");
    EXPECT_TRUE(FilesUnder(folder).empty());
}

TEST_F(QORWadTest, ExtractsEveryEntryIntoDistinctFiles)
{
    const std::string png("\x89PNG\r\n\x1a\n\0\xff", 10);
    const std::vector<TEntry> entries = {
        {"PanButton.png", png}, {"PanButton.png", "second"}, {"Empty.png", ""}, {"NoExtension", "x"}};
    TQORWadFile wad;
    ASSERT_TRUE(OpenContainer(wad, EncodeContainer(entries)));
    const auto popped = PopAll(wad);

    ASSERT_EQ(popped.size(), entries.size());
    const char* files[] = {"0PanButton.png", "1PanButton.png", "0Empty.png", "0NoExtension"};
    for (size_t i = 0; i < entries.size(); ++i) {
        SCOPED_TRACE(entries[i].Name);
        EXPECT_EQ(popped[i].first, entries[i].Name);
        EXPECT_EQ(popped[i].second, prefix + files[i]);
        EXPECT_EQ(ReadWholeFile(popped[i].second), entries[i].Data);
    }
    EXPECT_TRUE(fs::exists(popped[2].second));
    EXPECT_EQ(fs::file_size(popped[2].second), 0u);
    // The normal end of the container.
    EXPECT_EQ(lastName, "");
    EXPECT_EQ(lastPath, "");
}

TEST_F(QORWadTest, NeverReplacesAnExistingFile)
{
    std::ofstream(folder / "0Lock.png") << "keep me";
    TQORWadFile wad;
    ASSERT_TRUE(OpenContainer(wad, EncodeContainer({{"Lock.png", "new"}})));
    const auto popped = PopAll(wad);
    ASSERT_EQ(popped.size(), 1u);
    EXPECT_EQ(popped[0].second, prefix + "1Lock.png");
    EXPECT_EQ(ReadWholeFile(folder / "0Lock.png"), "keep me");
    EXPECT_EQ(ReadWholeFile(folder / "1Lock.png"), "new");
}

TEST_F(QORWadTest, ManyEntriesOfOneNameResumeAfterTheLastNumber)
{
    // The search for a free number resumes after the last one handed out for
    // that name instead of probing from 0 again, so thousands of entries of
    // one name take linear time. Seen from outside: a number freed behind the
    // search is not reused, while files already there are still skipped.
    std::ofstream(folder / "2Same.png") << "keep me";
    std::vector<TEntry> entries;
    for (int i = 0; i < 2000; ++i) entries.push_back({i % 2 ? "Same.png" : "Other.png", std::to_string(i)});
    TQORWadFile wad;
    ASSERT_TRUE(OpenContainer(wad, EncodeContainer(entries)));
    char name[TQORWadFile::NameSize];
    char path[TQORWadFile::PathBufferSize];
    struct Step { const char* leaf; int number; bool removeBefore; };
    const Step steps[] = {
        {"Other.png", 0, false}, {"Same.png", 0, false}, {"Other.png", 1, false},
        {"Same.png", 1, false},  {"Other.png", 2, false}, {"Same.png", 3, false},   // 2Same.png was there
        {"Other.png", 3, true},  {"Same.png", 4, false},                             // 0Other.png removed: not reused
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(std::string(step.leaf) + " " + std::to_string(step.number));
        if (step.removeBefore) fs::remove(folder / "0Other.png");
        ASSERT_TRUE(wad.PopFile(prefix.c_str(), name, path));
        EXPECT_EQ(std::string(path), prefix + std::to_string(step.number) + step.leaf);
    }
    const auto rest = PopAll(wad);
    ASSERT_EQ(rest.size(), entries.size() - std::size(steps));
    EXPECT_EQ(rest.back().second, prefix + "1000Same.png");   // 1,000 entries, 2 skipped
    EXPECT_EQ(ReadWholeFile(rest.back().second), "1999");
    EXPECT_EQ(ReadWholeFile(folder / "2Same.png"), "keep me");
}

TEST_F(QORWadTest, EntryNamesCannotLeaveTheFolder)
{
    const std::vector<TEntry> entries = {
        {"../Escape.png", "a"}, {"sub/dir/Deep.png", "b"}, {"..\\..\\Win.png", "c"}, {"..", "d"}, {"/abs/Root.png", "e"}};
    TQORWadFile wad;
    ASSERT_TRUE(OpenContainer(wad, EncodeContainer(entries)));
    const auto popped = PopAll(wad);
    ASSERT_EQ(popped.size(), entries.size());
    EXPECT_EQ(popped[0].first, "../Escape.png") << "name keeps the entry name as stored";

    EXPECT_EQ(FilesUnder(root), (std::vector<std::string>{"Graphics.dat", "out/0", "out/0Deep.png", "out/0Escape.png",
                                                          "out/0Root.png", "out/0Win.png"}));
}

TEST_F(QORWadTest, DamagedContainersFailCleanly)
{
    const std::string good = EncodeEntry("Good.png", 3, "abc");
    struct Case {
        const char* what;
        std::string bytes;
    };
    const Case cases[] = {
        {"data cut short", good + EncodeEntry("Cut.png", 100, "only ten b")},
        {"length cut short", good + EncodeEntry("Cut.png", 0, "").substr(0, TQORWadFile::NameSize + 2)},
        {"name cut short", good + std::string("Cut.png\0\0", 9)},
        {"name without terminator", good + std::string(TQORWadFile::NameSize, 'A') + std::string("\0\0\0\0", 4)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(folder);
        fs::create_directories(folder);
        TQORWadFile wad;
        ASSERT_TRUE(OpenContainer(wad, c.bytes));
        const auto popped = PopAll(wad);
        ASSERT_EQ(popped.size(), 1u);
        EXPECT_EQ(ReadWholeFile(popped[0].second), "abc");
        EXPECT_EQ(lastName, "");
        EXPECT_EQ(lastPath, "");
        EXPECT_EQ(FilesUnder(folder), (std::vector<std::string>{"0Good.png"})) << "no partial file is left";

        char name[TQORWadFile::NameSize], path[TQORWadFile::PathBufferSize];
        EXPECT_FALSE(wad.PopFile(prefix.c_str(), name, path)) << "stays failed";
    }
}

TEST_F(QORWadTest, RefusesWhatCannotBeDone)
{
    TQORWadFile closed;
    char name[TQORWadFile::NameSize], path[TQORWadFile::PathBufferSize];
    EXPECT_FALSE(closed.PopFile(prefix.c_str(), name, path));
    EXPECT_FALSE(closed.Open((root / "missing.dat").string().c_str()));

    // A path that would not fit the caller's buffer is not cut short.
    TQORWadFile wad;
    ASSERT_TRUE(OpenContainer(wad, EncodeContainer({{"Long.png", "x"}})));
    char small[8] = "stale";
    EXPECT_FALSE(wad.PopFile(prefix.c_str(), name, small, sizeof(small)));
    EXPECT_STREQ(small, "");
    EXPECT_TRUE(FilesUnder(folder).empty());

    // A folder that does not exist cannot take the file.
    TQORWadFile other;
    ASSERT_TRUE(OpenContainer(other, EncodeContainer({{"A.png", "x"}})));
    const std::string nowhere = (root / "no" / "such").string() + "/";
    EXPECT_FALSE(other.PopFile(nowhere.c_str(), name, path));
    EXPECT_STREQ(path, "");
}

} // namespace
