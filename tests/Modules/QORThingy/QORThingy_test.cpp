// Identified objects: ID sequence, registry lookups and naming.
#include "QORThingy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

// Absolute IDs depend on everything constructed earlier in the process, so
// such checks run in a child that re-executes the test binary for this test
// alone. The child reports mismatches on stderr and exits 1.
[[noreturn]] void ExitWithFailures(const std::string& failures)
{
    if (!failures.empty())
        std::fputs(failures.c_str(), stderr);
    std::fflush(stderr);
    std::_Exit(failures.empty() ? 0 : 1);
}

std::string CheckIdSequenceFromStart()
{
    std::string failures;
    TQORThingy first;                      // never registered
    auto second = std::make_unique<TQORThingy>();
    second->RegisterForLookup();
    TQORThingy third;
    if (first.GetID() != 1 || second->GetID() != 2 || third.GetID() != 3)
        failures += "IDs are not 1, 2, 3 in construction order\n";
    if (__GetThingyFromID(1) != nullptr)
        failures += "an unregistered thingy was found\n";
    if (__GetThingyFromID(2) != second.get())
        failures += "the registered thingy was not found\n";
    second.reset();
    TQORThingy fourth;
    if (fourth.GetID() != 4)
        failures += "a destroyed thingy's ID was handed out again\n";
    if (__GetThingyFromID(2) != nullptr)
        failures += "a destroyed thingy is still found\n";
    return failures;
}

} // namespace

TEST(QORThingyRegistry, IdsStartAtOneAndRiseInConstructionOrder)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(ExitWithFailures(CheckIdSequenceFromStart()), testing::ExitedWithCode(0), "");
}

TEST(QORThingyRegistry, LookupFindsOnlyLiveRegisteredObjects)
{
    auto a = std::make_unique<TQORThingy>();
    TQORThingy unregistered;
    EXPECT_EQ(unregistered.GetID(), a->GetID() + 1);

    a->RegisterForLookup();
    a->RegisterForLookup();   // a second registration changes nothing
    EXPECT_TRUE(a->IsRegisteredForLookup());
    EXPECT_EQ(__GetThingyFromID(a->GetID()), a.get());
    EXPECT_EQ(__GetThingyFromID(0), nullptr);
    EXPECT_EQ(__GetThingyFromID(unregistered.GetID()), nullptr);

    const uint32_t goneID = a->GetID();
    {
        // Destroying an unregistered neighbour must not disturb other entries.
        TQORThingy temporary;
    }
    EXPECT_EQ(__GetThingyFromID(goneID), a.get());
    a.reset();
    EXPECT_EQ(__GetThingyFromID(goneID), nullptr);
}

TEST(QORThingyRegistry, ConcurrentConstructionGetsDistinctIdsAndLookups)
{
    constexpr int ThreadCount = 4;
    constexpr int PerThread = 3000;
    std::vector<std::vector<std::unique_ptr<TQORThingy>>> made(ThreadCount);
    std::vector<std::thread> threads;
    for (int t = 0; t < ThreadCount; ++t)
        threads.emplace_back([&made, t] {
            for (int i = 0; i < PerThread; ++i) {
                made[t].push_back(std::make_unique<TQORThingy>());
                made[t].back()->RegisterForLookup();
                // Lookups run while the other threads insert.
                if (__GetThingyFromID(made[t].back()->GetID()) != made[t].back().get())
                    std::abort();
            }
        });
    for (auto& th : threads)
        th.join();

    std::vector<uint32_t> ids;
    for (auto& list : made)
        for (auto& thingy : list) {
            ids.push_back(thingy->GetID());
            EXPECT_EQ(__GetThingyFromID(thingy->GetID()), thingy.get());
        }
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end()) << "an ID was handed out twice";
    EXPECT_EQ(ids.back() - ids.front() + 1, uint32_t(ThreadCount * PerThread)) << "IDs are not consecutive";

    // Destroy concurrently; afterwards nothing is found.
    threads.clear();
    for (int t = 0; t < ThreadCount; ++t)
        threads.emplace_back([&made, t] { made[t].clear(); });
    for (auto& th : threads)
        th.join();
    for (uint32_t id : ids)
        ASSERT_EQ(__GetThingyFromID(id), nullptr);
}

TEST(QORThingyNaming, FormatsStoresWholeHintsAndCutsLongNames)
{
    TQORThingy t;
    EXPECT_STREQ(t.GetName(), "");
    EXPECT_STREQ(t.GetHint(), "");

    t.SetName("%s_%d", "Morph", 3);
    EXPECT_STREQ(t.GetName(), "Morph_3");
    const char* before = t.GetName();
    t.SetName("Morph_%d", 3);      // unchanged text keeps its storage
    EXPECT_EQ(t.GetName(), before);
    const char* noFormat = nullptr;
    t.SetName(noFormat);
    EXPECT_STREQ(t.GetName(), "Morph_3");
    t.SetName("%s", "");
    EXPECT_STREQ(t.GetName(), "");

    const std::string longText(1500, 'x');
    t.SetName("%s", longText.c_str());
    EXPECT_EQ(std::string(t.GetName()), longText.substr(0, 999));
    const std::string veryLongHint(20000, 'h');
    t.SetHint("%s", veryLongHint.c_str());
    EXPECT_EQ(std::string(t.GetHint()), veryLongHint);
    t.SetHint(noFormat);
    EXPECT_EQ(std::string(t.GetHint()), veryLongHint);
}
