// The OBJ reader. Index:
//   [SECTION] Text scanning    whole-file buffer, lines, words and numbers
//   [SECTION] Corners          LoadObjPolygon
//   [SECTION] Reading a file   stretches of lines, the counting and parsing passes, the finish
#include "KSN_ObjReader.h"

#include "KSN_MtlFile.h"
#include "OS.h"
#include "QORLanguage.h"
#include "QORMaterial.h"
#include "QORThreads.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

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

// Walks the lines of a buffer; counts line numbers
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
        while (e < End && !IsLineEnd(*e)) ++e;
        end = e;
        ++Number;
        if (e < End) {
            P = e + 1;
            if (*e == '\r' && P < End && *P == '\n') ++P;
        } else {
            P = End;   // the last line has no line end
        }
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

// The file's text: mapped into memory when it is a regular file without NUL
// bytes, else read into a buffer with the NUL bytes dropped (they carry
// nothing in a text file, and dropping them keeps names whole).
class TFileText {
public:
    TFileText() = default;
    ~TFileText()
    {
        if (Map) ::munmap(Map, MapSize);
    }
    TFileText(const TFileText&) = delete;
    TFileText& operator=(const TFileText&) = delete;

    // False when the file cannot be opened or read.
    bool Open(const char* path)
    {
        const int fd = ::open(path, O_RDONLY);
        if (fd < 0) return false;
        struct stat info;
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
            void* map = ::mmap(nullptr, size_t(info.st_size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
            if (map != MAP_FAILED) {
                if (!std::memchr(map, 0, size_t(info.st_size))) {
                    Map = map;
                    MapSize = size_t(info.st_size);
                    ::close(fd);
                    return true;
                }
                ::munmap(map, size_t(info.st_size));
            }
        }
        ::close(fd);
        return ReadCopy(path);
    }
    const char* Begin() const { return Map ? static_cast<const char*>(Map) : Copy.data(); }
    const char* End() const { return Begin() + (Map ? MapSize : Copy.size()); }

private:
    bool ReadCopy(const char* path)
    {
        FILE* file = std::fopen(path, "rb");
        if (!file) return false;
        std::unique_ptr<FILE, int (*)(FILE*)> closer(file, std::fclose);
        char chunk[1 << 16];
        for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
            for (size_t i = 0; i < n; ++i)
                if (chunk[i]) Copy.push_back(chunk[i]);
        return !std::ferror(file);
    }

    void* Map = nullptr;
    size_t MapSize = 0;
    std::vector<char> Copy;
};

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

namespace {

// The corners of one polygon line into out (KSN_OBJ_MAX_CORNERS entries);
// the number read, 0 when a corner has no known form. Throws
// std::out_of_range for a corner naming an item the file does not hold.
int ParseCorners(const char* text, const char* end, int verticesSoFar, int textureVerticesSoFar, int vertexTotal,
                 int textureTotal, TQORPolygonPoint* out)
{
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

        TQORPolygonPoint& corner = out[count++];
        corner.V = ResolveIndex(v, verticesSoFar, vertexTotal, "vertex", "vertices");
        corner.VT = (t == 0 || textureVerticesSoFar == 0)
                        ? -1
                        : ResolveIndex(t, textureVerticesSoFar, textureTotal, "texture vertex", "texture vertices");
    }
    return count;
}

} // namespace

int LoadObjPolygon(const char* text, const char* end, int material, int group, TQORPolygon* polygon,
                   int verticesSoFar, int textureVerticesSoFar, const TKSN_ObjCornerLimits* limits)
{
    assert(polygon && "LoadObjPolygon needs a polygon to fill");
    TQORPolygonPoint corners[KSN_OBJ_MAX_CORNERS];
    const int count = ParseCorners(text, end, verticesSoFar, textureVerticesSoFar,
                                   limits ? limits->VertexTotal : verticesSoFar,
                                   limits ? limits->TextureVertexTotal : textureVerticesSoFar, corners);
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
//
// The buffer is cut into stretches of whole lines, one per worker. Pass 1
// counts each stretch's items and notes its state lines ("g", "usemtl",
// InternalName comments, "mtllib"); those few lines are then replayed in file
// order on this thread, which makes the groups and materials in the order the
// file names them and gives every stretch the group and material it starts
// with. Pass 2 parses each stretch into the mesh's arrays at the stretch's
// offsets. Polygon corners are kept per stretch and handed to the polygons
// afterwards on this thread, because the corner pools are not shared between
// threads. The first fault in file order is the one reported.

namespace {

size_t MinChunkBytes = 1 << 20;

struct TCounts {
    int Vertices = 0, TextureVertices = 0, Polygons = 0, Lines = 0;
    long TextLines = 0;
};

enum class TStateKind { Group, InternalName, Material, Library };

struct TStateLine {
    TStateKind Kind;
    const char* Begin;
    const char* End;
    long Line;   // within the stretch, from 1
};

// The group and material in force after a state line.
struct TReadState {
    int Group = -1;
    int Material = -1;
};

struct TFault {
    long Line = 0;   // in the file; 0: none
    std::string What;
    void Keep(long line, const std::string& what)
    {
        if (Line == 0 || line < Line) {
            Line = line;
            What = what;
        }
    }
};

// One stretch of whole lines.
struct TChunk {
    const char* Begin = nullptr;
    const char* End = nullptr;
    bool MainThread = false;   // progress may be reported from here
    bool HonourInternalNames = false;
    // Pass 1
    TCounts Counts;
    std::vector<TStateLine> StateLines;
    // Where the stretch starts in the file
    int FirstVertex = 0, FirstTextureVertex = 0, FirstPolygon = 0;
    long FirstLine = 0;
    size_t FirstState = 0;   // its first state line's number among the file's
    // Pass 2
    TQORPolyMesh* Mesh = nullptr;
    const std::vector<TReadState>* States = nullptr;
    TKSN_ObjCornerLimits Limits;
    std::vector<TQORPolygonPoint> Corners;   // of every polygon of the stretch, in order
    std::vector<int> CornerCounts;           // per polygon; 0: left without corners
    TFault Fault;
};

bool IsInternalNameComment(const char* begin, const char* end)
{
    if (end - begin < 3) return false;
    TLine inner;
    SplitLine(inner, begin + 2, end);
    return size_t(inner.KeyEnd - inner.Key) == 13 && QORstrncmpi(inner.Key, "InternalName:", 13) == 0;
}

void* CountChunk(void* data)
{
    TChunk& chunk = *static_cast<TChunk*>(data);
    TCounts& c = chunk.Counts;
    TLineWalker walker(chunk.Begin, chunk.End);
    const char *b, *e;
    while (walker.Next(b, e)) {
        const char* k = SkipBlanks(b, e);
        const char* ke = k;
        while (ke < e && !IsBlank(*ke)) ++ke;
        const size_t n = size_t(ke - k);
        if (n == 1) {
            switch (*k) {
            case 'v': ++c.Vertices; continue;
            case 'f': ++c.Polygons; continue;
            case 'l': ++c.Lines; continue;
            case 'g': chunk.StateLines.push_back({TStateKind::Group, b, e, walker.LineNumber()}); continue;
            default: break;
            }
        } else if (n == 2) {
            if (k[0] == 'v' && k[1] == 't') {
                ++c.TextureVertices;
                continue;
            }
            if (k[0] == 'f' && k[1] == 'o') {
                ++c.Polygons;
                continue;
            }
        } else if (n == 6 && std::memcmp(k, "usemtl", 6) == 0) {
            chunk.StateLines.push_back({TStateKind::Material, b, e, walker.LineNumber()});
            continue;
        }
        if (b < e && *b == '#') {
            if (chunk.HonourInternalNames && IsInternalNameComment(b, e))
                chunk.StateLines.push_back({TStateKind::InternalName, b, e, walker.LineNumber()});
        } else if (e - b >= 6 && std::memcmp(b, "mtllib", 6) == 0) {
            chunk.StateLines.push_back({TStateKind::Library, b, e, walker.LineNumber()});
        }
    }
    c.TextLines = walker.LineNumber();
    return nullptr;
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

void* ParseChunk(void* data)
{
    TChunk& chunk = *static_cast<TChunk*>(data);
    TQORPolyMesh* mesh = chunk.Mesh;
    TReadState state = chunk.FirstState > 0 ? (*chunk.States)[chunk.FirstState - 1] : TReadState{};
    size_t nextState = 0;
    int vertices = chunk.FirstVertex, textureVertices = chunk.FirstTextureVertex, polygon = chunk.FirstPolygon;
    chunk.CornerCounts.reserve(size_t(chunk.Counts.Polygons));
    chunk.Corners.reserve(size_t(chunk.Counts.Polygons) * 4);
    TQORPolygonPoint corners[KSN_OBJ_MAX_CORNERS];

    TLineWalker walker(chunk.Begin, chunk.End);
    const char *b, *e;
    TLine line;
    try {
        while (walker.Next(b, e)) {
            if (chunk.MainThread && walker.LineNumber() % kProgressLines == 0) OS.DoProgress();
            if (nextState < chunk.StateLines.size() && chunk.StateLines[nextState].Begin == b) {
                state = (*chunk.States)[chunk.FirstState + nextState++];
                continue;
            }
            if (b == e) continue;
            SplitLine(line, b, e);
            const char* k = line.Key;
            const size_t n = size_t(line.KeyEnd - line.Key);
            if (n == 1 && *k == 'v') {
                ReadFloats(line, mesh->baseVertices + 3 * size_t(vertices), 3);
                ++vertices;
            } else if (n == 2 && k[0] == 'v' && k[1] == 't') {
                ReadFloats(line, mesh->tVertices + 2 * size_t(textureVertices), 2);
                ++textureVertices;
            } else if ((n == 1 && *k == 'f') || (n == 2 && k[0] == 'f' && k[1] == 'o')) {
                // The corners start one character after the keyword.
                const char* text = std::min(line.KeyEnd + 1, line.End);
                int count = ParseCorners(text, line.End, vertices, textureVertices, chunk.Limits.VertexTotal,
                                         chunk.Limits.TextureVertexTotal, corners);
                if (count < 3) count = 0;
                if (count) {
                    chunk.Corners.insert(chunk.Corners.end(), corners, corners + count);
                    mesh->Polygons[polygon].Material = int16_t(state.Material);
                    mesh->Polygons[polygon].Group = int16_t(state.Group);
                }
                chunk.CornerCounts.push_back(count);
                ++polygon;
            }
        }
    } catch (const std::out_of_range& fault) {
        chunk.Fault.Keep(chunk.FirstLine + walker.LineNumber(), fault.what());
    }
    return nullptr;
}

// Runs job over the chunks: on the pool when it is free, else here.
void RunChunks(std::vector<TChunk>& chunks, TQORThreadFunc job, TThreadCruncher* pool)
{
    if (!pool || chunks.size() == 1) {
        for (TChunk& chunk : chunks) job(&chunk);
        return;
    }
    int n = int(chunks.size());
    pool->Initialize(n);
    for (int i = 0; i < n; ++i) pool->PushFunction(i, job, &chunks[size_t(i)]);
    pool->WaitForCompletion();
}

// Stretches of whole lines, about equal in size; a CR LF pair is never cut.
std::vector<TChunk> CutIntoChunks(const char* begin, const char* end, int wanted)
{
    const size_t size = size_t(end - begin);
    int count = std::max(1, std::min<int>(wanted, int(size / std::max<size_t>(MinChunkBytes, 1))));
    std::vector<TChunk> chunks;
    const char* start = begin;
    for (int i = 1; i <= count && start < end; ++i) {
        const char* stop = end;
        if (i < count) {
            stop = std::max(start, begin + size * size_t(i) / size_t(count));
            while (stop < end && !IsLineEnd(*stop)) ++stop;
            if (stop < end) {
                const bool cr = *stop == '\r';
                ++stop;
                if (cr && stop < end && *stop == '\n') ++stop;
            }
        }
        TChunk chunk;
        chunk.Begin = start;
        chunk.End = stop;
        chunks.push_back(std::move(chunk));
        start = stop;
    }
    chunks.front().MainThread = true;
    return chunks;
}

// Empties a mesh that a refused file had started to fill.
void EmptyMesh(TQORPolyMesh* mesh)
{
    mesh->Create(0, 0, 0, 0);
    mesh->Groups2->Empty();
    mesh->Materials->Empty();
    mesh->MaterialLibrary.clear();
}

// The state lines in file order: groups and materials made in the order the
// file names them, and the state after each line.
class TStateReplay {
public:
    explicit TStateReplay(TQORPolyMesh* mesh) : Mesh(mesh) {}

    void Run(const std::vector<TChunk>& chunks, std::vector<TReadState>& states, TFault& fault)
    {
        TReadState state;
        for (const TChunk& chunk : chunks)
            for (const TStateLine& stateLine : chunk.StateLines) {
                if (!fault.Line) {
                    try {
                        Apply(stateLine, state);
                    } catch (const std::out_of_range& error) {
                        fault.Keep(chunk.FirstLine + stateLine.Line, error.what());
                    }
                }
                states.push_back(state);
            }
    }

    bool SawMaterial = false;

private:
    void Apply(const TStateLine& stateLine, TReadState& state)
    {
        TLine line;
        SplitLine(line, stateLine.Begin, stateLine.End);
        switch (stateLine.Kind) {
        case TStateKind::Group:
            if (!InternalNameSeen) state.Group = FindOrMakeGroup(line.Parameter());
            break;
        case TStateKind::InternalName: {
            TLine inner;
            SplitLine(inner, line.Begin + 2, line.End);
            state.Group = FindOrMakeGroup(inner.Parameter());
            InternalNameSeen = true;
            break;
        }
        case TStateKind::Material:
            state.Material = FindOrMakeMaterial(line.Parameter());
            SawMaterial = true;
            break;
        case TStateKind::Library: Mesh->MaterialLibrary = line.Parameter(); break;
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

    TQORPolyMesh* Mesh;
    THashTable<TQORGroup2*> GroupTable;
    THashTable<TQORMaterial*> MaterialTable;
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

// Both passes; throws TKSN_FileFormatError for the first fault of the file.
TCounts ReadChunks(const char* path, const char* begin, const char* end, TQORPolyMesh* mesh,
                   bool honourInternalNames, bool& sawMaterial)
{
    if (!ThreadCruncher) ThreadCruncher_Initialize();
    TThreadCruncher_Releaser releaser;
    TThreadCruncher* pool = ThreadCruncher && ThreadCruncher->TryStartUsing(releaser) ? ThreadCruncher : nullptr;
    std::vector<TChunk> chunks = CutIntoChunks(begin, end, pool ? pool->GetSlotCount() : 1);
    for (TChunk& chunk : chunks) chunk.HonourInternalNames = honourInternalNames;

    RunChunks(chunks, CountChunk, pool);
    TCounts total;
    size_t states = 0;
    for (TChunk& chunk : chunks) {
        chunk.FirstVertex = total.Vertices;
        chunk.FirstTextureVertex = total.TextureVertices;
        chunk.FirstPolygon = total.Polygons;
        chunk.FirstLine = total.TextLines;
        chunk.FirstState = states;
        total.Vertices += chunk.Counts.Vertices;
        total.TextureVertices += chunk.Counts.TextureVertices;
        total.Polygons += chunk.Counts.Polygons;
        total.Lines += chunk.Counts.Lines;
        total.TextLines += chunk.Counts.TextLines;
        states += chunk.StateLines.size();
    }
    mesh->Create(total.Vertices, total.TextureVertices, total.Vertices, total.Polygons);

    TFault fault;
    std::vector<TReadState> stateAfter;
    stateAfter.reserve(states);
    TStateReplay replay(mesh);
    replay.Run(chunks, stateAfter, fault);
    sawMaterial = replay.SawMaterial;

    for (TChunk& chunk : chunks) {
        chunk.Mesh = mesh;
        chunk.States = &stateAfter;
        chunk.Limits = {total.Vertices, total.TextureVertices};
    }
    RunChunks(chunks, ParseChunk, pool);
    for (const TChunk& chunk : chunks)
        if (chunk.Fault.Line) fault.Keep(chunk.Fault.Line, chunk.Fault.What);
    if (fault.Line) throw TKSN_FileFormatError(KSN_FileErrorText(path, fault.Line, fault.What));

    for (const TChunk& chunk : chunks) {
        const TQORPolygonPoint* corners = chunk.Corners.data();
        int polygon = chunk.FirstPolygon;
        for (int count : chunk.CornerCounts) {
            TQORPolygon& target = mesh->Polygons[polygon++];
            if (count && target.SetCount(unsigned(count)))
                std::memcpy(target.Points, corners, sizeof(TQORPolygonPoint) * size_t(count));
            corners += count;
        }
    }
    return total;
}

} // namespace

void KSN_SetObjReaderChunkBytes(size_t bytes) { MinChunkBytes = bytes ? bytes : size_t(1) << 20; }

bool ReadObjData(const char* path, TQORPolyMesh* mesh, bool honourInternalNames)
{
    assert(mesh && "ReadObjData needs a mesh to fill");
    TFileText text;
    if (!path || !text.Open(path)) return false;
    // An empty file has no text to cut into chunks: it has no vertices.
    if (!text.Begin() || text.Begin() == text.End()) {
        OS.WarningMessage("%s", Lang.GetText(kNoVerticesText));
        return false;
    }

    bool sawMaterial = false;
    TCounts counts;
    try {
        counts = ReadChunks(path, text.Begin(), text.End(), mesh, honourInternalNames, sawMaterial);
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

    if (!sawMaterial) {
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
