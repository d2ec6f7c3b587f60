// The OBJ reader. Index:
//   [SECTION] Text scanning    whole-file buffer, lines, words and numbers
//   [SECTION] Corners          LoadObjPolygon
//   [SECTION] Reading a file   the sizing pass, the reading pass, the finish
#include "KSN_ObjReader.h"

#include "KSN_MtlFile.h"
#include "OS.h"
#include "QORLanguage.h"
#include "QORMaterial.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

namespace {

constexpr int kNoVerticesText = 1069;   // "This OBJ file has no vertices!"
constexpr int kProgressLines = 8000;

// ============================================================================
// [SECTION] Text scanning
// ============================================================================

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLineEnd(char c) { return c == '\n' || c == '\r'; }

const char* SkipBlanks(const char* p, const char* end)
{
    while (p < end && IsBlank(*p)) ++p;
    return p;
}

// One line split as GetCommandAndParameter splits it: the first word, and
// the rest without surrounding blanks, tabs and line ends.
struct TLine {
    const char* Begin = nullptr;   // the line's first character
    const char* End = nullptr;     // one past its last
    const char* Key = nullptr;
    const char* KeyEnd = nullptr;
    const char* Param = nullptr;
    const char* ParamEnd = nullptr;

    bool KeyIs(const char* word) const
    {
        const size_t n = std::strlen(word);
        return size_t(KeyEnd - Key) == n && std::memcmp(Key, word, n) == 0;
    }
    std::string Parameter() const { return std::string(Param, ParamEnd); }
};

void SplitLine(TLine& line, const char* begin, const char* end)
{
    line.Begin = begin;
    line.End = end;
    const char* p = SkipBlanks(begin, end);
    line.Key = p;
    while (p < end && !IsBlank(*p)) ++p;
    line.KeyEnd = p;
    p = SkipBlanks(p, end);
    const char* e = end;
    while (e > p && IsBlank(e[-1])) --e;
    line.Param = p;
    line.ParamEnd = e;
}

// Walks the lines of a buffer that ends with a line end; counts line numbers
// as an editor shows them (CR LF is one line end).
class TLineWalker {
public:
    TLineWalker(const char* begin, const char* end) : P(begin), End(end) {}

    // The next line (possibly empty); false at the end of the buffer.
    bool Next(const char*& begin, const char*& end)
    {
        if (P >= End) return false;
        begin = P;
        const char* e = P;
        while (!IsLineEnd(*e)) ++e;   // the buffer ends with '\n'
        end = e;
        ++Number;
        P = e + 1;
        if (*e == '\r' && P < End && *P == '\n') ++P;
        return true;
    }
    long LineNumber() const { return Number; }

private:
    const char* P;
    const char* End;
    long Number = 0;
};

// "%f" without sscanf: blanks skipped, an optional sign, then the longest
// number text; correctly rounded like strtof. False when no number starts
// here. A number beyond float becomes infinity, as strtof gives it.
bool ParseFloat(const char*& p, const char* end, float& value)
{
    p = SkipBlanks(p, end);
    const char* start = p;
    if (p < end && *p == '+') ++p;
    auto [next, ec] = std::from_chars(p, end, value, std::chars_format::general);
    if (ec == std::errc::invalid_argument) {
        p = start;
        return false;
    }
    if (ec == std::errc::result_out_of_range) {
        // Rare: let the runtime decide between infinity and an underflow.
        std::string text(start, next);
        value = std::strtof(text.c_str(), nullptr);
    }
    p = next;
    return true;
}

enum class TIntResult { None, Ok, TooLarge };

// "%d": an optional sign and digits. TooLarge for a value beyond int (the
// digits are still stepped over, and value holds what was read so far).
TIntResult ParseInt(const char*& p, const char* end, long long& value)
{
    const char* q = p;
    bool negative = false;
    if (q < end && (*q == '-' || *q == '+')) {
        negative = *q == '-';
        ++q;
    }
    if (q >= end || *q < '0' || *q > '9') return TIntResult::None;
    long long v = 0;
    bool tooLarge = false;
    for (; q < end && *q >= '0' && *q <= '9'; ++q) {
        if (!tooLarge) {
            v = v * 10 + (*q - '0');
            if (v > (long long)INT_MAX + 1) tooLarge = true;
        }
    }
    value = negative ? -v : v;
    p = q;
    if (tooLarge || value > INT_MAX || value < INT_MIN) return TIntResult::TooLarge;
    return TIntResult::Ok;
}

// Reads the file whole, with a '\n' appended so that every line ends.
// False when it cannot be opened or read.
bool ReadWholeFile(const char* path, std::vector<char>& buffer)
{
    FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    std::unique_ptr<FILE, int (*)(FILE*)> closer(file, std::fclose);
    buffer.clear();
    if (std::fseek(file, 0, SEEK_END) == 0) {
        const long size = std::ftell(file);
        if (size > 0) buffer.reserve(size_t(size) + 1);
        std::rewind(file);
    }
    char chunk[1 << 16];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) buffer.insert(buffer.end(), chunk, chunk + n);
    if (std::ferror(file)) return false;
    // NUL bytes carry nothing in a text file; dropping them keeps names whole.
    if (std::memchr(buffer.data(), 0, buffer.size()))
        buffer.erase(std::remove(buffer.begin(), buffer.end(), '\0'), buffer.end());
    buffer.push_back('\n');
    return true;
}

std::string BaseName(const char* path)
{
    std::string s = path ? path : "";
    const size_t slash = s.find_last_of("/\\");
    return slash == std::string::npos ? s : s.substr(slash + 1);
}

} // namespace

std::string KSN_FileErrorText(const char* path, long line, const std::string& what)
{
    return QORFormat("Cannot read \"%s\", line %ld: %s", BaseName(path).c_str(), line, what.c_str());
}

// ============================================================================
// [SECTION] Corners
// ============================================================================

namespace {

// One corner's index, checked: positive numbers count the file's items
// (1..total), negative ones back from the items read so far.
int ResolveIndex(long long number, int soFar, int total, const char* what, const char* whats)
{
    long long index = number > 0 ? number - 1 : soFar + number;
    if (number > 0 && number > total)
        throw std::out_of_range(
            QORFormat("face refers to %s %lld, but the file defines %d %s.", what, number, total, whats));
    if (index < 0)
        throw std::out_of_range(QORFormat("face refers to %s %lld, but only %d %s come before this line.", what,
                                          number, soFar, whats));
    return int(index);
}

} // namespace

int LoadObjPolygon(const char* text, const char* end, int material, int group, TQORPolygon* polygon,
                   int verticesSoFar, int textureVerticesSoFar, const TKSN_ObjCornerLimits* limits)
{
    assert(polygon && "LoadObjPolygon needs a polygon to fill");
    const int vertexTotal = limits ? limits->VertexTotal : verticesSoFar;
    const int textureTotal = limits ? limits->TextureVertexTotal : textureVerticesSoFar;
    TQORPolygonPoint corners[KSN_OBJ_MAX_CORNERS];
    int count = 0;
    const char* p = SkipBlanks(text, end);
    while (p < end && count < KSN_OBJ_MAX_CORNERS) {
        long long v = 0, t = 0, n = 0;
        const char* number = p;
        TIntResult r = ParseInt(p, end, v);
        if (r == TIntResult::None) return 0;   // a corner of no known form: the polygon stays empty
        if (r == TIntResult::TooLarge)
            throw std::out_of_range(QORFormat("face refers to vertex %.*s, which is beyond the largest index.",
                                              int(std::min<ptrdiff_t>(p - number, 40)), number));
        if (p < end && *p == '/') {
            ++p;
            if (p < end && *p == '/') {   // v//n
                ++p;
                if (ParseInt(p, end, n) == TIntResult::TooLarge)
                    throw std::out_of_range("face refers to a normal beyond the largest index.");
            } else {
                const char* texture = p;
                TIntResult rt = ParseInt(p, end, t);
                if (rt == TIntResult::TooLarge)
                    throw std::out_of_range(
                        QORFormat("face refers to texture vertex %.*s, which is beyond the largest index.",
                                  int(std::min<ptrdiff_t>(p - texture, 40)), texture));
                if (rt == TIntResult::Ok && p < end && *p == '/') {   // v/t/n
                    ++p;
                    if (ParseInt(p, end, n) == TIntResult::TooLarge)
                        throw std::out_of_range("face refers to a normal beyond the largest index.");
                }
            }
        }
        if (v == 0) break;
        // Step over whatever else the corner's word holds, then the blanks.
        while (p < end && !IsBlank(*p)) ++p;
        p = SkipBlanks(p, end);

        TQORPolygonPoint& corner = corners[count++];
        corner.V = ResolveIndex(v, verticesSoFar, vertexTotal, "vertex", "vertices");
        corner.VT = (t == 0 || textureVerticesSoFar == 0)
                        ? -1
                        : ResolveIndex(t, textureVerticesSoFar, textureTotal, "texture vertex", "texture vertices");
    }
    if (count < 3) return 0;
    if (!polygon->SetCount(unsigned(count))) return 0;
    std::memcpy(polygon->Points, corners, sizeof(TQORPolygonPoint) * size_t(count));
    polygon->Material = int16_t(material);
    polygon->Group = int16_t(group);
    return count;
}

int LoadObjPolygon(const char* text, int material, int group, TQORPolygon* polygon, int verticesSoFar,
                   int textureVerticesSoFar, const TKSN_ObjCornerLimits* limits)
{
    return LoadObjPolygon(text, text + std::strlen(text), material, group, polygon, verticesSoFar,
                          textureVerticesSoFar, limits);
}

// ============================================================================
// [SECTION] Reading a file
// ============================================================================

namespace {

struct TCounts {
    int Vertices = 0, TextureVertices = 0, Polygons = 0, Lines = 0;
};

// Pass 1: what the mesh must hold.
TCounts CountItems(const char* begin, const char* end)
{
    TCounts c;
    TLineWalker walker(begin, end);
    const char *b, *e;
    while (walker.Next(b, e)) {
        const char* k = SkipBlanks(b, e);
        const char* ke = k;
        while (ke < e && !IsBlank(*ke)) ++ke;
        const size_t n = size_t(ke - k);
        if (n == 1) {
            if (*k == 'v') ++c.Vertices;
            else if (*k == 'f') ++c.Polygons;
            else if (*k == 'l') ++c.Lines;
        } else if (n == 2) {
            if (k[0] == 'v' && k[1] == 't') ++c.TextureVertices;
            else if (k[0] == 'f' && k[1] == 'o') ++c.Polygons;
        }
    }
    return c;
}

// Empties a mesh that a refused file had started to fill.
void EmptyMesh(TQORPolyMesh* mesh)
{
    mesh->Create(0, 0, 0, 0);
    mesh->Groups2->Empty();
    mesh->Materials->Empty();
    mesh->MaterialLibrary.clear();
}

// The reading pass and its running state.
class TObjReadingPass {
public:
    TObjReadingPass(const char* path, TQORPolyMesh* mesh, bool honourInternalNames, const TCounts& totals)
        : Path(path), Mesh(mesh), HonourInternalNames(honourInternalNames)
    {
        Limits.VertexTotal = totals.Vertices;
        Limits.TextureVertexTotal = totals.TextureVertices;
    }

    void Run(const char* begin, const char* end)
    {
        TLineWalker walker(begin, end);
        const char *b, *e;
        TLine line;
        while (walker.Next(b, e)) {
            if (walker.LineNumber() % kProgressLines == 0) OS.DoProgress();
            if (b == e) continue;
            SplitLine(line, b, e);
            try {
                ConsiderLine(line);
            } catch (const std::out_of_range& error) {
                throw TKSN_FileFormatError(KSN_FileErrorText(Path, walker.LineNumber(), error.what()));
            }
        }
    }

    bool SawMaterial = false;

private:
    void ConsiderLine(const TLine& line)
    {
        const char* k = line.Key;
        const size_t n = size_t(line.KeyEnd - line.Key);
        if (n == 1 && *k == 'g') {
            if (!InternalNameSeen) CurrentGroup = FindOrMakeGroup(line.Parameter());
        } else if (*line.Begin == '#') {
            if (HonourInternalNames) ConsiderComment(line);
        } else if (n == 1 && *k == 'v') {
            ReadFloats(line, Mesh->baseVertices + 3 * size_t(Vertices), 3);
            ++Vertices;
        } else if (n == 2 && k[0] == 'v' && k[1] == 't') {
            ReadFloats(line, Mesh->tVertices + 2 * size_t(TextureVertices), 2);
            ++TextureVertices;
        } else if ((n == 1 && *k == 'f') || (n == 2 && k[0] == 'f' && k[1] == 'o')) {
            // The corners start one character after the keyword.
            const char* text = std::min(line.KeyEnd + 1, line.End);
            LoadObjPolygon(text, line.End, CurrentMaterial, CurrentGroup, &Mesh->Polygons[Polygons], Vertices,
                           TextureVertices, &Limits);
            ++Polygons;
        } else if (line.KeyIs("usemtl")) {
            CurrentMaterial = FindOrMakeMaterial(line.Parameter());
            SawMaterial = true;
        } else if (line.End - line.Begin >= 6 && std::memcmp(line.Begin, "mtllib", 6) == 0) {
            Mesh->MaterialLibrary = line.Parameter();
        }
    }

    void ConsiderComment(const TLine& line)
    {
        if (line.End - line.Begin < 3) return;
        TLine inner;
        SplitLine(inner, line.Begin + 2, line.End);
        if (size_t(inner.KeyEnd - inner.Key) == 13 && QORstrncmpi(inner.Key, "InternalName:", 13) == 0) {
            CurrentGroup = FindOrMakeGroup(inner.Parameter());
            InternalNameSeen = true;
        }
    }

    // "%f %f %f": as many numbers as the line holds, each checked to be finite.
    void ReadFloats(const TLine& line, float* out, int count)
    {
        const char* p = line.Param;
        for (int i = 0; i < count; ++i) {
            float value;
            if (!ParseFloat(p, line.ParamEnd, value)) return;
            if (!std::isfinite(value))
                throw std::out_of_range(QORFormat("\"%.*s\" holds a coordinate that is not a finite number.",
                                                  int(std::min<ptrdiff_t>(line.End - line.Begin, 80)), line.Begin));
            out[i] = value;
        }
    }

    int FindOrMakeGroup(const std::string& name)
    {
        if (const auto* node = GroupTable.Find(name.c_str())) return node->Value->Index;
        const int count = Mesh->Groups2->GetItemCount();
        if (count >= KSN_OBJ_MAX_NAMED)
            throw std::out_of_range(QORFormat("the file names more than %d polygon groups.", KSN_OBJ_MAX_NAMED));
        auto* group = new TQORGroup2();
        // Literally: group names of figure files carry ':' suffixes the writers cut.
        group->TQORThingy::SetName("%s", name.c_str());
        group->Index = count;
        Mesh->Groups2->AddItem(group);
        GroupTable.AddItem(name.c_str(), group);
        return count;
    }

    int FindOrMakeMaterial(const std::string& name)
    {
        if (const auto* node = MaterialTable.Find(name.c_str())) return node->Value->MaterialIndex;
        const int count = Mesh->Materials->GetItemCount();
        if (count >= KSN_OBJ_MAX_NAMED)
            throw std::out_of_range(QORFormat("the file names more than %d materials.", KSN_OBJ_MAX_NAMED));
        TQORMaterial* material = KSN_NewMaterial(nullptr);
        material->TQORThingy::SetName("%s", name.c_str());
        material->MaterialIndex = count;
        Mesh->Materials->AddItem(material);
        MaterialTable.AddItem(name.c_str(), material);
        return count;
    }

    const char* Path;
    TQORPolyMesh* Mesh;
    bool HonourInternalNames;
    TKSN_ObjCornerLimits Limits;
    THashTable<TQORGroup2*> GroupTable;
    THashTable<TQORMaterial*> MaterialTable;
    int Vertices = 0, TextureVertices = 0, Polygons = 0;
    int CurrentMaterial = -1, CurrentGroup = -1;
    bool InternalNameSeen = false;
};

// The file range record's name: file name without folder and extension,
// the file name when that is empty, the whole path when that is empty too.
std::string FileRecordName(const char* path)
{
    std::string name = BaseName(path);
    std::string stem = name;
    const size_t dot = stem.find_last_of('.');
    if (dot != std::string::npos && dot > 0) stem.erase(dot);
    if (!stem.empty()) return stem;
    if (!name.empty()) return name;
    return path;
}

} // namespace

bool ReadObjData(const char* path, TQORPolyMesh* mesh, bool honourInternalNames)
{
    assert(mesh && "ReadObjData needs a mesh to fill");
    std::vector<char> buffer;
    if (!path || !ReadWholeFile(path, buffer)) return false;
    const char* begin = buffer.data();
    const char* end = begin + buffer.size();

    const TCounts counts = CountItems(begin, end);
    mesh->Create(counts.Vertices, counts.TextureVertices, counts.Vertices, counts.Polygons);

    TObjReadingPass pass(path, mesh, honourInternalNames, counts);
    try {
        pass.Run(begin, end);
    } catch (...) {
        EmptyMesh(mesh);
        throw;
    }

    if (counts.Vertices == 0) {
        OS.WarningMessage("%s", Lang.GetText(kNoVerticesText));
        return false;
    }

    auto* record = new TQORGroup();
    const std::string recordName = FileRecordName(path);
    record->SetName("%s", recordName.c_str());
    const int last[5] = {counts.Vertices - 1, counts.TextureVertices - 1, counts.Vertices - 1, counts.Polygons - 1,
                         counts.Lines - 1};
    for (int i = 0; i < 5; ++i) {
        record->Ranges[2 * i] = 0;
        record->Ranges[2 * i + 1] = last[i];
    }
    mesh->Groups->Add(record);

    if (!pass.SawMaterial) {
        TQORMaterial* material = KSN_NewMaterial(nullptr);
        material->TQORThingy::SetName("%s", recordName.c_str());
        material->MaterialIndex = 0;
        mesh->Materials->AddItem(material);
        for (int p = 0; p < mesh->polygonCount; ++p) mesh->Polygons[p].Material = 0;
    }

    LoadMTLFile(mesh, path);
    // Nothing is morphed yet: the shape the normals and bounds are taken from is the file's.
    mesh->CopyBaseVerticesToResolvedVertices();
    mesh->AfterRawBuild();
    OS.DoProgress();
    return true;
}

bool LoadObjData(const char* path, TQORPolyMesh* mesh, bool honourInternalNames)
{
    try {
        return ReadObjData(path, mesh, honourInternalNames);
    } catch (const TKSN_FileFormatError& error) {
        OS.WarningMessage("%s", error.what());
        return false;
    }
}
