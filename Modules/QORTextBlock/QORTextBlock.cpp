// Text block writer primitives and the Base64 array block.
//
// [SECTION] Index
//   Line input      - QORReadTextLine
//   Line output     - indentation, TStartTextFileBlock
//   Base64          - encoder, decoder, verifier (RFC 4648, standard alphabet)
//   Array writer    - SaveBinaryDataToTextFile
//   Array reader    - LoadBinaryDataArrayFromTextFile
#include "QORTextBlock.h"

#include "OS.h"
#include "QORMemory.h"
#include "QORString.h"

#include <array>
#include <cassert>
#include <charconv>
#include <climits>
#include <cstring>
#include <string>
#include <string_view>

int32_t TextFileIndent = 0;

namespace {

// [SECTION] Line output

bool WriteIndent(FILE* file, int depth)
{
    static constexpr char Tabs[] = "\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t";
    constexpr int TabsLength = int(sizeof(Tabs) - 1);
    bool ok = true;
    while (depth > 0) {
        int n = depth < TabsLength ? depth : TabsLength;
        ok &= std::fwrite(Tabs, 1, size_t(n), file) == size_t(n);
        depth -= n;
    }
    return ok;
}

bool WriteText(FILE* file, std::string_view text)
{
    return std::fwrite(text.data(), 1, text.size(), file) == text.size();
}

// [SECTION] Base64

constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// 61 for every byte outside the alphabet ("=" included), as stored files were decoded with it.
constexpr std::array<uint8_t, 256> MakeDecodeTable()
{
    std::array<uint8_t, 256> table{};
    for (auto& v : table) v = 61;
    for (int i = 0; i < 64; ++i) table[uint8_t(Alphabet[i])] = uint8_t(i);
    return table;
}
constexpr std::array<uint8_t, 256> DecodeTable = MakeDecodeTable();

bool IsBase64Char(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '/' || c == '=';
}

int64_t EncodedLength(int64_t byteCount) { return byteCount <= 0 ? 0 : 4 * ((byteCount + 2) / 3); }

// Encodes n bytes into 4 * ceil(n / 3) characters at out; returns that number.
size_t EncodeGroups(const uint8_t* in, size_t n, char* out)
{
    char* o = out;
    size_t i = 0;
    for (; i + 3 <= n; i += 3) {
        uint32_t v = uint32_t(in[i]) << 16 | uint32_t(in[i + 1]) << 8 | in[i + 2];
        *o++ = Alphabet[v >> 18];
        *o++ = Alphabet[(v >> 12) & 63];
        *o++ = Alphabet[(v >> 6) & 63];
        *o++ = Alphabet[v & 63];
    }
    if (i < n) {
        uint32_t v = uint32_t(in[i]) << 16;
        if (i + 1 < n) v |= uint32_t(in[i + 1]) << 8;
        *o++ = Alphabet[v >> 18];
        *o++ = Alphabet[(v >> 12) & 63];
        *o++ = i + 1 < n ? Alphabet[(v >> 6) & 63] : '=';
        *o++ = '=';
    }
    return size_t(o - out);
}

// [SECTION] Array reader helpers

[[noreturn]] void ThrowInvalidData() { QORThrowException("Invalid data in file"); }

// Whole lines with surrounding blanks and tabs removed.
class TTrimmedLineReader {
public:
    explicit TTrimmedLineReader(FILE* f) : file(f) {}

    // False once the file had ended (or failed) before this line was asked for.
    bool Next()
    {
        if (std::feof(file) || std::ferror(file)) return false;
        QORReadTextLine(file, line);
        DeleteLeadingAndTrailingWhiteSpace(line.data());
        line.resize(std::strlen(line.c_str()));
        return true;
    }
    const char* Line() const { return line.c_str(); }

private:
    FILE* file;
    std::string line;
};

// The declared character count of a "Size" value: a plain decimal number.
int ParseDeclaredSize(std::string_view value)
{
    int n = 0;
    auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
    if (ec != std::errc() || end != value.data() + value.size() || n < 0) ThrowInvalidData();
    return n;
}

// The writer only ever produces whole groups with "=" as final padding; anything
// else would decode "=" or a lone trailing character as data bits.
bool HasValidPadding(std::string_view text)
{
    size_t firstPad = text.find('=');
    if (firstPad == std::string_view::npos) return text.size() % 4 != 1;
    size_t padCount = text.size() - firstPad;
    if (padCount > 2 || text.size() % 4 != 0) return false;
    return text.find_first_not_of('=', firstPad) == std::string_view::npos;
}

}  // namespace

// [SECTION] Line input

bool QORReadTextLine(FILE* file, std::string& line)
{
    line.clear();
    if (!file) return false;
    bool readAnything = false;
    // One lock for the whole line: Base64 blocks of large maps are millions of characters.
    flockfile(file);
    for (;;) {
        int c = getc_unlocked(file);
        if (c == EOF) break;   // end of file, or a read error that would never end
        readAnything = true;
        if (c == 0) continue;
        if (c == '\r' || c == '\n') {
            const int partner = c == '\r' ? '\n' : '\r';
            const int next = getc_unlocked(file);
            if (next != partner && next != EOF) ungetc(next, file);
            break;
        }
        line.push_back(char(c));
    }
    funlockfile(file);
    return readAnything;
}

// [SECTION] TStartTextFileBlock

TStartTextFileBlock::TStartTextFileBlock(const char* keyword, const char* value, FILE* file_, bool enabled_)
    : file(file_), enabled(enabled_)
{
    if (!enabled) return;
    assert(file && keyword && "TStartTextFileBlock needs a file and a keyword");
    WriteIndent(file, TextFileIndent);
    WriteText(file, keyword);
    WriteText(file, "\t");
    if (value) WriteText(file, value);
    WriteText(file, "\n");
    WriteIndent(file, TextFileIndent);
    WriteText(file, "{\n");
    ++TextFileIndent;
}

TStartTextFileBlock::~TStartTextFileBlock()
{
    if (!enabled) return;
    --TextFileIndent;
    WriteIndent(file, TextFileIndent);
    WriteText(file, "}\n");
}

// [SECTION] Base64

char* QORBase64_Encode(const void* data, int byteCount, int* charCount)
{
    assert(charCount && "QORBase64_Encode needs somewhere to store the character count");
    *charCount = 0;
    if (byteCount <= 0) return nullptr;
    assert(data && "QORBase64_Encode needs data for a positive byte count");
    int64_t length = EncodedLength(byteCount);
    // Texts above INT_MAX characters cannot be described by the int count callers use.
    assert(length <= INT_MAX && "QORBase64_Encode: data too large for one Base64 text");
    auto* text = static_cast<char*>(QORalloc(uint64_t(length), false));
    *charCount = int(EncodeGroups(static_cast<const uint8_t*>(data), size_t(byteCount), text));
    return text;
}

char* QORBase64_Decode(const void* text, int charCount, int* byteCount)
{
    assert(byteCount && "QORBase64_Decode needs somewhere to store the byte count");
    *byteCount = 0;
    if (charCount <= 0) return nullptr;
    assert(text && "QORBase64_Decode needs text for a positive character count");
    const auto* in = static_cast<const uint8_t*>(text);
    const size_t count = size_t(charCount);
    auto* out = static_cast<uint8_t*>(QORalloc(3 * ((count + 3) / 4), false));
    size_t n = 0;
    for (size_t g = 0; g < count; g += 4) {
        const size_t groupLength = count - g < 4 ? count - g : 4;
        uint8_t c[4] = {0, 0, 0, 0};
        for (size_t k = 0; k < groupLength; ++k) c[k] = DecodeTable[in[g + k]];
        if (groupLength < 2) break;
        out[n++] = uint8_t(c[0] << 2 | c[1] >> 4);
        if (groupLength < 3 || in[g + 2] == '=') break;
        out[n++] = uint8_t(c[1] << 4 | c[2] >> 2);
        if (groupLength < 4 || in[g + 3] == '=') break;
        out[n++] = uint8_t(c[2] << 6 | c[3]);
    }
    if (n == 0) {
        QORfree(out, 0);
        return nullptr;
    }
    *byteCount = int(n);
    return reinterpret_cast<char*>(out);
}

bool QORBase64_VerifyEncodedData(const char* text, int charCount)
{
    for (int i = 0; i < charCount; ++i)
        if (!IsBase64Char(text[i])) return false;
    return true;
}

void QORBase64_Dispose(void* block) { QORfree(block, 0); }

// [SECTION] Array writer

bool SaveBinaryDataToTextFile(FILE* file, const void* data, int byteCount, const char* key)
{
    assert(file && key && "SaveBinaryDataToTextFile needs a file and a key");
    if (byteCount < 0) byteCount = 0;
    assert((data || byteCount == 0) && "SaveBinaryDataToTextFile needs data for a positive byte count");

    constexpr size_t BytesPerLine = 60;   // 80 Base64 characters
    constexpr int64_t ProgressStep = 10000;
    const int64_t charCount = EncodedLength(byteCount);
    bool ok = true;
    {
        TStartTextFileBlock block(key, "", file, true);
        char number[24];
        auto [end, ec] = std::to_chars(number, number + sizeof(number), charCount);
        (void)ec;
        ok &= WriteIndent(file, TextFileIndent);
        ok &= WriteText(file, "Size\t");
        ok &= WriteText(file, std::string_view(number, size_t(end - number)));
        ok &= WriteText(file, "\n");

        if (charCount == 0) ok &= WriteText(file, "\n");
        const auto* bytes = static_cast<const uint8_t*>(data);
        int64_t written = 0;
        int64_t nextProgress = ProgressStep;
        for (size_t pos = 0; pos < size_t(byteCount); pos += BytesPerLine) {
            char line[81];
            size_t n = size_t(byteCount) - pos < BytesPerLine ? size_t(byteCount) - pos : BytesPerLine;
            size_t chars = EncodeGroups(bytes + pos, n, line);
            line[chars] = '\n';
            ok &= std::fwrite(line, 1, chars + 1, file) == chars + 1;
            written += int64_t(chars);
            while (written >= nextProgress) {
                OS.DoProgress();
                nextProgress += ProgressStep;
            }
        }
    }
    // Buffered writes only fail visibly on flush.
    ok &= std::fflush(file) == 0;
    return ok && !std::ferror(file);
}

// [SECTION] Array reader

void* LoadBinaryDataArrayFromTextFile(FILE* file, int* byteCount)
{
    assert(file && byteCount && "LoadBinaryDataArrayFromTextFile needs a file and a byte count");
    *byteCount = 0;
    TTrimmedLineReader reader(file);

    // Step 1: the block's opening brace.
    for (;;) {
        if (!reader.Next()) ThrowInvalidData();
        if (std::strcmp(reader.Line(), "{") == 0) break;
    }

    // Step 2: the declared number of characters. A "}" before it would make the
    // data loop run on into the next block.
    int declared = 0;
    for (;;) {
        if (!reader.Next()) ThrowInvalidData();
        if (std::strcmp(reader.Line(), "}") == 0) ThrowInvalidData();
        const size_t length = std::strlen(reader.Line()) + 1;
        std::string key(length, '\0');
        std::string value(length, '\0');
        GetCommandAndParameter(reader.Line(), key.data(), value.data());
        if (std::strcmp(key.c_str(), "Size") == 0) {
            declared = ParseDeclaredSize(value.c_str());
            break;
        }
    }

    // Step 3: the text lines up to "}", never more than declared.
    std::string text;
    // A damaged "Size" must not reserve gigabytes up front; past 16 MB the text grows as it arrives.
    text.reserve(size_t(declared < (16 << 20) ? declared : (16 << 20)));
    for (;;) {
        if (!reader.Next()) ThrowInvalidData();
        OS.DoProgress();
        const char* line = reader.Line();
        if (std::strcmp(line, "}") == 0) break;
        const size_t length = std::strlen(line);
        if (!QORBase64_VerifyEncodedData(line, int(length))) ThrowInvalidData();
        if (length > size_t(declared) - text.size()) ThrowInvalidData();
        text.append(line, length);
    }
    if (text.size() != size_t(declared) || !HasValidPadding(text)) ThrowInvalidData();

    // Step 4: decode once.
    return QORBase64_Decode(text.data(), int(text.size()), byteCount);
}
