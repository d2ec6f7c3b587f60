// A private folder under the system temporary folder for tests that read and
// write real files; removed with everything in it when the test ends.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

class TTempFolder {
public:
    explicit TTempFolder(const std::string& prefix = "ksn_test_")
    {
        std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
        if (mkdtemp(pattern.data()))
            Folder = pattern;
    }
    ~TTempFolder()
    {
        std::error_code ignored;
        if (!Folder.empty())
            std::filesystem::remove_all(Folder, ignored);
    }
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    bool IsOpen() const { return !Folder.empty(); }
    std::filesystem::path Path(const std::string& name) const { return Folder / name; }

    // Writes text (bytes as given) to name and returns its path.
    std::filesystem::path Write(const std::string& name, const std::string& text) const
    {
        const std::filesystem::path path = Path(name);
        std::ofstream out(path, std::ios::binary);
        out.write(text.data(), std::streamsize(text.size()));
        return path;
    }
    std::string Read(const std::string& name) const
    {
        std::ifstream in(Path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::filesystem::path Folder;
};

// A FILE* opened on a path, closed at scope exit.
class TOpenFile {
public:
    TOpenFile(const std::filesystem::path& path, const char* mode) : f(std::fopen(path.c_str(), mode)) {}
    ~TOpenFile()
    {
        if (f)
            std::fclose(f);
    }
    TOpenFile(const TOpenFile&) = delete;
    TOpenFile& operator=(const TOpenFile&) = delete;
    FILE* f;
};
