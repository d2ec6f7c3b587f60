// Shared fixture of the figure-file tests: a small hand-made figure (two
// body parts with a duplicated seam, a 40-vertex tail, a BODY actor, morph
// targets, a figure block with one material) written into a Runtime folder
// of a private temporary folder, a project as `Project`, the virtual-memory
// store in its own folder, and every warning and box collected.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_ObjProjectHooks.h"
#include "KSN_Project.h"
#include "KsnTestSupport.h"
#include "KsnTestWx.h"
#include "OS.h"
#include "QOREvents.h"

namespace cr2_test {

namespace fs = std::filesystem;

[[maybe_unused]] inline const auto* const RegisteredWx = KsnRegisterWxBase();

inline std::vector<std::string> Warnings;

// Lines without indentation become the printed form: entries one tab deeper
// than the braces of their block, braces at their owner's indentation.
inline std::string Indent(const std::vector<std::string>& lines)
{
    std::string out;
    int depth = 0;
    for (const std::string& line : lines) {
        if (line == "}") --depth;
        out += std::string(size_t(depth > 0 ? depth : 0), '\t') + line + "\n";
        if (line == "{") ++depth;
    }
    return out;
}

// Vertex 0-based: hip 0-3 (a unit quad), chest 4-7 (the quad above; 4 and 5
// duplicate 3 and 2 on the seam), tail 8-47 (a strip of 20 × 2 vertices at z = 5).
inline std::string FigureObj()
{
    std::ostringstream o;
    o << "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n";
    o << "v 0 1 0\nv 1 1 0\nv 1 2 0\nv 0 2 0\n";
    for (int i = 0; i < 20; ++i) o << "v " << i << " 0 5\nv " << i << " 1 5\n";
    o << "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n";
    o << "usemtl skin\ng hip\nf 1/1 2/2 3/3 4/4\n";
    o << "g chest\nf 5/1 6/2 7/3 8/4\n";
    o << "usemtl tailskin\ng tail\n";
    for (int i = 0; i < 19; ++i) {
        const int a = 9 + 2 * i;
        o << "f " << a << "/1 " << a + 2 << "/2 " << a + 3 << "/3 " << a + 1 << "/4\n";
    }
    return o.str();
}

inline std::vector<std::string> Block(std::initializer_list<std::string> lines) { return lines; }

inline void Append(std::vector<std::string>& to, const std::vector<std::string>& lines)
{
    to.insert(to.end(), lines.begin(), lines.end());
}

// A target block of one actor driven by actor/dial with deltas "local x y z".
inline std::vector<std::string> Target(const std::string& name, const std::string& actor, const std::string& dial,
                                       const std::string& weight, int numbDeltas,
                                       const std::vector<std::string>& deltas, int indexes = -1)
{
    std::vector<std::string> lines = {"targetGeom " + name, "{", "name " + name, "initValue 0",
                                      "valueOpDeltaAdd", "Figure 1", actor, dial};
    if (!weight.empty()) lines.push_back("deltaAddDelta " + weight);
    lines.push_back("indexes " + std::to_string(indexes < 0 ? int(deltas.size()) : indexes));
    lines.push_back("numbDeltas " + std::to_string(numbDeltas));
    lines.push_back("deltas");
    lines.push_back("{");
    for (const std::string& d : deltas) lines.push_back("d " + d);
    lines.push_back("}");
    lines.push_back("}");
    return lines;
}

// The figure's lines: both sections of BODY, hip, chest and tail, and the figure block.
inline std::vector<std::string> FigureLines()
{
    std::vector<std::string> l = {"{", "version", "{", "number 4.01", "}",
                                  "figureResFile :Runtime:Geometries:fig:fig.obj"};
    for (const char* actor : {"BODY:1", "hip:1", "chest:1", "tail:1"})
        Append(l, {std::string("actor ") + actor, "{", "storageOffset 0 0 0", "geometryObj", "}"});

    Append(l, {"actor BODY:1", "{", "name Body", "channels", "{", "valueParm Old", "{", "name Old", "}", "}", "}"});

    Append(l, {"actor hip:1", "{", "name Hip", "origin 0.5 0.5 0", "endPoint 0.5 1 0", "channels", "{"});
    Append(l, Target("Bulge", "BODY:1", "PBM:Smile", "1", 4, {"0 0 0 1", "2 0 0 0.5"}));
    Append(l, Target("Lonely", "BODY:1", "Lonely", "1", 4, {"1 0 1 0"}));
    Append(l, {"xOffsetA hip:1", "{", "initValue 0.25", "}", "twistY hip:1", "{", "startPt 0.2", "endPt 0.8", "}",
               "bendX hip:1", "{", "sphereMatsRaw", "1 0 0 0", "0 1 0 0", "0 0 1 0", "0.2 0.3 0 1", "1 0 0 0",
               "0 1 0 0", "0 0 1 0", "0.9 0.1 0 1", "center 0.5 0.5 0", "}"});
    Append(l, {"}", "}"});

    Append(l, {"actor chest:1", "{", "name Chest", "origin 0.5 1.5 0", "channels", "{"});
    Append(l, Target("Bulge", "BODY:1", "PBM:Smile", "0.5", 4, {"1 0 0 2", "0 0 0 0.4"}));
    Append(l, Target("Pinch", "hip:1", "xRotate", "", 4, {"3 1 0 0"}));
    Append(l, {"}", "}"});

    std::vector<std::string> tail;
    // 45 lines for 40 vertices: the last five would move vertices 0-4 again.
    for (int i = 0; i < 45; ++i) tail.push_back(std::to_string(i % 40) + (i < 40 ? " 0 0.1 0" : " 0 0.9 0"));
    Append(l, {"actor tail:1", "{", "name Tail", "channels", "{"});
    Append(l, Target("Long", "tail:1", "Long", "", 40, tail, 50));
    Append(l, {"}", "}"});

    Append(l, {"figure", "{", "name Figure 1", "root BODY", "material skin", "{", "KdColor 1.0000 0.5000 0.2500 1.0",
               "TextureColor 1 1 1 1", "textureMap \":Runtime:textures:fig:skin.jpg\"", "0 0", "bumpMap NO_MAP",
               "bumpStrength 0.50000000", "transparencyMap NO_MAP", "tMin 0.00000000", "tMax 0.00000000", "}",
               "material tailskin", "{", "KdColor 0.1000 0.2000 0.3000 1.0", "textureMap NO_MAP", "}", "}", "}"});
    return l;
}

// The printed form of the lines, as the tree writer prints it (an entry
// without a parameter keeps its trailing blank).
inline std::string Printed(std::vector<std::string> lines)
{
    for (std::string& line : lines)
        if (line != "{" && line != "}" && line.find(' ') == std::string::npos) line += ' ';
    return Indent(lines);
}

inline std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class CR2Test : public ::testing::Test {
protected:
    fs::path Root;
    fs::path Figure;     // .../Poser/Runtime/Libraries/Character/fig.cr2
    fs::path Obj;        // .../Poser/Runtime/Geometries/fig/fig.obj
    TTempStoreFolder Store;
    TScriptedProvider Dialogs;
    TTestMainFolder Main;

    void SetUp() override
    {
        Main.Open("ksn_cr2_");
        Root = Main.Root;
        fs::create_directories(Root / "Poser" / "Runtime" / "Libraries" / "Character");
        fs::create_directories(Root / "Poser" / "Runtime" / "Geometries" / "fig");
        std::ofstream(Root / "main" / "Data" / "Vexmark.rsr") << "thumbnail";
        Figure = Root / "Poser" / "Runtime" / "Libraries" / "Character" / "fig.cr2";
        Obj = Root / "Poser" / "Runtime" / "Geometries" / "fig" / "fig.obj";
        std::ofstream(Obj, std::ios::binary) << FigureObj();
        WriteFigure(FigureLines());

        OS.SetDialogProvider(&Dialogs);
        Warnings.clear();
        OS.AssignOnWarningMessage([](char* text) { Warnings.push_back(text); });
        OS.AssignOnPrintMessage([](char*) {});
        OS.AssignOnDebugMessage([](char*) {});
        KSN_FileFormats_RegisterHooks();
        QOREvents_Clean();
        ASSERT_TRUE(Store.Open("ksn_cr2store_"));
        Project = new TKSN_Project();
        Project->ImportMorphs = true;
    }

    void TearDown() override
    {
        delete Project;
        Project = nullptr;
        Store.Close();
        QOREvents_Clean();
        OS.AssignOnWarningMessage(nullptr);
        OS.AssignOnPrintMessage(nullptr);
        OS.AssignOnDebugMessage(nullptr);
        OS.SetDialogProvider(nullptr);
        Main.Close();
    }

    void WriteFigure(const std::vector<std::string>& lines, const fs::path& path = {})
    {
        std::ofstream(path.empty() ? Figure : path, std::ios::binary) << Printed(lines);
    }

    // Imports the figure file; the new object or null.
    TKSN_Object* Import(const fs::path& path = {})
    {
        const int before = Project->GetObjectCount();
        Project->ImportCR2File((path.empty() ? Figure : path).c_str());
        if (Project->GetObjectCount() == before) return nullptr;
        return Project->GetCurrentObject();
    }

    static bool HasWarning(const std::string& text)
    {
        for (const std::string& w : Warnings)
            if (w == text) return true;
        return false;
    }
};

}  // namespace cr2_test
