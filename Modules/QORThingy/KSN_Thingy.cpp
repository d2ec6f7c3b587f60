// Document object base: flags, group path, custom properties and the text and
// legacy binary serialisation shared by every document class.
//
// [SECTION] Line helpers
// [SECTION] Construction and naming
// [SECTION] Custom properties
// [SECTION] Text form
// [SECTION] Legacy binary chunk
#include "KSN_Thingy.h"

#include "OS.h"
#include "QORMemory.h"
#include "QORString.h"
#include "QORTextBlock.h"
#include "QORThingy_Internal.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>

// [SECTION] Line helpers

namespace QORThingyInternal {

void WriteKeyLine(FILE* file, const char* key, const char* value)
{
    for (int i = 0; i < TextFileIndent; ++i)
        fputc('\t', file);
    fputs(key, file);
    fputc('\t', file);
    fputs(value, file);
    fputc('\n', file);
}

void WriteKeyLine(FILE* file, const char* key, int value)
{
    WriteKeyLine(file, key, std::to_string(value).c_str());
}

void ReadTrimmedLine(FILE* file, std::string& line)
{
    QORReadTextLine(file, line);
    DeleteLeadingAndTrailingWhiteSpace(line.data());
    line.resize(std::strlen(line.c_str()));
}

void TKeyValueLine::Split(const char* line)
{
    // GetCommandAndParameter writes at most the line's length into each.
    const size_t length = std::strlen(line) + 1;
    key.assign(length, '\0');
    value.assign(length, '\0');
    GetCommandAndParameter(line, key.data(), value.data());
}

} // namespace QORThingyInternal

using namespace QORThingyInternal;

namespace {

// Whole-line values of the text form are decimal integers ("ReadOnly\t1").
bool ParseFlag(const char* value)
{
    return std::strtol(value, nullptr, 10) != 0;
}

// Skips a nested block whose "{" line was just read, inner blocks included.
void SkipNestedBlock(FILE* file)
{
    std::string line;
    TKeyValueLine split;
    int depth = 1;
    while (depth > 0 && !std::feof(file)) {
        QORReadTextLine(file, line);
        split.Split(line.c_str());
        if (std::strcmp(split.key.c_str(), "{") == 0)
            ++depth;
        else if (std::strcmp(split.key.c_str(), "}") == 0)
            --depth;
    }
}

// Nesting of the block readers running on this thread; each reader level
// costs stack, so a crafted file of thousands of nested blocks is refused.
thread_local int ReaderDepth = 0;

class TReaderDepthGuard {
public:
    TReaderDepthGuard()
    {
        if (ReaderDepth >= QORMaxTextBlockDepth)
            QORThrowException("Invalid data in file");
        ++ReaderDepth;
    }
    ~TReaderDepthGuard() { --ReaderDepth; }
    TReaderDepthGuard(const TReaderDepthGuard&) = delete;
    TReaderDepthGuard& operator=(const TReaderDepthGuard&) = delete;
};

} // namespace

// [SECTION] Construction and naming

namespace {

bool IsNameBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view text)
{
    while (!text.empty() && IsNameBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsNameBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

} // namespace

std::string KSN_StoredName(std::string_view text)
{
    std::string name;
    name.reserve(text.size());
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        // A tab inside a name survives the key line; line ends and the
        // other controls would not.
        if ((byte < 0x20 && c != '\t') || byte == 0x7F)
            continue;
        name.push_back(c == ':' || c == '\\' || c == '/' || c == '%' ? '_' : c);
    }
    // Trim, cut, and trim what the cut may have exposed.
    name = std::string(TrimBlanks(name));
    name = std::string(TrimBlanks(QORUtf8Prefix(name, QORMaxNameLength)));
    return name;
}

TKSN_Thingy::TKSN_Thingy()
{
    RegisterForLookup();
}

TKSN_Thingy::~TKSN_Thingy()
{
    for (auto& [key, property] : customProperties)
        QORfree(property.floatArray, 0);
    customProperties.clear();
}

void TKSN_Thingy::SetName(const char* format, ...)
{
    if (!format)
        return;
    va_list args;
    va_start(args, format);
    std::string text = QORVFormat(format, args);
    va_end(args);
    StoreName(KSN_StoredName(text));
}

// [SECTION] Custom properties

void TKSN_Thingy::SetCustomBooleanProperty(const char* key, bool value)
{
    customProperties[key].booleanValue = value;
}

void TKSN_Thingy::SetCustomPointerProperty(const char* key, void* value)
{
    customProperties[key].pointerValue = value;
}

void TKSN_Thingy::SetCustomFloatArrayProperty(const char* key, float* array, int count)
{
    TKSN_CustomProperty& property = customProperties[key];
    property.floatArray = array;
    property.floatCount = count;
}

bool TKSN_Thingy::GetCustomBooleanProperty(const char* key) const
{
    auto it = customProperties.find(std::string_view(key));
    return it != customProperties.end() && it->second.booleanValue;
}

void* TKSN_Thingy::GetCustomPointerProperty(const char* key) const
{
    auto it = customProperties.find(std::string_view(key));
    return it == customProperties.end() ? nullptr : it->second.pointerValue;
}

float* TKSN_Thingy::GetCustomFloatArrayProperty(const char* key, int& count) const
{
    auto it = customProperties.find(std::string_view(key));
    if (it == customProperties.end()) {
        count = 0;
        return nullptr;
    }
    count = it->second.floatCount;
    return it->second.floatArray;
}

// [SECTION] Text form

bool TKSN_Thingy::SaveBasicStuff_Text(FILE* file)
{
    WriteKeyLine(file, "Name", GetName());
    WriteKeyLine(file, "ReadOnly", readOnly ? 1 : 0);
    WriteKeyLine(file, "Collapsed", collapsed ? 1 : 0);
    if (GetID() != 0)
        WriteKeyLine(file, "ID", int32_t(GetID()));
    if (current)
        WriteKeyLine(file, "Current", 1);
    return true;
}

bool TKSN_Thingy::SaveToStream_Text(FILE* file, bool /*flag*/)
{
    OS.DoProgress();
    return SaveBasicStuff_Text(file);
}

bool TKSN_Thingy::LoadFromStream_Text_ConsiderCommand_BasicStuff(FILE* /*file*/, char* key, char* value)
{
    OS.DoProgress();
    if (QORstrcmpi(key, "name") == 0) {
        SetName("%s", value);
        return true;
    }
    if (std::strcmp(key, "ReadOnly") == 0) {
        readOnly = ParseFlag(value);
        return true;
    }
    if (std::strcmp(key, "Current") == 0) {
        current = ParseFlag(value);
        return true;
    }
    return false;
}

bool TKSN_Thingy::LoadFromStream_Text_ConsiderCommand(FILE* /*file*/, char* /*key*/, char* /*value*/)
{
    return false;
}

bool TKSN_Thingy::LoadFromStream_Text(FILE* file)
{
    TReaderDepthGuard depthGuard;
    std::string line;
    TKeyValueLine split;

    // Whatever precedes the block's "{" (normally its key line, already
    // consumed by the caller) is not ours.
    while (!std::feof(file)) {
        ReadTrimmedLine(file, line);
        if (line == "{")
            break;
    }

    while (!std::feof(file)) {
        ReadTrimmedLine(file, line);
        if (line == "{") {
            // A block whose key line no handler took: skip it whole so that
            // newer files stay readable.
            SkipNestedBlock(file);
            continue;
        }
        if (line == "}")
            return true;
        split.Split(line.c_str());
        LoadFromStream_Text_ConsiderCommand_BasicStuff(file, split.key.data(), split.value.data());
        LoadFromStream_Text_ConsiderCommand(file, split.key.data(), split.value.data());
    }
    return true;
}

// [SECTION] Legacy binary chunk

namespace {
constexpr char ChunkMagic[10] = "TRVNCHUNK";   // nine letters and the zero byte
constexpr size_t ChunkNameField = 256;
}

bool TKSN_Thingy::SaveBasicStuff(FILE* file)
{
    char nameField[ChunkNameField] = {};
    const char* name = GetName();
    // Cut on a character boundary: the field must hold valid UTF-8 too.
    const std::string_view kept = QORUtf8Prefix(name, ChunkNameField - 1);
    std::memcpy(nameField, kept.data(), kept.size());
    const uint8_t readOnlyByte = readOnly ? 1 : 0;
    const uint32_t id = GetID();
    bool ok = std::fwrite(nameField, 1, ChunkNameField, file) == ChunkNameField;
    ok = std::fwrite(&readOnlyByte, 1, 1, file) == 1 && ok;
    ok = std::fwrite(&id, sizeof id, 1, file) == 1 && ok;
    return ok;
}

bool TKSN_Thingy::SaveToStream(FILE* file)
{
    const int32_t type = chunkType;
    const int32_t placeholder = 0;
    bool ok = std::fwrite(ChunkMagic, 1, sizeof ChunkMagic, file) == sizeof ChunkMagic;
    ok = std::fwrite(&type, sizeof type, 1, file) == 1 && ok;
    const long lengthPos = std::ftell(file);
    ok = std::fwrite(&placeholder, sizeof placeholder, 1, file) == 1 && ok;
    const long bodyStart = std::ftell(file);
    ok = SaveBasicStuff(file) && ok;
    const long bodyEnd = std::ftell(file);
    if (lengthPos < 0 || bodyStart < 0 || bodyEnd < 0)
        return false;
    const int32_t length = int32_t(bodyEnd - bodyStart);
    ok = std::fseek(file, lengthPos, SEEK_SET) == 0 && ok;
    ok = std::fwrite(&length, sizeof length, 1, file) == 1 && ok;
    ok = std::fseek(file, bodyEnd, SEEK_SET) == 0 && ok;
    return ok;
}

bool TKSN_Thingy::SaveToStream_Bin(FILE* file)
{
    return TKSN_Thingy::SaveToStream(file);
}

bool TKSN_Thingy::LoadFromStream(FILE* file)
{
    char nameField[ChunkNameField + 1] = {};
    uint8_t readOnlyByte = 0;
    uint32_t discardedID = 0;
    const bool nameOk = std::fread(nameField, 1, ChunkNameField, file) == ChunkNameField;
    if (nameOk)
        SetName("%s", nameField);
    const bool readOnlyOk = std::fread(&readOnlyByte, 1, 1, file) == 1;
    if (readOnlyOk)
        readOnly = readOnlyByte != 0;
    // The object keeps the ID it was given at construction.
    const bool idOk = std::fread(&discardedID, sizeof discardedID, 1, file) == 1;
    return nameOk && readOnlyOk && idOk;
}
