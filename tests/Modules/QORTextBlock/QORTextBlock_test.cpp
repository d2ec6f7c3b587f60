#include "QORTextBlock.h"

#include "OS.h"
#include "QORMemory.h"
#include "KsnTempFolder.h"
#include "KsnTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Answers every box at once and keeps the texts, so error paths never block.
struct TRecordingDialogs : TBoxRecorder {
    TRecordingDialogs() : TBoxRecorder(TOSBoxAnswer::Ok) {}
};

struct TFileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using TFilePtr = std::unique_ptr<FILE, TFileCloser>;

TFilePtr FileWithText(const std::string& text)
{
    TFilePtr f(std::tmpfile());
    std::fwrite(text.data(), 1, text.size(), f.get());
    std::rewind(f.get());
    return f;
}

std::string WholeText(FILE* f)
{
    std::fflush(f);
    std::rewind(f);
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    return text;
}

std::string WriteArray(const std::vector<uint8_t>& bytes, int depth, const char* key)
{
    TFilePtr f(std::tmpfile());
    TextFileIndent = depth;
    EXPECT_TRUE(SaveBinaryDataToTextFile(f.get(), bytes.data(), int(bytes.size()), key));
    EXPECT_EQ(TextFileIndent, depth);
    TextFileIndent = 0;
    return WholeText(f.get());
}

std::vector<uint8_t> PatternBytes(size_t n)
{
    std::vector<uint8_t> bytes(n);
    uint32_t state = 12345;
    for (auto& b : bytes) {
        state = state * 1103515245u + 12345u;
        b = uint8_t(state >> 16);
    }
    return bytes;
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t lf; (lf = text.find('\n', start)) != std::string::npos; start = lf + 1)
        lines.push_back(text.substr(start, lf - start));
    return lines;
}

class QORTextBlockTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        OS.SetDialogProvider(&Dialogs);
        TextFileIndent = 0;
    }
    void TearDown() override { OS.SetDialogProvider(nullptr); }
    TRecordingDialogs Dialogs;
};

// [Base64 primitives]

TEST_F(QORTextBlockTest, EncodeMatchesStandardVectorsAndDecodesBack)
{
    struct Case { const char* plain; const char* encoded; };
    const Case cases[] = {
        {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {"\xff\xfe\x00", "//4A"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.encoded);
        int plainLength = c.plain[0] == '\xff' ? 3 : int(std::strlen(c.plain));
        int chars = -1;
        char* text = QORBase64_Encode(c.plain, plainLength, &chars);
        ASSERT_EQ(chars, int(std::strlen(c.encoded)));
        EXPECT_EQ(std::string(text, size_t(chars)), c.encoded);

        int bytes = -1;
        char* back = QORBase64_Decode(text, chars, &bytes);
        ASSERT_EQ(bytes, plainLength);
        EXPECT_EQ(std::memcmp(back, c.plain, size_t(bytes)), 0);
        QORBase64_Dispose(text);
        QORBase64_Dispose(back);
    }
}

TEST_F(QORTextBlockTest, DecodeHandlesShortGroupsAndStopsAtPadding)
{
    struct Case { const char* text; std::string bytes; };
    const Case cases[] = {
        {"Zg", "f"},             // final group of two characters
        {"Zm8", "fo"},           // final group of three characters
        {"Zg==Zm9v", "f"},       // decoding stops at the first padding
        {"Z", ""},               // a lone character carries no whole byte
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        int bytes = -1;
        char* out = QORBase64_Decode(c.text, int(std::strlen(c.text)), &bytes);
        EXPECT_EQ(std::string(out ? out : "", size_t(bytes)), c.bytes);
        EXPECT_EQ(out == nullptr, c.bytes.empty());
        QORBase64_Dispose(out);
    }
}

TEST_F(QORTextBlockTest, EmptyInputGivesNullAndZero)
{
    int count = -1;
    EXPECT_EQ(QORBase64_Encode("x", 0, &count), nullptr);
    EXPECT_EQ(count, 0);
    count = -1;
    EXPECT_EQ(QORBase64_Decode("AAAA", 0, &count), nullptr);
    EXPECT_EQ(count, 0);
    QORBase64_Dispose(nullptr);
}

TEST_F(QORTextBlockTest, VerifyAcceptsOnlyTheAlphabet)
{
    struct Case { const char* text; bool valid; };
    const Case cases[] = {
        {"AZaz09+/=", true}, {"", true}, {"AB CD", false}, {"AB*D", false},
        {"AB-_", false}, {"AB\tD", false}, {"=A=A", true},   // the place of "=" is not checked here
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(QORBase64_VerifyEncodedData(c.text, int(std::strlen(c.text))), c.valid);
    }
}

// [Writer layout]

TEST_F(QORTextBlockTest, WriterLayoutIsExact)
{
    struct Case { const char* name; size_t bytes; int depth; const char* key; std::string expected; };
    const Case cases[] = {
        {"three zero bytes at depth 2", 3, 2, "weldmap", "\t\tweldmap\t\n\t\t{\n\t\t\tSize\t4\nAAAA\n\t\t}\n"},
        {"empty array at depth 0", 0, 0, "Empty", "Empty\t\n{\n\tSize\t0\n\n}\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(WriteArray(std::vector<uint8_t>(c.bytes, 0), c.depth, c.key), c.expected);
    }
}

TEST_F(QORTextBlockTest, HundredBytesMakeOneFullAndOneShortLine)
{
    std::vector<std::string> lines = SplitLines(WriteArray(PatternBytes(100), 1, "Data"));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "\tData\t");
    EXPECT_EQ(lines[1], "\t{");
    EXPECT_EQ(lines[2], "\t\tSize\t136");
    EXPECT_EQ(lines[3].size(), 80u);
    EXPECT_EQ(lines[4].size(), 56u);
    EXPECT_EQ(lines[4].substr(54), "==");   // 100 = 33 groups of 3 + 1 byte
    EXPECT_EQ(lines[5], "\t}");
}

TEST_F(QORTextBlockTest, BlocksNestAndDisabledBlocksWriteNothing)
{
    TFilePtr f(std::tmpfile());
    {
        TStartTextFileBlock outer("Object", "Head", f.get(), true);
        EXPECT_EQ(TextFileIndent, 1);
        {
            TStartTextFileBlock inline_("Ignored", "x", f.get(), false);
            EXPECT_EQ(TextFileIndent, 1);
            TStartTextFileBlock inner("Morph", "Smile wide", f.get(), true);
            EXPECT_EQ(TextFileIndent, 2);
        }
    }
    EXPECT_EQ(TextFileIndent, 0);
    EXPECT_EQ(WholeText(f.get()), "Object\tHead\n{\n\tMorph\tSmile wide\n\t{\n\t}\n}\n");
}

TEST_F(QORTextBlockTest, BlockClosesWhenAnExceptionLeavesTheWriter)
{
    TFilePtr f(std::tmpfile());
    try {
        TStartTextFileBlock block("Object", "Head", f.get(), true);
        throw std::runtime_error("writer failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(TextFileIndent, 0);
    EXPECT_EQ(WholeText(f.get()), "Object\tHead\n{\n}\n");
}

TEST_F(QORTextBlockTest, FailedWriteIsReported)
{
    FILE* full = std::fopen("/dev/full", "w");
    if (!full) GTEST_SKIP() << "/dev/full is not available";
    std::vector<uint8_t> bytes = PatternBytes(300);
    EXPECT_FALSE(SaveBinaryDataToTextFile(full, bytes.data(), int(bytes.size()), "Data"));
    EXPECT_EQ(TextFileIndent, 0);
    std::fclose(full);
}

// [Reader]

TEST_F(QORTextBlockTest, ArraysRoundTripAndReadingStopsAtTheClosingBrace)
{
    for (size_t n : {0u, 1u, 2u, 3u, 59u, 60u, 61u, 100u, 10007u}) {
        SCOPED_TRACE(n);
        std::vector<uint8_t> bytes = PatternBytes(n);
        std::string text = WriteArray(bytes, 1, "Data") + "\tNext\t1\n";
        TFilePtr f = FileWithText(text.substr(text.find('\n') + 1));   // the caller has read the key line

        int count = -1;
        void* data = LoadBinaryDataArrayFromTextFile(f.get(), &count);
        ASSERT_EQ(count, int(n));
        if (n == 0) EXPECT_EQ(data, nullptr);
        else EXPECT_EQ(std::memcmp(data, bytes.data(), n), 0);
        QORfree(data);

        char line[1000];
        OS.fgets(line, 999, f.get());
        EXPECT_STREQ(line, "\tNext\t1");
    }
}

TEST_F(QORTextBlockTest, ReaderAcceptsIndentedLinesAndAnyLineEnd)
{
    // Hand-edited: CR LF, LF CR and CR line ends, indented data, a line before "Size".
    const std::string text = "  {\r\n\t\tComment\tx\n\r\t\tSize\t8\r\t\tZm9v\r\n   YmFy  \n\t}\n";
    TFilePtr f = FileWithText(text);
    int count = -1;
    void* data = LoadBinaryDataArrayFromTextFile(f.get(), &count);
    ASSERT_EQ(count, 6);
    EXPECT_EQ(std::string(static_cast<char*>(data), 6), "foobar");
    QORfree(data);
    EXPECT_TRUE(Dialogs.Boxes.empty());
}

TEST_F(QORTextBlockTest, MalformedBlocksRaiseAndLoadNothing)
{
    struct Case { const char* name; std::string text; };
    const Case cases[] = {
        {"character outside the alphabet", "{\nSize\t8\nZm9v\nYm*y\n}\n"},
        {"bad last character of the last line", "{\nSize\t8\nZm9v\nYmF*\n}\n"},
        {"bad last character of an inner line", "{\nSize\t8\nZm9*\nYmFy\n}\n"},
        {"bad last character before CR LF", "{\r\nSize\t8\r\nZm9v\r\nYmF*\r\n}\r\n"},
        {"bad last character before trailing blanks", "{\nSize\t8\nZm9v\nYmF*  \n}\n"},
        {"blank inside a line", "{\nSize\t8\nZm9v Ym\n}\n"},
        {"more characters than declared", "{\nSize\t4\nZm9vYmFy\n}\n"},
        {"fewer characters than declared", "{\nSize\t12\nZm9vYmFy\n}\n"},
        {"huge declared size", "{\nSize\t2000000000\nZm9v\n}\n"},
        {"negative size", "{\nSize\t-4\nZm9v\n}\n"},
        {"size not a number", "{\nSize\tfour\nZm9v\n}\n"},
        {"size with trailing text", "{\nSize\t4x\nZm9v\n}\n"},
        {"no size line", "{\nZm9v\n}\nOther\t1\n"},
        {"no opening brace", "Size\t4\nZm9v\n"},
        {"empty file", ""},
        {"file ends inside the data", "{\nSize\t8\nZm9v\n"},
        {"file ends before the data", "{\nSize\t0\n"},
        {"padding inside the text", "{\nSize\t8\nZg==Zm9v\n}\n"},
        {"padding in the first places", "{\nSize\t4\n==AA\n}\n"},
        {"three padding characters", "{\nSize\t4\nZ===\n}\n"},
        {"lone final character", "{\nSize\t5\nZm9vY\n}\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Dialogs.Boxes.clear();
        TFilePtr f = FileWithText(c.text);
        int count = -1;
        void* data = nullptr;
        try {
            data = LoadBinaryDataArrayFromTextFile(f.get(), &count);
            ADD_FAILURE() << "no exception";
        } catch (const std::logic_error& e) {
            EXPECT_STREQ(e.what(), "Invalid data in file");
        }
        EXPECT_EQ(data, nullptr);
        EXPECT_EQ(count, 0);
        ASSERT_EQ(Dialogs.Boxes.size(), 1u);
        EXPECT_EQ(Dialogs.Boxes[0], "Invalid data in file");
        QORfree(data);
    }
}

}  // namespace

// [Whole lines]

TEST_F(QORTextBlockTest, LinesOfAnyLengthAreReadWholeFromRealFiles)
{
    TTempFolder folder("ksn_lines_");
    ASSERT_TRUE(folder.IsOpen());
    const std::string long999(999, 'n');
    const std::string long70k(70000, 'x');
    struct Case { const char* label; std::string text; std::vector<std::string> lines; };
    const Case cases[] = {
        {"ordinary LF", "a\tb\nc\n", {"a\tb", "c"}},
        {"every line end", "a\r\nb\n\rc\rd", {"a", "b", "c", "d"}},
        {"NUL dropped, UTF-8 kept", std::string("x\0y\xc3\xa9\n", 6), {"xy\xc3\xa9"}},
        {"999 characters", long999 + "\n" + "tail\n", {long999, "tail"}},
        {"70,000 characters, no final line end", "k\t" + long70k, {"k\t" + long70k}},
        {"empty lines", "\n\n", {"", ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TOpenFile file(folder.Write("lines.txt", c.text), "rb");
        ASSERT_NE(file.f, nullptr);
        std::vector<std::string> got;
        std::string line = "stale";
        while (QORReadTextLine(file.f, line)) got.push_back(line);
        EXPECT_EQ(got, c.lines);
        EXPECT_TRUE(line.empty()) << "the end of the file leaves no stale text";
    }
}

TEST_F(QORTextBlockTest, ArrayWhoseTextIsOneLongLineIsReadWhole)
{
    // A hand-edited file may hold its Base64 text on one line; a line cut at a
    // buffer's end must not be taken for two lines or lose characters.
    TTempFolder folder("ksn_b64line_");
    ASSERT_TRUE(folder.IsOpen());
    const std::vector<uint8_t> bytes = PatternBytes(3000);
    int chars = 0;
    char* text = QORBase64_Encode(bytes.data(), int(bytes.size()), &chars);
    const std::string encoded(text, size_t(chars));
    QORBase64_Dispose(text);
    TOpenFile file(folder.Write("one_line.txt", "data\t\n{\n\tSize\t" + std::to_string(chars) + "\n" + encoded +
                                                    "\n}\nnext\n"),
                   "rb");
    ASSERT_NE(file.f, nullptr);
    std::string keyLine;
    ASSERT_TRUE(QORReadTextLine(file.f, keyLine));
    int byteCount = 0;
    void* data = LoadBinaryDataArrayFromTextFile(file.f, &byteCount);
    ASSERT_EQ(byteCount, int(bytes.size()));
    EXPECT_EQ(std::memcmp(data, bytes.data(), bytes.size()), 0);
    QORfree(data);
    std::string after;
    ASSERT_TRUE(QORReadTextLine(file.f, after));
    EXPECT_EQ(after, "next");
}
