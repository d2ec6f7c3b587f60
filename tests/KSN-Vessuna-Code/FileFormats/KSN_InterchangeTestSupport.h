// Shared by the set, pose-file, exchange and sculpted-prim tests: the
// document fixture (a project in a temporary main folder, scripted dialogs,
// the warnings and prints of the message panel) and small file helpers.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../Document/KSN_ProjectFileTestSupport.h"

namespace ksn_interchange_test {

using namespace ksn_file_test;

inline std::string ReadText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

inline bool Contains(const std::vector<std::string>& list, const std::string& text)
{
    for (const std::string& entry : list)
        if (entry.find(text) != std::string::npos) return true;
    return false;
}

inline std::vector<std::string> MorphNames(TKSN_Mesh* mesh)
{
    std::vector<std::string> names;
    std::unique_ptr<TQORNewStaticList<TKSN_Morph*>> morphs(mesh->GetMorphList());
    for (TKSN_Morph* morph : *morphs) names.push_back(morph->GetName());
    return names;
}

} // namespace ksn_interchange_test
