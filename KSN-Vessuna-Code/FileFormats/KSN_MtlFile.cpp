// The MTL library reader and writer. Index:
//   [SECTION] Lines and option words
//   [SECTION] Reading
//   [SECTION] Writing
#include "KSN_MtlFile.h"

#include "OS.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"
#include "QORPolyMesh.h"
#include "QORString.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// ============================================================================
// [SECTION] Lines and option words
// ============================================================================

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// One whole line without its end (CR, LF or CR LF); false at the end of the file.
bool ReadLine(FILE* file, std::string& line)
{
    line.clear();
    int c;
    while ((c = std::fgetc(file)) != EOF) {
        if (c == '\n') return true;
        if (c == '\r') {
            const int d = std::fgetc(file);
            if (d != '\n' && d != EOF) std::ungetc(d, file);
            return true;
        }
        if (c != 0) line += char(c);
    }
    return !line.empty();
}

void Split(const std::string& line, std::string& key, std::string& param)
{
    size_t p = 0;
    while (p < line.size() && IsBlank(line[p])) ++p;
    const size_t k = p;
    while (p < line.size() && !IsBlank(line[p])) ++p;
    key = line.substr(k, p - k);
    while (p < line.size() && IsBlank(line[p])) ++p;
    size_t e = line.size();
    while (e > p && IsBlank(line[e - 1])) --e;
    param = line.substr(p, e - p);
}

bool IsNumberWord(const std::string& word)
{
    if (word.empty()) return false;
    char* end = nullptr;
    std::strtod(word.c_str(), &end);
    return end && *end == '\0';
}

// How many argument words a map option takes, and whether they are numbers
// ("-o 0.5 0.5" may give one to three); unknown options take none.
struct TOption {
    const char* Name;
    int MaxArguments;
    bool Numbers;   // arguments are numbers (as many as follow, up to the most)
};
constexpr TOption kMapOptions[] = {
    {"-blendu", 1, false}, {"-blendv", 1, false}, {"-clamp", 1, false}, {"-cc", 1, false},
    {"-bm", 1, true},      {"-boost", 1, true},   {"-mm", 2, true},     {"-o", 3, true},
    {"-s", 3, true},       {"-t", 3, true},       {"-texres", 1, true}, {"-imfchan", 1, false},
    {"-type", 1, false},
};

// The parameter without its option words. In a map statement an option also
// takes its arguments with it ("-clamp on skin.png" leaves skin.png); in
// other statements only the word beginning with '-' goes, so a negative
// number is dropped as well.
std::string StripOptions(const std::string& param, bool mapStatement)
{
    std::vector<std::string> words;
    std::vector<size_t> starts;
    for (size_t p = 0; p < param.size();) {
        while (p < param.size() && IsBlank(param[p])) ++p;
        if (p >= param.size()) break;
        const size_t s = p;
        while (p < param.size() && !IsBlank(param[p])) ++p;
        words.push_back(param.substr(s, p - s));
        starts.push_back(s);
    }
    std::string text = param;
    for (size_t w = 0; w < words.size(); ++w) {
        if (words[w][0] != '-') {
            if (mapStatement) break;   // the file name: kept whole, blanks included
            continue;
        }
        size_t last = w;
        if (mapStatement)
            for (const TOption& option : kMapOptions)
                if (QORstrcmpi(option.Name, words[w].c_str()) == 0) {
                    for (int a = 0; a < option.MaxArguments && last + 1 < words.size(); ++a) {
                        const std::string& argument = words[last + 1];
                        const bool fits = option.Numbers ? IsNumberWord(argument)
                                                         : (argument[0] != '-' || IsNumberWord(argument));
                        if (!fits) break;
                        ++last;
                    }
                    break;
                }
        for (size_t k = w; k <= last; ++k) text.replace(starts[k], words[k].size(), words[k].size(), ' ');
        w = last;
    }
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    DeleteLeadingAndTrailingWhiteSpace(buffer.data());
    return buffer.data();
}

} // namespace

// ============================================================================
// [SECTION] Reading
// ============================================================================

std::string KSN_MtlLibraryPath(const char* objPath, const std::string& libraryName)
{
    const std::string obj = objPath ? objPath : "";
    const size_t slash = obj.find_last_of('/');
    if (slash == std::string::npos) return libraryName;
    const size_t cut = libraryName.find_last_of("/\\");
    std::string file = cut == std::string::npos ? libraryName : libraryName.substr(cut + 1);
    if (file.empty()) file = libraryName;
    return obj.substr(0, slash + 1) + file;
}

void LoadMTLFile(TQORPolyMesh* mesh, const char* objPath)
{
    if (!mesh || mesh->MaterialLibrary.empty()) return;
    const std::string path = KSN_MtlLibraryPath(objPath, mesh->MaterialLibrary);
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return;
    std::unique_ptr<FILE, int (*)(FILE*)> closer(file, std::fclose);

    TQORMaterial* current = nullptr;
    std::string line, key, rawParam;
    while (ReadLine(file, line)) {
        Split(line, key, rawParam);
        if (key.empty()) continue;
        const char* k = key.c_str();
        if (QORstrcmpi(k, "newmtl") == 0) {
            const int index = mesh->FindMaterialIndex(StripOptions(rawParam, false).c_str());
            current = index >= 0 ? KSN_MaterialFromThingy(mesh->Materials->GetItem(index)) : nullptr;
            continue;
        }
        if (!current) continue;

        static const struct {
            const char* Key;
            const char* Channel;
        } kMaps[] = {{"map_Kd", "Color"},    {"map_Bump", "Bump"}, {"map_Ks", "Specular"},
                     {"map_Ka", "Ambient"},  {"disp", "Displacement"}, {"map_d", "Transparency"}};
        bool handled = false;
        for (const auto& map : kMaps)
            if (QORstrcmpi(k, map.Key) == 0) {
                handled = true;
                if (TQORMaterialChannel* channel = current->GetChannelFromName(map.Channel))
                    channel->SetMapFileName(StripOptions(rawParam, true).c_str());
            }
        if (handled) continue;

        const std::string param = StripOptions(rawParam, false);
        float x, y, z;
        if (QORstrcmpi(k, "Ns") == 0) {
            if (std::sscanf(param.c_str(), "%f", &x) == 1)
                if (TQORMaterialChannel* channel = current->GetChannelFromName("Glossy")) channel->Strength = x / 100.0f;
        } else if (QORstrcmpi(k, "d") == 0) {
            if (std::sscanf(param.c_str(), "%f", &x) == 1)
                if (TQORMaterialChannel* channel = current->GetChannelFromName("Transparency")) {
                    float strength = 1.0f - x;
                    channel->Strength = strength < 0.0f ? 0.0f : (strength > 1.0f ? 1.0f : strength);
                }
        } else {
            const char* channelName = QORstrcmpi(k, "Ka") == 0   ? "Ambient"
                                      : QORstrcmpi(k, "Kd") == 0 ? "Color"
                                      : QORstrcmpi(k, "Ks") == 0 ? "Specular"
                                                                 : nullptr;
            if (channelName && std::sscanf(param.c_str(), "%f %f %f", &x, &y, &z) == 3)
                if (TQORMaterialChannel* channel = current->GetChannelFromName(channelName)) {
                    channel->Color[0] = x;
                    channel->Color[1] = y;
                    channel->Color[2] = z;
                }
        }
    }
}

// ============================================================================
// [SECTION] Writing
// ============================================================================

std::string KSN_ChannelMapName(TQORMaterialChannel* channel)
{
    if (!channel) return "";
    if (channel->GetMapID() != 0) {
        auto* binding = dynamic_cast<TQORMaterialMap*>(__GetThingyFromID(channel->GetMapID()));
        if (TQORMaterialMapSource* source = binding ? binding->GetMapSource() : nullptr) return source->GetName();
    }
    // A mesh read without a project keeps only the names; they are written
    // back rather than lost.
    return channel->GetMapFileName();
}

bool SaveMTLFile(TQORPolyMesh* mesh, const char* path)
{
    if (!mesh || !path) return false;
    FILE* file = std::fopen(path, "w");
    if (!file) return false;
    for (int i = 0; i < mesh->Materials->GetItemCount(); ++i) {
        TQORMaterial* material = KSN_MaterialFromThingy(mesh->Materials->GetItem(i));
        if (!material) break;
        std::fprintf(file, "newmtl %s\n", material->GetName());
        static const char* const kColours[][2] = {{"Ka", "Ambient"}, {"Kd", "Color"}, {"Ks", "Specular"}};
        for (const auto& colour : kColours)
            if (TQORMaterialChannel* channel = material->GetChannelFromName(colour[1]))
                std::fprintf(file, "%s %.6f %.6f %.6f\n", colour[0], channel->Color[0], channel->Color[1],
                             channel->Color[2]);
        TQORMaterialChannel* transparency = material->GetChannelFromName("Transparency");
        std::fprintf(file, "d %.4f\n", 1.0f - (transparency ? transparency->Strength : 0.0f));
        static const char* const kMaps[][2] = {{"map_kd", "Color"},    {"map_Bump", "Bump"},
                                               {"map_d", "Transparency"}, {"map_ks", "Specular"},
                                               {"map_ka", "Ambient"},  {"disp", "Displacement"}};
        for (const auto& map : kMaps) {
            const std::string name = KSN_ChannelMapName(material->GetChannelFromName(map[1]));
            if (!name.empty()) std::fprintf(file, "%s %s\n", map[0], name.c_str());
        }
    }
    const bool written = !std::ferror(file);
    return std::fclose(file) == 0 && written;
}
