// The file, map and brush commands under test: the command fixture with the
// interchange hooks installed, a cube OBJ written into the temp folder, maps
// of chosen pixels and helpers to run commands through the dispatcher and
// the pump.
#pragma once

#include "KSN_CommandTestSupport.h"

#include "GuiButton.h"
#include "GuiEditField.h"
#include "GuiGauge.h"
#include "GuiText.h"
#include "KSN_Commands_FileIO.h"
#include "KSN_ImportExportWindows.h"
#include "KSN_MapWindows.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_ObjProjectHooks.h"
#include "KSN_OptionsWindows.h"
#include "QORMaterialMapSource.h"
#include "QORMemory.h"

#include <array>
#include <cstring>
#include <initializer_list>
#include <cstdarg>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

inline const char* const kCubeObj = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\nv 1 0 1\nv 1 1 1\nv 0 1 1\n"
                                    "g cube\nf 1 2 3 4\nf 5 8 7 6\nf 1 5 6 2\nf 2 6 7 3\nf 3 7 8 4\nf 5 1 4 8\n";

class FileMapsFixture : public CommandFixture {
protected:
    void SetUp() override
    {
        CommandFixture::SetUp();
        KSN_FileFormats_RegisterHooks();
        TKSN_Project::RegisterMapHooks();
        // The application's file-type lists, as its start-up fills them.
        if (App->importFileTypes->Count() == 0)
            for (const char* t : {"OBJ", "SelSet", "MorSet", "LaySet", "CR2"}) AddType(App->importFileTypes, t);
        if (App->exportFileTypes->Count() == 0)
            for (const auto& [type, name] : std::initializer_list<std::pair<const char*, const char*>>{
                     {"Maps", "Image Maps"},
                     {"OBJ", "OBJ File"},
                     {"Sculpted Prim", "Sculpted Prim"},
                     {"SelSet", "Selection Set"},
                     {"MorSet", "Morph Set"},
                     {"LaySet", "Layer Set"},
                     {"CR2", "CR2 File"},
                     {"MOR (PZ2)", "MOR Injection File"},
                     {"MAT (PZ2)", "MAT Injection File"}}) {
                AddType(App->exportFileTypes, type);
                AddType(App->exportFileTypeNames, name);
            }
        if (App->exportImageTypes->Count() == 0)
            for (const char* t : {"PNG", "BMP", "JPG", "TGA", "TIF"}) AddType(App->exportImageTypes, t);
        if (App->importImageTypes->Count() == 0)
            for (const char* t : {"PNG", "BMP"}) AddType(App->importImageTypes, t);
        // The start-up's driver notice is no box of the commands under test.
        Provider.Boxes.clear();
    }
    static void AddType(TQORNewStaticList<char*>* list, const char* text)
    {
        auto* copy = static_cast<char*>(QORalloc(std::strlen(text) + 1));
        std::memcpy(copy, text, std::strlen(text) + 1);
        list->Add(copy);
    }

    std::string WriteFile(const std::string& name, const std::string& text)
    {
        const std::filesystem::path path = Store.Folder / name;
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }
    static std::string ReadAll(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // A cube imported as a new object, made current.
    TKSN_Object* ImportCube(const std::string& name)
    {
        const std::string path = WriteFile(name, kCubeObj);
        EXPECT_TRUE(Project->ImportObject(path.c_str()));
        return Project->GetCurrentObject();
    }
    static bool Dispatch(int command, uint32_t owner = 0)
    {
        TQOREvent e(KestruneEvents_CommandCB, owner, command);
        return KestruneEvents_CommandCB(&e);
    }
    static bool Dispatch(TQOREvent& e) { return KestruneEvents_CommandCB(&e); }
    // Runs the pump until nothing is queued (at most a few passes).
    static void Pump()
    {
        for (int i = 0; i < 8 && QOREvents_GetEventCount() > 0; ++i) KestruneEvents_ProcessEvents();
    }
    static bool Queued(int command) { return CountQueued(command) > 0; }
    bool WasPrinted(const std::string& text) const
    {
        for (const std::string& line : g_Printed)
            if (line == text) return true;
        return false;
    }
    static std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)))
    {
        char buffer[4096];
        va_list args;
        va_start(args, format);
        std::vsnprintf(buffer, sizeof buffer, format, args);
        va_end(args);
        return buffer;
    }

    // A map of w x h pixels in the maps tree, each pixel from `pixel(i)`.
    template <class F> TQORMaterialMapSource* MakeMap(const char* name, int w, int h, F pixel)
    {
        TQORMaterialMapSource* map = Project->CreateMapSource();
        map->SetName("%s", name);
        map->SetDimensions(w, h, 3);
        unsigned char* p = map->GetPixels();
        for (int i = 0; i < w * h; ++i) {
            const std::array<unsigned char, 3> rgb = pixel(i);
            std::copy(rgb.begin(), rgb.end(), p + 3 * i);
        }
        map->RegisterForLookup();
        return map;
    }
    static std::vector<unsigned char> Pixels(TQORMaterialMapSource* map)
    {
        const unsigned char* p = map->GetPixels();
        return std::vector<unsigned char>(p, p + 3 * map->GetWidth() * map->GetHeight());
    }
    static void Highlight(TQORMaterialMapSource* map, bool add = true)
    {
        Project->Maps->SelectItem(map->GetID(), false, add);
    }
};
