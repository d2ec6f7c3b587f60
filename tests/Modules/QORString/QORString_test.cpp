#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "QORString.h"
#include "QORString_Internal.h"

namespace {

int Sign(int v) { return (v > 0) - (v < 0); }

} // namespace

TEST(QORStringCompare, CaseInsensitiveCompareAndSearch)
{
    struct Case { const char* a; const char* b; int cmpSign; };
    const Case cases[] = {
        {"abc", "ABC", 0}, {"abc", "abcd", -1}, {"abcd", "abc", 1}, {"", "", 0},
        {"Texture_01", "texture_02", -1}, {"\xE9t\xE9", "\xC9T\xC9", 1},   // bytes 128-255 keep their case
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
        EXPECT_EQ(Sign(QORstrcmpi(c.a, c.b)), c.cmpSign);
    }
    EXPECT_EQ(QORstrcmpi("b", "A"), 1);                       // 'b' - 'a'
    EXPECT_EQ(QORstrcmpi("a", "\xE9"), 'a' - int(char(0xE9)));  // signed bytes: positive
    EXPECT_EQ(QOR_toupper('q'), 'Q');
    EXPECT_EQ(QOR_tolower('\xC9'), '\xC9');

    EXPECT_EQ(QORstrncmpi("abcX", "ABCY", 3), 0);
    EXPECT_LT(QORstrncmpi("abcX", "ABCY", 4), 0);
    EXPECT_EQ(QORstrncmpi("ab", "abc", 5), -1);
    EXPECT_EQ(QORstrncmpi("ab", "ab", 5), 0);
    EXPECT_EQ(QORstrncmpi("x", "y", 0), 0);

    const char* hello = "Hello World";
    EXPECT_EQ(QORstrstri(hello, "WORLD"), hello + 6);
    EXPECT_EQ(QORstrstri(hello, "worlds"), nullptr);
    EXPECT_EQ(QORstrstri(hello, ""), nullptr);
    const char* aaa = "aaa";
    EXPECT_EQ(strstri_last(aaa, "aa"), aaa + 1);
    EXPECT_EQ(strstri_last(hello, "O"), hello + 7);
    EXPECT_EQ(strstri_last(hello, ""), nullptr);
    EXPECT_EQ(strstri_last(hello, "z"), nullptr);
}

TEST(QORStringRandom, SeededSequenceMatchesCheckValues)
{
    QORSetRandomSeed(1);
    EXPECT_EQ(QORRandomRaw(), 2178310);
    EXPECT_EQ(QORRandomRaw(), 3524579);
    EXPECT_EQ(QORRandomRaw(), 5702889);

    QORSetRandomSeed(1);
    const int expected[] = {244, 799, 19, 819, 838};
    for (int e : expected) EXPECT_EQ(QORrandom(1000), e);

    QORSetRandomSeed(0);
    EXPECT_EQ(QORRandomRaw(), 1346269);

    // Negative seeds are masked to 30 bits like any other.
    QORSetRandomSeed(-1);
    int32_t a = QORRandomRaw();
    QORSetRandomSeed(0x3FFFFFFF);
    EXPECT_EQ(QORRandomRaw(), a);
}

TEST(QORStringRandom, SmallRangesDrawNothingAndStayInRange)
{
    QORSetRandomSeed(7);
    int32_t first = QORRandomRaw();
    QORSetRandomSeed(7);
    EXPECT_EQ(QORrandom(1), 0);
    EXPECT_EQ(QORrandom(0), 0);
    EXPECT_EQ(QORrandom(-5), 0);
    EXPECT_EQ(QORRandomRaw(), first);   // nothing was drawn

    bool seen[3] = {};
    for (int i = 0; i < 200; ++i) {
        int r2 = QORrandom(2);
        ASSERT_TRUE(r2 == 0 || r2 == 1);
        int r3 = QORrandom(3);
        ASSERT_TRUE(r3 >= 0 && r3 < 3);
        seen[r3] = true;
    }
    EXPECT_TRUE(seen[0] && seen[1] && seen[2]);
    int big = QORrandom(0x7FFFFFFF);
    EXPECT_GE(big, 0);
}

// Draws from several threads at once may interleave but must keep the state intact.
TEST(QORStringRandom, ConcurrentDrawsStayInRange)
{
    QORSetRandomSeed(3);
    std::vector<std::thread> threads;
    std::vector<int> bad(4, 0);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&bad, t] {
            for (int i = 0; i < 20000; ++i) {
                int r = QORrandom(10);
                if (r < 0 || r >= 10) ++bad[size_t(t)];
            }
        });
    for (auto& th : threads) th.join();
    for (int b : bad) EXPECT_EQ(b, 0);
}

TEST(QORStringFileNames, SplitAndExtensions)
{
    struct Case {
        const char* path;
        const char* folder, *name, *shortNoExt, *removed, *ext, *nameNoExt;
    };
    const Case cases[] = {
        {"dir/sub/file.txt", "dir/sub/", "file.txt", "file", "dir/sub/file", "txt", "dir/sub/file"},
        {"dir/sub/", "dir/sub/", "", "", "dir/sub/", "", "dir/sub/"},
        {"file", "", "file", "file", "file", "", "file"},
        {"", "", "", "", "", "", ""},
        {"a.b/c", "a.b/", "c", "c", "a", "", "a.b/c"},
        {".hidden", "", ".hidden", "", ".hidden", "hidden", ""},
        {"/x/.hidden", "/x/", ".hidden", "", "/x/", "hidden", "/x/"},
        {"dir.old/file", "dir.old/", "file", "file", "dir", "", "dir.old/file"},
        {"archive.tar.gz", "", "archive.tar.gz", "archive.tar", "archive.tar", "gz", "archive.tar"},
        {"name.", "", "name.", "name", "name", "", "name"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        char folder[256], name[256], buf[256], ext[256], noExt[256];
        SeperateFileName(c.path, folder, name);
        EXPECT_STREQ(folder, c.folder);
        EXPECT_STREQ(name, c.name);
        GetPathFromFileName(buf, c.path);
        EXPECT_STREQ(buf, c.folder);
        GetShortNameFromFileName(buf, c.path, false);
        EXPECT_STREQ(buf, c.name);
        GetShortNameFromFileName(buf, c.path, true);
        EXPECT_STREQ(buf, c.shortNoExt);
        std::strcpy(buf, c.path);
        RemoveExtensionFromFileName(buf);
        EXPECT_STREQ(buf, c.removed);
        EXPECT_STREQ(GetExtensionFromFileName(c.path), c.ext);
        GetExtensionFromFileName(ext, c.path);
        EXPECT_STREQ(ext, c.ext);
        GetExtensionFromFileName(c.path, noExt, ext);
        EXPECT_STREQ(noExt, c.nameNoExt);
        EXPECT_STREQ(ext, c.ext);
    }
    // The extension points into the caller's text; a null name buffer is allowed.
    const char* p = "a/b.obj";
    EXPECT_EQ(GetExtensionFromFileName(p), p + 4);
    char ext[16];
    GetExtensionFromFileName(p, nullptr, ext);
    EXPECT_STREQ(ext, "obj");
}

TEST(QORStringFileNames, InPlaceUseAndTrailingSlash)
{
    char buf[64] = "models/head.obj";
    GetPathFromFileName(buf, buf);
    EXPECT_STREQ(buf, "models/");
    std::strcpy(buf, "models/head.obj");
    GetShortNameFromFileName(buf, buf, true);
    EXPECT_STREQ(buf, "head");

    struct Case { const char* in; const char* out; };
    const Case cases[] = {{"", ""}, {"a", "a/"}, {"a/", "a/"}, {"/", "/"}, {"a/b", "a/b/"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        std::strcpy(buf, c.in);
        AddLastSlashIfNecessary(buf);
        EXPECT_STREQ(buf, c.out);
    }
}

TEST(QORStringLines, WhiteSpaceAndCommandParameter)
{
    EXPECT_TRUE(CharIsWhitespace(' '));
    EXPECT_TRUE(CharIsWhitespace('\t'));
    EXPECT_FALSE(CharIsWhitespace('\n'));
    EXPECT_TRUE(StringContainsWhitespace("a\tb"));
    EXPECT_FALSE(StringContainsWhitespace("a\nb"));

    struct TrimCase { const char* in; const char* out; };
    const TrimCase trims[] = {
        {"  x y \t\n", "x y"}, {"\r x\r", "\r x\r"}, {" \t\n", ""}, {"", ""}, {"abc", "abc"},
    };
    for (const TrimCase& c : trims) {
        SCOPED_TRACE(c.in);
        char buf[64];
        std::strcpy(buf, c.in);
        DeleteLeadingAndTrailingWhiteSpace(buf);
        EXPECT_STREQ(buf, c.out);
    }

    struct Case { const char* line; const char* command; const char* parameter; };
    const Case cases[] = {
        {"Key\tValue", "Key", "Value"},
        {"Key Value", "Key", "Value"},
        {" \t Key \t\t Value \t ", "Key", "Value"},
        {"Name \"a b\"\tc", "Name", "\"a b\"\tc"},
        {"Key Value\r", "Key", "Value\r"},
        {"Name", "Name", ""},
        {"   \t  ", "", ""},
        {"", "", ""},
        {"\r\vKey\fValue", "Key", "\fValue"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        char command[64] = "junk", parameter[64] = "junk";
        GetCommandAndParameter(c.line, command, parameter);
        EXPECT_STREQ(command, c.command);
        EXPECT_STREQ(parameter, c.parameter);
    }
}

TEST(QORStringNumbers, FormatWithCommas)
{
    struct Case { float value; int decimals; const char* out; };
    const Case cases[] = {
        {1234567.0f, 2, "1,234,567"}, {1234.5678f, 3, "1,234.57"}, {0.5f, 2, "0.5"},
        {0.0f, 2, "0"}, {-9876.5f, 1, "-9,876.5"}, {999999.0f, 2, "999,999"},
        {0.001234f, 6, "0.001234"}, {100.0f, 0, "100"}, {-123456.0f, 0, "-123,456"},
        {12.0f, -3, "12"}, {1000.0f, 4, "1,000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.out);
        char out[QOR_FLOAT_WITH_COMMAS_MAX];
        FloatToStringWithCommas(out, c.value, c.decimals);
        EXPECT_STREQ(out, c.out);
    }
    // The largest float and the longest decimals stay inside the documented bound.
    char out[QOR_FLOAT_WITH_COMMAS_MAX];
    FloatToStringWithCommas(out, -3.4e38f, 1000);
    EXPECT_EQ(out[0], '-');
    EXPECT_EQ(std::strlen(out), 52u);
    FloatToStringWithCommas(out, 2e-30f, 1000);
    EXPECT_LT(std::strlen(out), size_t(QOR_FLOAT_WITH_COMMAS_MAX));
}

TEST(QORStringNumbers, ParseWithCommas)
{
    struct Case { const char* text; bool ok; float value; };
    const Case cases[] = {
        {"12,345", true, 12345.0f}, {" 2.5k", true, 2500.0f}, {"3 M", true, 3000000.0f},
        {"1e3", true, 1.0f}, {"abc", false, -7.0f}, {"", true, 0.0f},
        {"-1,000.5", true, -1000.5f}, {"2x", true, 2.0f}, {"+4", true, 4.0f},
        {"\t1,5 k \n", true, 15000.0f}, {"5 km", true, 5.0f}, {",", true, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        float v = -7.0f;
        EXPECT_EQ(StringToFloatWithCommas(v, c.text), c.ok);
        EXPECT_FLOAT_EQ(v, c.value);
    }
}

// A text longer than any fixed working buffer is read whole.
TEST(QORStringNumbers, ParseLongTextWhole)
{
    float v = 0;
    std::string padded = std::string(300, ' ') + "12,345" + std::string(300, ' ') + "k";
    ASSERT_TRUE(StringToFloatWithCommas(v, padded.c_str()));
    EXPECT_FLOAT_EQ(v, 12345000.0f);

    std::string manyDigits = "1" + std::string(299, '0') + " M";   // 1e299 is past the float range
    ASSERT_TRUE(StringToFloatWithCommas(v, manyDigits.c_str()));
    EXPECT_TRUE(std::isinf(v));

    std::string tiny = "0." + std::string(400, '0') + "25";         // underflows to 0
    v = 5;
    ASSERT_TRUE(StringToFloatWithCommas(v, tiny.c_str()));
    EXPECT_EQ(v, 0.0f);
}

TEST(QORStringInterface, HotkeyAndPrintfCheck)
{
    struct HotCase { const char* caption; char key; };
    const HotCase hot[] = {
        {"[u]F[/u]ile", 'f'}, {"[b]Bold[/b] [u]x[/u]", 'x'}, {"Plain", 0}, {"[U]Q", 'q'},
        {"[u]", 0}, {"[b", 0}, {"[underline]Z", 'z'}, {"[", 0}, {"", 0}, {"[b][u]7", '7'},
    };
    for (const HotCase& c : hot) {
        SCOPED_TRACE(c.caption);
        EXPECT_EQ(GetHotkeyFromUnderlinedLetterInText(c.caption), c.key);
    }

    struct PrintfCase { const char* text; const char* reference; bool ok; };
    const PrintfCase printfs[] = {
        {"Line %s of %d", "%s", false}, {"Name: %s", "%s", true}, {"", "", false}, {"", "%s", false},
        {"plain", "also plain", true}, {"%d", "%s", false}, {"%5s", "%s", false}, {"100%%", "%%", true},
        {"%", "%", true}, {"no conversion", "%s", false}, {"%s %s", "%s %s", true},
    };
    for (const PrintfCase& c : printfs) {
        SCOPED_TRACE(std::string(c.text) + " / " + c.reference);
        EXPECT_EQ(VerifyPrintfString(c.text, c.reference), c.ok);
    }
}

TEST(QORStringFormat, AnyLengthWithoutTruncation)
{
    EXPECT_EQ(QORFormat("%s=%d", "Size", 42), "Size=42");
    EXPECT_EQ(QORFormat("%.2f", 1.5), "1.50");
    EXPECT_EQ(QORFormat("%s", ""), "");
    std::string longText(5000, 'x');
    std::string s = QORFormat("[%s]", longText.c_str());
    EXPECT_EQ(s.size(), 5002u);
    EXPECT_EQ(s.back(), ']');
}
