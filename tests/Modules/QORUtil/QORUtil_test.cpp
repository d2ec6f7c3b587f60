#include <gtest/gtest.h>

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "QORSort.h"
#include "QORString.h"
#include "QORStringParser.h"
#include "QORTablet.h"
#include "QORTimer.h"

// [Timers] -------------------------------------------------------------------

TEST(QORTimer, StopContinueAndSetTime)
{
    TQORTimer t;
    EXPECT_FALSE(t.IsTiming());
    EXPECT_EQ(t.Read(), 0.0);

    // Stopped after 2 s, continued: the reading goes on from 2 s.
    t.Start();
    t.Stop();
    t.SetTime(2.0);
    EXPECT_FALSE(t.IsTiming());
    EXPECT_NEAR(t.Read(), 2.0, 1e-9);
    t.Continue();
    EXPECT_TRUE(t.IsTiming());
    double r1 = t.Read();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    double r2 = t.Read();
    EXPECT_GE(r1, 2.0);
    EXPECT_GT(r2, r1);
    EXPECT_LT(r2, 60.0);

    // A stopped reading is frozen.
    t.Stop();
    double frozen = t.Read();
    EXPECT_GE(frozen, r2);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(t.Read(), frozen);

    // SetTime keeps the running state; Continue on a running timer changes nothing.
    t.Start();
    t.SetTime(10.0);
    EXPECT_TRUE(t.IsTiming());
    t.Continue();
    EXPECT_GE(t.Read(), 10.0);
    EXPECT_LT(t.Read(), 60.0);

    // Start restarts from zero.
    t.Start();
    EXPECT_LT(t.Read(), 5.0);
}

TEST(QORTimer, AverageTimeKeepsLastSamplesOldestFirst)
{
    TQORAverageTime avg;
    EXPECT_EQ(avg.SampleCapacity, 20);
    avg.SetSampleCount(3);
    const double durations[] = {1, 2, 3, 4};
    for (double d : durations) {
        avg.StartTime = QORGetProgramTime() - d;   // as if started d seconds ago
        double measured = avg.Stop();
        EXPECT_GE(measured, d);
        EXPECT_LT(measured, d + 30.0);
    }
    ASSERT_EQ(avg.SampleCount, 3);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(avg.Samples[size_t(i)], double(i + 2), 0.5);
    EXPECT_LT(avg.Samples[0], avg.Samples[1]);
    EXPECT_LT(avg.Samples[1], avg.Samples[2]);

    avg.SetSampleCount(3);          // same capacity: samples stay
    EXPECT_EQ(avg.SampleCount, 3);
    avg.SetSampleCount(5);          // new capacity: emptied
    EXPECT_EQ(avg.SampleCount, 0);
    EXPECT_EQ(avg.SampleCapacity, 5);
    avg.Start();
    avg.Stop();
    EXPECT_EQ(avg.SampleCount, 1);

    avg.SetSampleCount(0);          // no room: nothing stored, nothing overrun
    avg.Start();
    avg.Stop();
    EXPECT_EQ(avg.SampleCount, 0);
}

// [Pen pressure] -------------------------------------------------------------

namespace {

float gSensitivity = 0.5f, gCutoff = 0.01f;
void TestSettings(float& s, float& k) { s = gSensitivity; k = gCutoff; }

} // namespace

TEST(QORTablet, PressureCurve)
{
    EXPECT_EQ(QORTabletPressure_OSX_Cocoa, 1.0f);
    EXPECT_FLOAT_EQ(QORTablet_GetPressure(), 1.0f);   // default settings, full pressure

    QORTabletPressure_OSX_Cocoa = 0.51f;               // default settings 0.5 / 0.01: e = 1
    EXPECT_NEAR(QORTablet_GetPressure(), 0.5f / 0.99f, 1e-6);

    QORTablet_SetSettingsSource(TestSettings);
    struct Case { float p, s, k; double expected; double tol; };
    const Case cases[] = {
        {0.0f, 0.5f, 0.5f, 1.0, 0},                 // a mouse: full pressure whatever the settings
        {0.0f, 3.0f, 0.99f, 1.0, 0},
        {0.75f, 0.5f, 0.5f, 0.5, 1e-7},             // e = 1
        {0.75f, 1.0f, 0.5f, std::pow(0.5, 16), 1e-12},   // e = 2, curve x^16
        {0.75f, 3.0f, 0.5f, std::pow(0.5, 16), 1e-12},   // sensitivity above 1 acts as 1
        {0.75f, 0.0f, 0.5f, std::pow(0.5, std::pow(0.02, 4)), 1e-6},   // below 0.01: e = 0.02
        {0.995f, 0.5f, 1.0f, 0.5, 1e-4},            // cut-off 1.0 acts as 0.99, divisor 0.01
        {0.99f, 0.5f, 1.0f, 0.0, 0},                // at the cut-off
        {0.3f, 0.5f, 0.5f, 0.0, 0},                 // below the cut-off
        {0.5f, 0.5f, -1.0f, 0.5, 1e-7},             // negative cut-off acts as 0
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "p " << c.p << " s " << c.s << " k " << c.k);
        QORTabletPressure_OSX_Cocoa = c.p;
        gSensitivity = c.s;
        gCutoff = c.k;
        EXPECT_NEAR(QORTablet_GetPressure(), c.expected, c.tol);
    }
    QORTablet_SetSettingsSource(nullptr);
}

// [String parser] ------------------------------------------------------------

TEST(QORStringParser, Tokens)
{
    struct Case { const char* text; bool dots; std::vector<std::string> tokens; };
    const Case cases[] = {
        {"one \"two three\" four", false, {"one", "two three", "four"}},
        {"a\tb\nc", false, {"a", "b", "c"}},
        {"  lead \t\n trail  ", false, {"lead", "trail"}},
        {"say \"unterminated rest  of line", false, {"say", "unterminated rest  of line"}},
        {"say \"a\"b\" c", false, {"say", "a\"b", "c"}},
        {"mid\"quote x", false, {"mid\"quote", "x"}},
        {"\"\" \"x\"", false, {"", "x"}},
        {"\"end\"", false, {"end"}},
        {"1,2", false, {"1,2"}},
        {"", false, {}},
        {" \t\n", false, {}},
        {"1.2.3", true, {"1", "2", "3"}},
        {" a . b", true, {"a ", "b"}},
        {"\"q.r\"", true, {"\"q", "r\""}},
        {"a..b.", true, {"a", "", "b"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TQORStringParser parser(c.text, c.dots);
        ASSERT_EQ(parser.Tokens.Count(), int(c.tokens.size()));
        for (int i = 0; i < parser.Tokens.Count(); ++i) EXPECT_EQ(parser.Tokens[i], c.tokens[size_t(i)]);
    }

    TQORStringParser none(nullptr, false);
    EXPECT_EQ(none.Tokens.Count(), 0);

    // Tokens are the parser's own copy: the caller's text may change afterwards.
    std::string line = "GenericLayer 17";
    TQORStringParser parser(line.c_str(), false);
    line.assign("xxxxxxxxxxxxxxx");
    ASSERT_EQ(parser.Tokens.Count(), 2);
    EXPECT_STREQ(parser.Tokens[0], "GenericLayer");
    EXPECT_STREQ(parser.Tokens[1], "17");
}

// [Sorting] ------------------------------------------------------------------

namespace {

struct TItem { int key; int id; };

int CompareItems(void* data, int i, int j)
{
    const TItem* items = static_cast<const TItem*>(data);
    return items[i].key - items[j].key;
}

void SwapItems(void* data, int i, int j)
{
    TItem* items = static_cast<TItem*>(data);
    std::swap(items[i], items[j]);
}

// The sort as first written: left part by recursion, right part by the loop.
// QORQuickSort must produce exactly the same order, equal keys included.
void ReferenceSort(std::vector<TItem>& v, int first, int last)
{
    while (first < last) {
        int d = first;
        for (int i = first + 1; i <= last; ++i)
            if (v[size_t(i)].key - v[size_t(first)].key < 0) std::swap(v[size_t(i)], v[size_t(++d)]);
        std::swap(v[size_t(first)], v[size_t(d)]);
        ReferenceSort(v, first, d - 1);
        first = d + 1;
    }
}

std::vector<TItem> MakeItems(const std::vector<int>& keys)
{
    std::vector<TItem> v;
    for (size_t i = 0; i < keys.size(); ++i) v.push_back({keys[i], int(i)});
    return v;
}

} // namespace

TEST(QORQuickSort, SortsRangesInTheExpectedOrder)
{
    QORSetRandomSeed(11);
    std::vector<int> randomKeys, fewKeys;
    for (int i = 0; i < 500; ++i) randomKeys.push_back(QORrandom(100000));
    for (int i = 0; i < 500; ++i) fewKeys.push_back(QORrandom(4));
    std::vector<int> sorted(300), reversed(300), equal(50, 7);
    for (int i = 0; i < 300; ++i) { sorted[size_t(i)] = i; reversed[size_t(i)] = 300 - i; }

    struct Case { const char* name; std::vector<int> keys; int first, last; };
    const Case cases[] = {
        {"random", randomKeys, 0, 499}, {"few keys", fewKeys, 0, 499}, {"sorted", sorted, 0, 299},
        {"reversed", reversed, 0, 299}, {"all equal", equal, 0, 49}, {"subrange", randomKeys, 100, 199},
        {"single", {5, 3, 1}, 1, 1}, {"empty", {5, 3, 1}, 2, 1}, {"two", {2, 1}, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<TItem> items = MakeItems(c.keys), expected = items;
        QORQuickSort(items.data(), c.first, c.last, CompareItems, SwapItems);
        ReferenceSort(expected, c.first, c.last);
        for (size_t i = 0; i < items.size(); ++i) {
            ASSERT_EQ(items[i].id, expected[i].id) << "at " << i;
            bool inside = int(i) >= c.first && int(i) <= c.last;
            if (!inside) {
                ASSERT_EQ(items[i].id, int(i)) << "outside the range at " << i;
            } else if (int(i) > c.first) {
                ASSERT_LE(items[i - 1].key, items[i].key);
            }
        }
    }
}

namespace {

void* SortReversed(void* arg)
{
    auto* items = static_cast<std::vector<TItem>*>(arg);
    QORQuickSort(items->data(), 0, int(items->size()) - 1, CompareItems, SwapItems);
    return nullptr;
}

} // namespace

// A first-element pivot recursing into every left part would go one level per
// element here and run out of this thread's 128 KB stack.
TEST(QORQuickSort, ReversedRangeNeedsLittleStack)
{
    std::vector<int> keys(8000);
    for (int i = 0; i < 8000; ++i) keys[size_t(i)] = 8000 - i;
    std::vector<TItem> items = MakeItems(keys);

    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 128 * 1024);
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, &attr, SortReversed, &items), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);

    for (size_t i = 0; i < items.size(); ++i) ASSERT_EQ(items[i].key, int(i) + 1);
}
