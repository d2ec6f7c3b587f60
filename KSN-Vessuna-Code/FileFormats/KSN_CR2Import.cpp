// Importing figure files: the line parser, path conversions and the import.
//
// Index:
//   [SECTION] Numbers
//   [SECTION] Parser
//   [SECTION] Paths
//   [SECTION] Import
#include "KSN_CR2Import.h"

#include "KSN_Application.h"
#include "KSN_CR2StringRes.h"
#include "KSN_CR2_Internal.h"
#include "KSN_Mesh.h"
#include "KSN_Morph.h"
#include "KSN_MorphSelectionTree.h"
#include "KSN_Object.h"
#include "KSN_Project.h"
#include "OS.h"
#include "QORLanguage.h"
#include "QORMaterial.h"
#include "QORString.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

// ---------------------------------------------------------------------------
// [SECTION] Numbers
// ---------------------------------------------------------------------------

namespace {

bool ParseIntAt(const char*& text, int& value)
{
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text, &end, 10);
    if (end == text || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
    value = int(v);
    text = end;
    return true;
}

bool ParseFloatAt(const char*& text, float& value)
{
    char* end = nullptr;
    const float v = std::strtof(text, &end);
    if (end == text || !std::isfinite(v)) return false;
    value = v;
    text = end;
    return true;
}

}  // namespace

bool CR2_ParseInt(const char* text, int& value) { return text && ParseIntAt(text, value); }

bool CR2_ParseFloat(const char* text, float& value) { return text && ParseFloatAt(text, value); }

bool CR2_ParseDeltaLine(const char* text, int& index, float& x, float& y, float& z)
{
    return text && ParseIntAt(text, index) && ParseFloatAt(text, x) && ParseFloatAt(text, y) &&
           ParseFloatAt(text, z);
}

// ---------------------------------------------------------------------------
// [SECTION] Parser
// ---------------------------------------------------------------------------

TJoinFullBodyMorphsNode::TJoinFullBodyMorphsNode() : list(new TQORNewStaticList<TJoinFullBodyMorphs_MorphNode*>(1)) {}

TJoinFullBodyMorphsNode::~TJoinFullBodyMorphsNode()
{
    for (TJoinFullBodyMorphs_MorphNode* node : *list) delete node;
    delete list;
}

TKSN_CR2Parser::TKSN_CR2Parser(const char* path) : path(path ? path : "") {}

namespace {

void SplitLine(const char* line, std::string& command, std::string& parameter)
{
    const size_t n = std::strlen(line) + 1;
    command.assign(n, '\0');
    parameter.assign(n, '\0');
    GetCommandAndParameter(line, command.data(), parameter.data());
    command.resize(std::strlen(command.c_str()));
    parameter.resize(std::strlen(parameter.c_str()));
}

}  // namespace

void TKSN_CR2Parser::ConsiderLine(const char* line)
{
    ++lineNumber;
    if (std::strcmp(line, "{") == 0) {
        ++depth;
        return;
    }
    if (std::strcmp(line, "}") == 0) {
        --depth;
        if (depth == actorDepth) inActor = false;
        if (depth == materialDepth) {
            inMaterial = false;
            materialName.clear();
        }
        if (depth == figureDepth) inFigure = false;
        if (depth < 0)
            throw TKSN_CR2Error(QORFormat("Cannot read \"%s\", line %ld: Error reading the CR2 file ( '}' found "
                                          "without a matching '{' )",
                                          path.c_str(), lineNumber));
        return;
    }
    std::string command, parameter;
    SplitLine(line, command, parameter);
    if (QORstrcmpi(command.c_str(), "actor") == 0) {
        inActor = true;
        actorName = parameter;
        actorDepth = depth;
    } else if (QORstrcmpi(command.c_str(), "figureResFile") == 0) {
        figureResFile = parameter;
    } else if (QORstrcmpi(command.c_str(), "figure") == 0) {
        inFigure = true;
        figureDepth = depth;
    } else if (QORstrcmpi(command.c_str(), "material") == 0) {
        materialName = parameter;
        inMaterial = true;
        materialDepth = depth;
    }
}

void TKSN_CR2Parser::Rewind()
{
    lineNumber = 0;
    depth = 0;
    actorName.clear();
    actorDepth = 0;
    inActor = false;
    figureDepth = 0;
    inFigure = false;
    materialName.clear();
    materialDepth = 0;
    inMaterial = false;
}

// ---------------------------------------------------------------------------
// [SECTION] Paths
// ---------------------------------------------------------------------------

namespace {

void Trim(std::string& text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    size_t start = 0;
    while (start < text.size() && blank(text[start])) ++start;
    size_t end = text.size();
    while (end > start && blank(text[end - 1])) --end;
    text = text.substr(start, end - start);
}

size_t FindIgnoringCase(const std::string& text, const char* pattern)
{
    const char* at = QORstrstri(text.c_str(), pattern);
    return at ? size_t(at - text.c_str()) : std::string::npos;
}

}  // namespace

void ConvertPoserPath(std::string& path, const std::string& cr2Folder)
{
    for (char& c : path)
        if (c == '"') c = ' ';
    Trim(path);
    CR2_ResolveStringRes(path);

    const size_t runtime = FindIgnoringCase(path, ":Runtime:");
    if (runtime == std::string::npos) {
        if (QORstrcmpi(path.c_str(), "NO_MAP") == 0) path.clear();
    } else if (const size_t folderRuntime = FindIgnoringCase(cr2Folder, "runtime");
               folderRuntime != std::string::npos) {
        // The Runtime folder holding the figure holds the linked file too.
        std::string rest = path.substr(runtime);
        for (char& c : rest)
            if (c == ':') c = '/';
        path = cr2Folder.substr(0, folderRuntime > 0 ? folderRuntime - 1 : 0) + rest;
    } else {
        path = cr2Folder + path.substr(path.rfind(':') + 1);
    }
    Trim(path);
    if (!path.empty() && path[0] == ':') path[0] = ' ';
    Trim(path);
}

bool ConvertPoserPath(char* path, char* cr2Folder)
{
    if (!path) return false;
    std::string text = path;
    ConvertPoserPath(text, cr2Folder ? cr2Folder : "");
    if (text.size() >= size_t(TOS_PATH_BUFFER)) return false;
    std::memcpy(path, text.c_str(), text.size() + 1);
    return true;
}

bool MakeFileNameRuntimeRelative(std::string& path)
{
    const size_t at = FindIgnoringCase(path, "/Runtime/");
    if (at == std::string::npos) return false;
    path = path.substr(at);
    for (char& c : path)
        if (c == '/') c = ':';
    return true;
}

bool MakeFileNameRuntimeRelative(char* path)
{
    if (!path) return false;
    std::string text = path;
    if (!MakeFileNameRuntimeRelative(text)) return false;
    std::memcpy(path, text.c_str(), text.size() + 1);   // never longer than before
    return true;
}

// ---------------------------------------------------------------------------
// [SECTION] Import
// ---------------------------------------------------------------------------

namespace {

// The file's lines, trimmed, passed to the parser; the caller splits them.
class TCR2LineSource {
public:
    TCR2LineSource(FILE* file, TKSN_CR2Parser& parser) : File(file), Parser(parser) {}
    // False at the end of the file.
    bool Next(std::string& line)
    {
        if (!CR2_ReadLine(File, line)) return false;
        Trim(line);
        Parser.ConsiderLine(line.c_str());
        return true;
    }

private:
    FILE* File;
    TKSN_CR2Parser& Parser;
};

TQORGroup2* FindPolygonGroup(TKSN_Mesh* mesh, const std::string& actorName)
{
    for (int i = 0; mesh->Groups2 && i < mesh->Groups2->GetItemCount(); ++i) {
        TQORGroup2* group = mesh->Groups2->GetItemAs(i);
        if (!group) break;
        if (Morph_NamesEqual(group->GetName(), actorName.c_str())) return group;
    }
    return nullptr;
}

TQORMaterial* FindMaterial(TKSN_Mesh* mesh, const std::string& name)
{
    for (int i = 0; mesh->Materials && i < mesh->Materials->GetItemCount(); ++i) {
        TQORMaterial* material = KSN_MaterialFromThingy(mesh->Materials->GetItem(i));
        if (!material) break;
        if (Morph_NamesEqual(material->GetName(), name.c_str())) return material;
    }
    return nullptr;
}

bool IsBodyActor(const std::string& name)
{
    return QORstrcmpi(name.c_str(), "BODY") == 0 || QORstrncmpi(name.c_str(), "BODY:", 5) == 0;
}

// State of the second pass that is not the parser's.
struct TCR2MorphReader {
    TCR2MorphReader(TKSN_CR2Parser& parser, TKSN_Mesh* mesh) : parser(parser), mesh(mesh) {}
    TKSN_CR2Parser& parser;
    TKSN_Mesh* mesh;
    std::set<std::string> customGeometry;
    TKSN_TreeGroup* actorGroup = nullptr;
    TJoinFullBodyMorphsNode* fullBodyNode = nullptr;
    std::string morphName;
    float weight = 1.0f;
    int numbDeltas = 0;
    int indexes = 0;
    bool mismatch = false;
    bool skip = false;

    void StartActor(bool importMorphs);
    void ReadValueOp(TCR2LineSource& source);
    void ReadDeltas(TCR2LineSource& source);
};

void TCR2MorphReader::StartActor(bool importMorphs)
{
    skip = false;
    actorGroup = nullptr;
    if (!importMorphs || !parser.importGroup) return;
    actorGroup = FindGroupFromName(mesh->MorphTree, parser.actorName.c_str());
    if (actorGroup) return;
    auto* group = new TKSN_MorphTreeGroup();
    group->SetName("%s", parser.actorName.c_str());
    group->collapsed = true;
    group->SetReadOnly(true);
    if (IsBodyActor(parser.actorName)) parser.bodyGroup = group;
    parser.importGroup->LinkChild(group);
    actorGroup = group;
}

void TCR2MorphReader::ReadValueOp(TCR2LineSource& source)
{
    std::string figureLine, actorLine, dialLine;
    if (!source.Next(figureLine) || !source.Next(actorLine)) return;
    if (QORstrncmpi(actorLine.c_str(), "BODY", 4) != 0) {
        fullBodyNode = nullptr;   // driven by a dial of its own actor: stays a partial morph
        return;
    }
    if (!source.Next(dialLine)) return;
    auto& slot = parser.fullBodyMorphs[dialLine];
    if (!slot) {
        slot = std::make_unique<TJoinFullBodyMorphsNode>();
        slot->SetName("%s", dialLine.c_str());
    }
    fullBodyNode = slot.get();
}

void TCR2MorphReader::ReadDeltas(TCR2LineSource& source)
{
    TQORGroup2* group = FindPolygonGroup(mesh, parser.actorName);
    if (!group || numbDeltas < 1) return;
    int count = indexes > numbDeltas ? numbDeltas : indexes;
    if (count <= 0) return;
    if (group->VertexCount != numbDeltas) {
        OS.WarningMessage(Lang.GetText(294), morphName.c_str(), parser.actorName.c_str());
        mismatch = true;
        return;
    }

    auto morph = std::make_unique<TKSN_Morph>(mesh->vertexCount, mesh->GetID());
    morph->SetReadOnly(true);
    morph->Strength = 0.0f;
    morph->SetName("%s", morphName.c_str());
    morph->InitializeCompressed(count);

    int stored = 0;
    std::string line, command, parameter;
    while (source.Next(line)) {
        if (line == "}") break;
        SplitLine(line.c_str(), command, parameter);
        if (command != "d") continue;
        int local = 0;
        float x = 0, y = 0, z = 0;
        if (!CR2_ParseDeltaLine(parameter.c_str(), local, x, y, z)) continue;
        if (stored >= count || local < 0 || local >= group->VertexCount) continue;
        if (group->Shared && group->Shared[local] != 0) continue;
        TKSN_MorphDelta* delta = morph->GetDelta(stored++);
        delta->Index = group->Vertices[local];
        delta->Delta[0] = x;
        delta->Delta[1] = y;
        delta->Delta[2] = z;
    }
    if (stored < count) morph->TruncateDeltaCount(stored);
    if (stored == 0) return;

    TKSN_Morph* kept = morph.release();
    if (fullBodyNode) fullBodyNode->list->Add(new TJoinFullBodyMorphs_MorphNode{weight, kept});
    kept->NotInUse("LoadCR2File");
    actorGroup->AddItem(kept);
}

void ApplyMapFile(TQORMaterialChannel* channel, const std::string& parameter, const std::string& cr2Folder)
{
    channel->SetMapFileName(parameter.c_str());
    std::string path = channel->GetMapFileName();
    ConvertPoserPath(path, cr2Folder);
    channel->MapFileName = path;   // already free of backslash folders
}

void ApplyMaterialLine(TQORMaterial* material, const std::string& command, const std::string& parameter,
                       const std::string& cr2Folder)
{
    const char* cmd = command.c_str();
    auto channel = [material](const char* name) { return material->GetChannelFromName(name); };
    float value = 0.0f;
    if (QORstrcmpi(cmd, "textureMap") == 0) {
        if (auto* c = channel("Color")) ApplyMapFile(c, parameter, cr2Folder);
    } else if (QORstrcmpi(cmd, "KdColor") == 0) {
        const char* text = parameter.c_str();
        float rgb[3];
        if (auto* c = channel("Color"); c && ParseFloatAt(text, rgb[0]) && ParseFloatAt(text, rgb[1]) &&
                                        ParseFloatAt(text, rgb[2]))
            std::memcpy(c->Color, rgb, sizeof rgb);
    } else if (QORstrcmpi(cmd, "bumpMap") == 0) {
        if (auto* c = channel("Bump")) ApplyMapFile(c, parameter, cr2Folder);
    } else if (QORstrcmpi(cmd, "bumpStrength") == 0) {
        if (auto* c = channel("Bump"); c && CR2_ParseFloat(parameter.c_str(), value)) c->Strength = value;
    } else if (QORstrcmpi(cmd, "reflectionMap") == 0) {
        if (auto* c = channel("Reflection")) ApplyMapFile(c, parameter, cr2Folder);
    } else if (QORstrcmpi(cmd, "transparencyMap") == 0) {
        if (auto* c = channel("Transparency")) ApplyMapFile(c, parameter, cr2Folder);
    } else if (QORstrcmpi(cmd, "tMax") == 0) {
        if (auto* c = channel("Transparency"); c && CR2_ParseFloat(parameter.c_str(), value)) c->Strength = value;
    }
}

std::string ExtensionOf(const std::string& path)
{
    return GetExtensionFromFileName(path.c_str());
}

// Finds the linked OBJ on disk or through the search paths; path becomes the one found.
bool LocateObj(std::string& path)
{
    if (TOS::FileExists(path.c_str())) return true;
    if (!App || path.size() >= size_t(TOS_PATH_BUFFER)) return false;
    std::vector<char> buffer(size_t(TOS_PATH_BUFFER), '\0');
    std::memcpy(buffer.data(), path.c_str(), path.size() + 1);
    if (!App->LocateFile(buffer.data())) return false;
    path = buffer.data();
    return true;
}

// The whole import of one file into object; throws TKSN_CR2Error for
// unbalanced braces, which the caller reports.
bool LoadCR2FileOrThrow(TKSN_Project* project, const char* path, TKSN_Object* object)
{
    TKSN_CR2Parser parser(path);
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path, "rb"), std::fclose);
    if (!file) {
        OS.WarningMessage("Error opening the file %s", path);
        return false;
    }
    std::string line;
    while (CR2_ReadLine(file.get(), line)) {
        Trim(line);
        parser.ConsiderLine(line.c_str());
    }
    if (parser.depth != 0)
        throw TKSN_CR2Error(QORFormat("Cannot read \"%s\", line %ld: the file ends inside a block (a \"{\" "
                                     "without its \"}\")",
                                     path, parser.lineNumber));

    std::rewind(file.get());
    parser.Rewind();
    const std::string cr2Path = path;
    const size_t slash = cr2Path.rfind('/');
    const std::string cr2Folder = slash == std::string::npos ? std::string() : cr2Path.substr(0, slash + 1);
    const std::string cr2Name = slash == std::string::npos ? cr2Path : cr2Path.substr(slash + 1);

    std::string objPath = parser.figureResFile;
    ConvertPoserPath(objPath, cr2Folder);
    const std::string extension = ExtensionOf(objPath);
    if (QORstrcmpi(extension.c_str(), "OBZ") == 0) {
        OS.WarningMessage("Only CR2 files linked to UNCOMPRESSED OBJ files are supported. This one links to a "
                          "compressed OBJ file (OBZ)");
        return false;
    }
    if (QORstrcmpi(extension.c_str(), "OBJ") != 0) {
        OS.WarningMessage("Only CR2 files linked to OBJ files are supported. This one links to a '%s' file",
                          extension.c_str());
        return false;
    }
    if (!LocateObj(objPath)) return false;
    if (!project->LoadObject(objPath.c_str(), object, true)) return false;
    object->OBJFileName = objPath;
    TKSN_Mesh* mesh = object->Mesh.get();
    if (!mesh) return false;
    parser.mesh = mesh;

    const bool importMorphs = project->ImportMorphs;
    if (importMorphs) {
        auto* group = new TKSN_MorphTreeGroup();
        group->SetName("%s", cr2Name.c_str());
        group->SetReadOnly(true);
        group->collapsed = true;
        mesh->MorphTree->LinkChild(group);
        parser.importGroup = group;
    }
    mesh->ResolveGroupVertexMaps();

    TCR2LineSource source(file.get(), parser);
    TCR2MorphReader reader(parser, mesh);
    TQORMaterial* material = nullptr;
    std::string command, parameter;
    for (;;) {
        const bool actorWasOpen = parser.inActor;
        if (!source.Next(line)) break;
        SplitLine(line.c_str(), command, parameter);
        const char* cmd = command.c_str();

        if (parser.inActor) {
            if (!actorWasOpen && QORstrcmpi(cmd, "actor") == 0) reader.StartActor(importMorphs);
            if (QORstrcmpi(cmd, "geomCustom") == 0) {
                reader.customGeometry.insert(parser.actorName);
                reader.skip = true;
            }
            if (QORstrcmpi(cmd, "name") == 0 && reader.customGeometry.count(parser.actorName)) reader.skip = true;
            if (!reader.skip && importMorphs && reader.actorGroup) {
                int count = 0;
                float value = 0.0f;
                if (QORstrcmpi(cmd, "targetGeom") == 0) {
                    reader.morphName = parameter;
                    reader.fullBodyNode = nullptr;
                    reader.weight = 1.0f;
                } else if (QORstrcmpi(cmd, "valueOpDeltaAdd") == 0) {
                    reader.ReadValueOp(source);
                } else if (QORstrcmpi(cmd, "deltaAddDelta") == 0) {
                    // A weight that is no finite number is ignored.
                    if (reader.fullBodyNode && CR2_ParseFloat(parameter.c_str(), value)) reader.weight = value;
                } else if (QORstrcmpi(cmd, "numbDeltas") == 0) {
                    // A count beyond 32 bits makes the block malformed: it is skipped.
                    reader.numbDeltas = CR2_ParseInt(parameter.c_str(), count) ? count : 0;
                } else if (QORstrcmpi(cmd, "indexes") == 0) {
                    reader.indexes = CR2_ParseInt(parameter.c_str(), count) ? count : 0;
                } else if (QORstrcmpi(cmd, "deltas") == 0) {
                    reader.ReadDeltas(source);
                }
            }
        }
        if (parser.inFigure) {
            if (parser.depth == 2 && QORstrcmpi(cmd, "material") == 0) material = FindMaterial(mesh, parameter);
            if (parser.inMaterial && material) ApplyMaterialLine(material, command, parameter, cr2Folder);
        }
    }

    if (reader.mismatch) OS.WarningMessage("%s", Lang.GetText(380));
    mesh->AfterRawBuild();
    mesh->ImportMapsAfterImportObject();
    object->FileName = cr2Path;
    JoinFullBodyMorphs(&parser, mesh);
    if (parser.importGroup) {
        for (TKSN_TreeGroup* group = parser.importGroup->GetChild(); group;) {
            TKSN_TreeGroup* following = group->GetNext();
            if (!group->items || group->items->Count() == 0) {
                group->Unlink();
                delete group;
            }
            group = following;
        }
    }
    file.reset();
    object->SetName("%s", cr2Name.c_str());
    if (!reader.customGeometry.empty()) OS.WarningMessage(Lang.GetText(409), int(reader.customGeometry.size()));
    return true;
}

}  // namespace

bool TKSN_Project::LoadCR2File(const char* path, TKSN_Object* object)
{
    if (!path || !object) return false;
    try {
        return LoadCR2FileOrThrow(this, path, object);
    } catch (const std::exception& error) {
        // Malformed files (and a morph that cannot be fetched back) end the
        // import with their message; the caller deletes the half-built object.
        OS.WarningMessage("%s", error.what());
        return false;
    }
}

void TKSN_Project::ImportCR2File(const char* path)
{
    if (!path) return;
    auto object = std::make_unique<TKSN_Object>();
    if (App && App->DocumentSearchPaths) {
        App->DocumentSearchPaths->AddPathFromFileName(path, false);
        if (const char* runtime = std::strstr(path, "/Runtime/")) {
            const std::string folder(path, size_t(runtime - path) + std::strlen("/Runtime/"));
            App->DocumentSearchPaths->AddPath(folder.c_str(), true);
        }
    }
    if (!LoadCR2File(path, object.get())) return;
    TKSN_Object* added = object.release();
    Objects->AddItem(added);
    SetCurrentObject(added);
    SetupMeshAfterImport(true);
    SetupAfterLoad();
}
