#include "QORVirtualMemory.h"
#include "QORVirtualMemory_Internal.h"

#include "OS.h"
#include "QORMemory.h"
#include "KsnTestSupport.h"
#include "KsnTestWx.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The toolkit's base answers the temporary folder; initialise it once for the run.
[[maybe_unused]] const auto* const Registered = KsnRegisterWxBase();

// Answers every box at once; the OK/Cancel question of a full disk can be scripted.
struct AnsweringProvider : TOSDialogProvider {
    std::function<TOSBoxAnswer()> OnOkCancel = [] { return TOSBoxAnswer::Ok; };
    int OkCancelAsked = 0;
    TOSBoxAnswer ShowBox(TOSBoxKind kind, const char*, const char*, bool) override
    {
        if (kind != TOSBoxKind::OkCancel) return TOSBoxAnswer::Ok;
        ++OkCancelAsked;
        return OnOkCancel();
    }
    bool PickColour(unsigned char*) override { return false; }
    bool SelectFile(const TOSFileDialogRequest&, std::string&) override { return false; }
    bool SetClipboardText(const std::string&) override { return false; }
    bool GetClipboardText(std::string&) override { return false; }
};

unsigned char PatternByte(uint32_t seed, size_t i)
{
    return (unsigned char)((i * 2654435761u + seed * 40503u) >> 7);
}

void* MakeBlock(size_t size, uint32_t seed)
{
    auto* p = static_cast<unsigned char*>(QORalloc(size, false));
    for (size_t i = 0; i < size; ++i) p[i] = PatternByte(seed, i);
    return p;
}

// Checks and frees a popped block.
::testing::AssertionResult HoldsPattern(void* data, unsigned long size, unsigned long expectedSize, uint32_t seed)
{
    if (size != expectedSize) {
        QORfree(data, 0);
        return ::testing::AssertionFailure() << "size " << size << ", expected " << expectedSize;
    }
    auto* p = static_cast<unsigned char*>(data);
    for (size_t i = 0; i < size; ++i)
        if (p[i] != PatternByte(seed, i)) {
            QORfree(data, 0);
            return ::testing::AssertionFailure() << "byte " << i << " of " << size << " differs";
        }
    QORfree(data, 0);
    return ::testing::AssertionSuccess();
}

struct Placement {
    int File = -2;
    off_t Position = -1;
    uint64_t Capacity = 0;
    bool InMemory = false;
};

Placement PlacementOf(unsigned id)
{
    Placement p;
    EXPECT_TRUE(QORVirtualMemory_GetPlacement(id, &p.File, &p.Position, &p.Capacity, &p.InMemory)) << id;
    return p;
}

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class QORVirtualMemoryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        OS.SetDialogProvider(&Answers);
        // Each test gets a temporary folder of its own, so that the files it
        // leaves behind can be counted even when tests run side by side.
        ASSERT_TRUE(Store.Open("qorvm_"));
    }
    void TearDown() override
    {
        Store.StopStore();
        QORVirtualMemory_SetFileSizeLimit(0);
        EXPECT_TRUE(fs::is_empty(Folder)) << "temporary files left behind in " << Folder;
        Store.Close();
        OS.SetDialogProvider(nullptr);
    }
    static void Restart()
    {
        QORVirtualMemory_Cleanup();
        QORVirtualMemory_Initialize();
    }
    unsigned Push(unsigned long size, uint32_t seed)
    {
        void* data = MakeBlock(size, seed);
        unsigned id = 0;
        QORVirtualMemory_Push(&data, size, &id, size);
        EXPECT_EQ(data, nullptr);
        EXPECT_NE(id, 0u);
        return id;
    }
    ::testing::AssertionResult PopHolds(unsigned id, unsigned long size, uint32_t seed)
    {
        void* data = nullptr;
        unsigned long got = 0;
        QORVirtualMemory_Pop(&data, &got, &id);
        if (id != 0) return ::testing::AssertionFailure() << "id not cleared";
        return HoldsPattern(data, got, size, seed);
    }

    AnsweringProvider Answers;
    TTempStoreFolder Store;
    const fs::path& Folder = Store.Folder;
};

TEST_F(QORVirtualMemoryTest, BlockNotYetWrittenComesBackAsTheCallersOwnBuffer)
{
    QORVirtualMemory_HoldWriter(true);
    void* data = MakeBlock(5000, 1);
    void* original = data;
    unsigned id = 0;
    QORVirtualMemory_Push(&data, 5000, &id, 0);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(id, 1u);
    EXPECT_TRUE(PlacementOf(id).InMemory);

    unsigned long size = 0;
    EXPECT_TRUE(QORVirtualMemory_Pop(&data, &size, &id));
    EXPECT_EQ(data, original);
    EXPECT_EQ(id, 0u);
    EXPECT_TRUE(HoldsPattern(data, size, 5000, 1));
    // Nothing reached the file.
    EXPECT_EQ(fs::file_size(QORVirtualMemory_GetFilePaths().at(0)), 256u);
}

TEST_F(QORVirtualMemoryTest, WrittenBlocksComeBackIdenticalBehindTheHeader)
{
    const unsigned long sizes[] = {1, 4096, 100003};
    unsigned ids[3];
    for (int i = 0; i < 3; ++i) ids[i] = Push(sizes[i], 10 + i);
    QORVirtualMemory_WaitForWriter();

    off_t expected = 256;
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        Placement p = PlacementOf(ids[i]);
        EXPECT_FALSE(p.InMemory);
        EXPECT_EQ(p.Capacity, sizes[i]);
        EXPECT_EQ(p.Position, expected);   // slots back to back in write order
        expected += off_t(sizes[i]);
    }
    std::vector<std::string> paths = QORVirtualMemory_GetFilePaths();
    ASSERT_EQ(paths.size(), 1u);
    EXPECT_EQ(fs::path(paths[0]).parent_path(), fs::path(Folder));
    EXPECT_EQ(fs::path(paths[0]).extension(), ".tmp");
    EXPECT_EQ(fs::path(paths[0]).stem().string().size(), 10u);
    std::string bytes = ReadWholeFile(paths[0]);
    ASSERT_EQ(bytes.size(), size_t(expected));
    EXPECT_EQ(bytes.substr(0, 256), std::string("KSN-VIRTUAL-MEMORY-FILE") + std::string(233, '\0'));

    for (int i = 2; i >= 0; --i) EXPECT_TRUE(PopHolds(ids[i], sizes[i], 10 + i)) << i;
}

TEST_F(QORVirtualMemoryTest, FreedSlotsAreReusedBestFit)
{
    struct Case {
        const char* Name;
        std::vector<unsigned long> Sizes;   // pushed and written in this order
        std::vector<int> Popped;            // indices freed, in this order
        unsigned long NewSize;
        int ReusedIndex;                    // whose slot the new block takes; -1: a new slot at the end
    };
    const Case cases[] = {
        {"smaller block fills a larger hole", {1000}, {0}, 800, 0},
        {"larger block appends", {1000}, {0}, 1200, -1},
        {"smallest hole that fits wins", {500, 900, 700}, {0, 1}, 600, 1},
        {"most recently freed of one size", {300, 300, 300}, {2, 0}, 300, 0},
        {"exact fit", {64, 128}, {0, 1}, 128, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Restart();
        // A hard pause writes every push before it returns: slots are placed at once.
        TQORVirtualMemory_AutoPauseResume pause(true);
        std::vector<unsigned> ids;
        std::vector<Placement> placed;
        off_t end = 256;
        for (size_t i = 0; i < c.Sizes.size(); ++i) {
            ids.push_back(Push(c.Sizes[i], uint32_t(i)));
            placed.push_back(PlacementOf(ids.back()));
            EXPECT_FALSE(placed.back().InMemory);
            end += off_t(c.Sizes[i]);
        }
        for (int i : c.Popped) EXPECT_TRUE(PopHolds(ids[size_t(i)], c.Sizes[size_t(i)], uint32_t(i)));

        unsigned id = Push(c.NewSize, 99);
        Placement p = PlacementOf(id);
        if (c.ReusedIndex >= 0) {
            EXPECT_EQ(id, ids[size_t(c.ReusedIndex)]);   // the record, and so its ID, is reused
            EXPECT_EQ(p.Position, placed[size_t(c.ReusedIndex)].Position);
            EXPECT_EQ(p.Capacity, c.Sizes[size_t(c.ReusedIndex)]);
        } else {
            EXPECT_EQ(p.Position, end);
            EXPECT_EQ(p.Capacity, c.NewSize);
        }
        EXPECT_TRUE(PopHolds(id, c.NewSize, 99));
        for (size_t i = 0; i < ids.size(); ++i) {
            const bool freed = std::find(c.Popped.begin(), c.Popped.end(), int(i)) != c.Popped.end();
            if (!freed && int(i) != c.ReusedIndex) {
                EXPECT_TRUE(PopHolds(ids[i], c.Sizes[i], uint32_t(i))) << i;
            }
        }
    }
}

TEST_F(QORVirtualMemoryTest, BlocksTakenBackBeforeTheWriterRanBookNothing)
{
    enum class TTakeBack { Pop, Delete };
    for (TTakeBack how : {TTakeBack::Pop, TTakeBack::Delete}) {
        SCOPED_TRACE(how == TTakeBack::Pop ? "popped" : "deleted");
        Restart();
        // Room for three of these blocks: booking the ten that are never
        // written would start new files.
        QORVirtualMemory_SetFileSizeLimit(256 + 3000);
        QORVirtualMemory_HoldWriter(true);
        for (uint32_t i = 0; i < 10; ++i) {
            unsigned id = Push(1000, i);
            if (how == TTakeBack::Pop) {
                EXPECT_TRUE(PopHolds(id, 1000, i));
            } else {
                QORVirtualMemory_Delete(id);
            }
        }
        QORVirtualMemory_HoldWriter(false);
        // Three written blocks fill the first file from its header on.
        unsigned ids[3];
        for (uint32_t i = 0; i < 3; ++i) ids[i] = Push(1000, 20 + i);
        QORVirtualMemory_WaitForWriter();
        for (uint32_t i = 0; i < 3; ++i) {
            SCOPED_TRACE(i);
            Placement p = PlacementOf(ids[i]);
            EXPECT_EQ(p.File, 0);
            EXPECT_EQ(p.Position, off_t(256 + 1000 * i));
        }
        EXPECT_EQ(QORVirtualMemory_GetFilePaths().size(), 1u);
        EXPECT_EQ(fs::file_size(QORVirtualMemory_GetFilePaths().at(0)), 3256u);
        for (uint32_t i = 0; i < 3; ++i) EXPECT_TRUE(PopHolds(ids[i], 1000, 20 + i));
    }
    QORVirtualMemory_SetFileSizeLimit(0);
}

TEST_F(QORVirtualMemoryTest, HardPauseWritesAtOnceAndResumeQueuesAgain)
{
    {
        TQORVirtualMemory_AutoPauseResume pause(true);
        unsigned id = Push(2000, 3);
        Placement p = PlacementOf(id);
        EXPECT_FALSE(p.InMemory);   // the caller's buffer is already written and freed
        EXPECT_EQ(p.Capacity, 2000u);
        EXPECT_TRUE(PopHolds(id, 2000, 3));
    }
    QORVirtualMemory_HoldWriter(true);
    unsigned id = Push(2000, 4);
    EXPECT_TRUE(PlacementOf(id).InMemory);
    QORVirtualMemory_HoldWriter(false);
    QORVirtualMemory_WaitForWriter();
    EXPECT_FALSE(PlacementOf(id).InMemory);
    EXPECT_TRUE(PopHolds(id, 2000, 4));

    // A soft pause (or an idle checkup) holds the writer only until the next push.
    for (bool viaCheckup : {false, true}) {
        SCOPED_TRACE(viaCheckup);
        if (viaCheckup)
            QORVirtualMemory_Checkup();
        else
            QORVirtualMemory_PauseThread(false);
        unsigned soft = Push(700, 5);
        QORVirtualMemory_WaitForWriter();
        EXPECT_FALSE(PlacementOf(soft).InMemory);
        EXPECT_TRUE(PopHolds(soft, 700, 5));
    }
}

TEST_F(QORVirtualMemoryTest, EmptyPushesUnknownIdsAndDeletes)
{
    int marker = 0;
    void* data = &marker;
    unsigned id = 77;
    QORVirtualMemory_Push(&data, 0, &id, 0);
    EXPECT_EQ(id, 0u);
    EXPECT_EQ(data, &marker);

    unsigned long size = 0;
    unsigned unknown = 12345;
    try {
        QORVirtualMemory_Pop(&data, &size, &unknown);
        ADD_FAILURE() << "Pop of an unknown ID returned";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "Cannot find the virtual memory item with ID = 12345");
    }

    QORVirtualMemory_Delete(0);
    QORVirtualMemory_Delete(999);
    QORVirtualMemory_HoldWriter(true);
    unsigned queued = Push(100, 1);
    QORVirtualMemory_Delete(queued);   // still queued: dropped from the queue, its buffer freed
    QORVirtualMemory_HoldWriter(false);
    unsigned written = Push(100, 2);
    QORVirtualMemory_WaitForWriter();
    QORVirtualMemory_Delete(written);
    for (unsigned gone : {queued, written}) {
        unsigned copy = gone;
        EXPECT_THROW(QORVirtualMemory_Pop(&data, &size, &copy), std::logic_error);
    }
    QORVirtualMemory_Delete(written);   // twice: ignored
}

TEST_F(QORVirtualMemoryTest, AFullFileStartsTheNextAndOlderSlotsStayInUse)
{
    QORVirtualMemory_SetFileSizeLimit(256 + 1000);
    Restart();
    TQORVirtualMemory_AutoPauseResume pause(true);
    unsigned a = Push(600, 1);
    unsigned b = Push(600, 2);
    EXPECT_EQ(PlacementOf(a).File, 0);
    EXPECT_EQ(PlacementOf(b).File, 1);
    EXPECT_EQ(PlacementOf(b).Position, 256);
    std::vector<std::string> paths = QORVirtualMemory_GetFilePaths();
    ASSERT_EQ(paths.size(), 2u);
    EXPECT_EQ(ReadWholeFile(paths[1]).substr(0, 23), "KSN-VIRTUAL-MEMORY-FILE");

    EXPECT_TRUE(PopHolds(a, 600, 1));
    unsigned c = Push(500, 3);   // the hole in the first file is still used
    EXPECT_EQ(PlacementOf(c).File, 0);
    EXPECT_EQ(PlacementOf(c).Position, 256);
    EXPECT_TRUE(PopHolds(b, 600, 2));
    EXPECT_TRUE(PopHolds(c, 500, 3));
}

TEST_F(QORVirtualMemoryTest, ABlockThatExactlyFillsTheLimitStaysInItsFile)
{
    // The limit counts the header: 1000 bytes of slots fit behind it.
    struct Case {
        const char* Name;
        std::vector<unsigned long> Sizes;   // pushed in this order
        std::vector<int> Files;             // the file each lands in
    };
    const Case cases[] = {
        {"one block fills the file", {1000, 1}, {0, 1}},
        {"the last of several fills it", {400, 600, 1}, {0, 0, 1}},
        {"one byte short of filling it", {999, 1, 1}, {0, 0, 1}},
        {"one byte over", {600, 401}, {0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        QORVirtualMemory_SetFileSizeLimit(256 + 1000);
        Restart();
        TQORVirtualMemory_AutoPauseResume pause(true);
        std::vector<unsigned> ids;
        for (size_t i = 0; i < c.Sizes.size(); ++i) {
            ids.push_back(Push(c.Sizes[i], uint32_t(i)));
            EXPECT_EQ(PlacementOf(ids.back()).File, c.Files[i]) << i;
        }
        for (size_t i = 0; i < ids.size(); ++i) EXPECT_TRUE(PopHolds(ids[i], c.Sizes[i], uint32_t(i))) << i;
    }
}

TEST_F(QORVirtualMemoryTest, CheckupLeavesQueuedBlocksAndAHardPauseAlone)
{
    // Blocks still queued: the writer is not parked, and writes them once free.
    QORVirtualMemory_HoldWriter(true);
    unsigned queued = Push(3000, 1);
    QORVirtualMemory_Checkup();
    QORVirtualMemory_HoldWriter(false);
    QORVirtualMemory_WaitForWriter();
    EXPECT_FALSE(PlacementOf(queued).InMemory) << "Checkup parked the writer over a queued block";
    EXPECT_TRUE(PopHolds(queued, 3000, 1));

    // A hard pause stays hard: pushes are still written before they return,
    // and the next push does not lift the pause.
    {
        TQORVirtualMemory_AutoPauseResume pause(true);
        QORVirtualMemory_Checkup();
        unsigned first = Push(500, 2);
        EXPECT_FALSE(PlacementOf(first).InMemory) << "Checkup turned the hard pause soft";
        QORVirtualMemory_HoldWriter(true);   // a queued push would now stay in memory
        unsigned second = Push(500, 3);
        EXPECT_FALSE(PlacementOf(second).InMemory);
        QORVirtualMemory_HoldWriter(false);
        EXPECT_TRUE(PopHolds(first, 500, 2));
        EXPECT_TRUE(PopHolds(second, 500, 3));
    }
}

TEST_F(QORVirtualMemoryTest, OptimizeRestartsOnlyAnEmptyStoreAndCleanupRemovesEveryFile)
{
    QORVirtualMemory_SetFileSizeLimit(256 + 1000);
    Restart();
    unsigned a = Push(900, 1);
    unsigned b = Push(900, 2);   // second file
    QORVirtualMemory_WaitForWriter();
    std::vector<std::string> before = QORVirtualMemory_GetFilePaths();
    ASSERT_EQ(before.size(), 2u);

    EXPECT_TRUE(PopHolds(a, 900, 1));
    QORVirtualMemory_Optimize();   // b is live: nothing happens
    EXPECT_EQ(QORVirtualMemory_GetFilePaths(), before);
    EXPECT_TRUE(PopHolds(b, 900, 2));

    QORVirtualMemory_Optimize();
    for (const std::string& path : before) EXPECT_FALSE(fs::exists(path)) << path;
    std::vector<std::string> after = QORVirtualMemory_GetFilePaths();
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(fs::file_size(after[0]), 256u);
    EXPECT_EQ(Push(10, 3), 1u);   // IDs start again at 1

    // Cleanup also drops blocks still queued or stored.
    QORVirtualMemory_HoldWriter(true);
    Push(5000, 4);
    QORVirtualMemory_Cleanup();
    EXPECT_TRUE(QORVirtualMemory_GetFilePaths().empty());
    EXPECT_TRUE(fs::is_empty(Folder));
    QORVirtualMemory_Initialize();
}

TEST_F(QORVirtualMemoryTest, UsingTheStoreBeforeStartUpEndsTheProgram)
{
    QORVirtualMemory_Cleanup();
    // A death test's child runs SetUp in a folder of its own and ends without
    // TearDown, so it removes that folder itself before it dies.
    EXPECT_EXIT(
        {
            fs::remove_all(Folder);
            void* data = MakeBlock(10, 1);
            unsigned id = 0;
            QORVirtualMemory_Push(&data, 10, &id, 0);
        },
        ::testing::ExitedWithCode(1), "");
    EXPECT_EXIT(
        {
            fs::remove_all(Folder);
            void* data = nullptr;
            unsigned long size = 0;
            unsigned id = 1;
            QORVirtualMemory_Pop(&data, &size, &id);
        },
        ::testing::ExitedWithCode(1), "");
    QORVirtualMemory_Initialize();
}

// Limits this process's file size so that the next write comes up short.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &Old);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = Old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { Lift(); }
    void Lift() { setrlimit(RLIMIT_FSIZE, &Old); }
    rlimit Old{};
};

TEST_F(QORVirtualMemoryTest, ShortWriteAsksAndRetriesAtTheSamePosition)
{
    TQORVirtualMemory_AutoPauseResume pause(true);
    unsigned first = Push(1000, 1);
    FileSizeLimit limit(256 + 1000 + 100);
    Answers.OnOkCancel = [&] {
        limit.Lift();   // the user made room
        return TOSBoxAnswer::Ok;
    };
    unsigned second = Push(5000, 2);
    EXPECT_EQ(Answers.OkCancelAsked, 1);
    EXPECT_EQ(PlacementOf(second).Position, 256 + 1000);
    EXPECT_EQ(fs::file_size(QORVirtualMemory_GetFilePaths().at(0)), 256u + 1000 + 5000);
    EXPECT_TRUE(PopHolds(second, 5000, 2));
    EXPECT_TRUE(PopHolds(first, 1000, 1));
}

TEST_F(QORVirtualMemoryTest, ShortWriteAnsweredCancelEndsTheProgram)
{
    EXPECT_EXIT(
        {
            fs::remove_all(Folder);   // see UsingTheStoreBeforeStartUpEndsTheProgram
            Answers.OnOkCancel = [] { return TOSBoxAnswer::Cancel; };
            TQORVirtualMemory_AutoPauseResume pause(true);
            FileSizeLimit limit(256 + 100);
            Push(5000, 1);
        },
        ::testing::ExitedWithCode(1), "");
}

TEST_F(QORVirtualMemoryTest, ShortReadRaisesAndKeepsTheBlock)
{
    TQORVirtualMemory_AutoPauseResume pause(true);
    unsigned id = Push(3000, 1);
    std::string path = QORVirtualMemory_GetFilePaths().at(0);
    ASSERT_EQ(truncate(path.c_str(), 256 + 100), 0);
    void* data = nullptr;
    unsigned long size = 0;
    unsigned copy = id;
    EXPECT_THROW(QORVirtualMemory_Pop(&data, &size, &copy), std::logic_error);
    EXPECT_EQ(copy, id);
    EXPECT_EQ(data, nullptr);
    Placement p = PlacementOf(id);   // still stored under its ID
    EXPECT_EQ(p.Capacity, 3000u);
    QORVirtualMemory_Delete(id);
}

TEST_F(QORVirtualMemoryTest, ConcurrentPushAndPopKeepEveryByte)
{
    constexpr int kThreads = 8, kRounds = 150;
    std::atomic<bool> done{false};
    std::atomic<int> failures{0};
    // Meanwhile the writer is paused, resumed and parked at random.
    std::thread pauser([&] {
        std::mt19937 rng(7);
        while (!done) {
            switch (rng() % 4) {
                case 0: QORVirtualMemory_PauseThread(false); break;
                case 1: QORVirtualMemory_PauseThread(true); break;
                case 2: QORVirtualMemory_ResumeThread(); break;
                default: QORVirtualMemory_Checkup(); break;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        QORVirtualMemory_ResumeThread();
    });
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t)
        workers.emplace_back([&, t] {
            std::mt19937 rng(1000 + t);
            struct Held { unsigned Id; unsigned long Size; uint32_t Seed; };
            std::vector<Held> held;
            auto popOne = [&](size_t k) {
                Held h = held[k];
                held.erase(held.begin() + long(k));
                void* data = nullptr;
                unsigned long size = 0;
                QORVirtualMemory_Pop(&data, &size, &h.Id);
                if (!HoldsPattern(data, size, h.Size, h.Seed)) failures++;
            };
            for (int r = 0; r < kRounds; ++r) {
                if (held.size() < 12 && (held.empty() || rng() % 3 != 0)) {
                    const unsigned long size = 1 + rng() % 20000;
                    const uint32_t seed = uint32_t(t * 100000 + r);
                    void* data = MakeBlock(size, seed);
                    unsigned id = 0;
                    QORVirtualMemory_Push(&data, size, &id, size);
                    held.push_back({id, size, seed});
                } else {
                    popOne(rng() % held.size());
                }
            }
            while (!held.empty()) popOne(held.size() - 1);
        });
    for (auto& w : workers) w.join();
    done = true;
    pauser.join();
    EXPECT_EQ(failures.load(), 0);
}

} // namespace
