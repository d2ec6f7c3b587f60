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

void ReadTrimmedLine(FILE* file, char* line)
{
    OS.fgets(line, LineBufferSize, file);
    DeleteLeadingAndTrailingWhiteSpace(line);
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
    char line[LineBufferSize + 1] = {};
    char key[LineBufferSize + 1] = {};
    char value[LineBufferSize + 1] = {};
    int depth = 1;
    while (depth > 0 && !std::feof(file)) {
        OS.fgets(line, LineBufferSize, file);
        GetCommandAndParameter(line, key, value);
        if (std::strcmp(key, "{") == 0)
            ++depth;
        else if (std::strcmp(key, "}") == 0)
            --depth;
    }
}

} // namespace

// [SECTION] Construction and naming

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
    for (char& c : text)
        if (c == ':' || c == '\\' || c == '/' || c == '%')
            c = '_';
    StoreName(std::move(text));
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
    char line[LineBufferSize + 1] = {};
    char key[LineBufferSize + 1] = {};
    char value[LineBufferSize + 1] = {};

    // Whatever precedes the block's "{" (normally its key line, already
    // consumed by the caller) is not ours.
    while (!std::feof(file)) {
        ReadTrimmedLine(file, line);
        if (std::strcmp(line, "{") == 0)
            break;
    }

    while (!std::feof(file)) {
        ReadTrimmedLine(file, line);
        if (QORstrcmpi(line, "{") == 0) {
            // A block whose key line no handler took: skip it whole so that
            // newer files stay readable.
            SkipNestedBlock(file);
            continue;
        }
        if (QORstrcmpi(line, "}") == 0)
            return true;
        GetCommandAndParameter(line, key, value);
        LoadFromStream_Text_ConsiderCommand_BasicStuff(file, key, value);
        LoadFromStream_Text_ConsiderCommand(file, key, value);
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
    std::memcpy(nameField, name, strnlen(name, ChunkNameField - 1));
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
