// Files, folders and paths of the OS layer: the main folder, the arguments,
// the standard folders, file tests and copies, the line reader, wildcards and
// folder walks.
//
// Paths are UTF-8 texts with "/" as separator; a folder text ends with "/".
// Everything is held in std::string inside, so no path is ever cut; only the
// char* forms that fill a caller buffer cut at that buffer's size.
//
// Index: [Main folder and arguments] [Standard folders] [Files] [Line reader]
//        [Wildcards] [Folder walk]
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <system_error>

#include <wx/app.h>
#include <wx/stdpaths.h>

#include "OS.h"
#include "OS_Internal.h"
#include "QORMemory.h"
#include "QORString.h"

namespace fs = std::filesystem;
using TOSInternal::AddTrailingSlash;
using TOSInternal::CopyToBuffer;

namespace {

std::string ToUtf8(const wxString& text)
{
    wxScopedCharBuffer utf8 = text.utf8_str();
    return std::string(utf8.data(), utf8.length());
}

bool IsFile(const std::string& path)
{
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(fs::path(path), ec);
}

bool IsFolder(const std::string& path)
{
    std::error_code ec;
    return !path.empty() && fs::is_directory(fs::path(path), ec);
}

// The main folder holds its data folder under either spelling.
bool HoldsAnchor(const std::string& folder)
{
    return IsFile(folder + "Data/anchor.dat") || IsFile(folder + "data/anchor.dat");
}

} // namespace

// [SECTION] Main folder and arguments

std::string TOS::GetMainPathOnStartup()
{
    std::error_code ec;
    std::string start = fs::current_path(ec).generic_string();
    if (ec || start.empty()) {
        // Without a working folder the search starts beside the executable.
        wxString exe = wxStandardPaths::Get().GetExecutablePath();
        start = fs::path(ToUtf8(exe)).parent_path().generic_string();
    }
    AddTrailingSlash(start);

    std::string candidate = start;
    for (;;) {
        if (candidate.empty()) return start;
        if (HoldsAnchor(candidate)) return candidate;
        candidate.pop_back();   // the trailing "/"
        while (!candidate.empty() && candidate.back() != '/') candidate.pop_back();
    }
}

void TOS::GetMainPathOnStartup(char* buffer, int32_t size)
{
    CopyToBuffer(buffer, size_t(size > 0 ? size : 0), GetMainPathOnStartup());
}

void TOS::OnApplicationStartup(const char* mainPath, void*)
{
    MainPath = mainPath ? mainPath : "";
    GetCommandLineArguments(&ArgumentCount);
}

char** TOS::GetCommandLineArguments(int32_t* count)
{
    CleanArguments();
    wxAppConsole* app = wxAppConsole::GetInstance();
    int32_t n = app ? int32_t(app->argc) : 0;
    if (n > 0) {
        Arguments = static_cast<char**>(QORalloc(uint64_t(n) * sizeof(char*), false));
        ArgumentCount = n;
        for (int32_t i = 0; i < n; ++i) {
            std::string arg = ToUtf8(app->argv[i]);
            Arguments[i] = static_cast<char*>(QORalloc(arg.size() + 1, false));
            std::memcpy(Arguments[i], arg.c_str(), arg.size() + 1);
        }
    }
    if (count) *count = ArgumentCount;
    return Arguments;
}

void TOS::CleanArguments()
{
    if (Arguments && ArgumentCount != 0) {
        for (int32_t i = 0; i < ArgumentCount; ++i) QORfree(Arguments[i], 0);
        QORfree(Arguments, 0);
    }
    Arguments = nullptr;
    ArgumentCount = 0;
}

std::string TOS::GetDataFolder() const
{
    if (!IsFolder(MainPath + "Data") && IsFolder(MainPath + "data")) return MainPath + "data/";
    return MainPath + "Data/";
}

std::string TOS::GetDataPath(const char* name) const { return GetDataFolder() + (name ? name : ""); }

// [SECTION] Standard folders

bool TOS::GetTemporaryPath(std::string& out)
{
    out = ToUtf8(wxStandardPaths::Get().GetTempDir());
    AddTrailingSlash(out);
    return true;
}

bool TOS::GetTemporaryPath(char* buffer, int32_t size)
{
    std::string path;
    GetTemporaryPath(path);
    CopyToBuffer(buffer, size_t(size > 0 ? size : 0), path);
    return true;
}

bool TOS::GetDocumentsPath(std::string& out)
{
    out = ToUtf8(wxStandardPaths::Get().GetDocumentsDir());
    AddTrailingSlash(out);
    return true;
}

bool TOS::GetDocumentsPath(char* buffer, int32_t size)
{
    std::string path;
    GetDocumentsPath(path);
    CopyToBuffer(buffer, size_t(size > 0 ? size : 0), path);
    return true;
}

// Answers true even when the folder could not be made: the settings file
// then fails to save and says so.
bool TOS::CreateApplicationDataFolder(std::string& out)
{
    out = ToUtf8(wxStandardPaths::Get().GetUserDataDir());
    AddTrailingSlash(out);
    if (!out.empty() && !DirectoryExists(out.c_str())) MakeFolder(out.c_str());
    return true;
}

bool TOS::CreateApplicationDataFolder(char* buffer, void*, int32_t size)
{
    std::string path;
    CreateApplicationDataFolder(path);
    CopyToBuffer(buffer, size_t(size > 0 ? size : 0), path);
    return true;
}

bool TOS::GetTemporaryFileNameInSystemTemp(std::string& out, const char* extension)
{
    std::string folder;
    GetTemporaryPath(folder);
    // The shared generator is seeded from the clock in seconds, so processes
    // started in the same second draw the same letters; the process ID, spread
    // over the letters, keeps their temporary names apart.
    const unsigned pid = unsigned(::getpid());
    do {
        char letters[11];
        unsigned spread = pid;
        for (int i = 0; i < 10; ++i, spread /= 26)
            letters[i] = char('A' + (QORrandom(26) + int(spread % 26)) % 26);
        letters[10] = 0;
        out = folder + letters + "." + (extension ? extension : "");
    } while (FileExists(out.c_str()));
    return true;
}

bool TOS::GetTemporaryFileNameInSystemTemp(char* buffer, const char* extension, int32_t size)
{
    std::string path;
    GetTemporaryFileNameInSystemTemp(path, extension);
    CopyToBuffer(buffer, size_t(size > 0 ? size : 0), path);
    return true;
}

// [SECTION] Files

bool TOS::FileExists(const char* path) { return path && IsFile(path); }

bool TOS::DirectoryExists(const char* path) { return path && IsFolder(path); }

bool TOS::MakeFolder(const char* path) { return path && *path && ::mkdir(path, 0700) == 0; }

bool TOS::OS_DeleteFile(const char* path, bool) { return path && ::unlink(path) == 0; }

bool TOS::OS_CopyFile(const char* destination, const char* source)
{
    if (!destination || !source || !IsFile(source)) return false;
    std::error_code ec;
    bool copied = fs::copy_file(fs::path(source), fs::path(destination), fs::copy_options::overwrite_existing, ec);
    return copied && !ec;
}

// [SECTION] Line reader

char* TOS::fgets(char* buffer, int32_t size, FILE* file)
{
    if (!buffer || size <= 0) return buffer;
    buffer[0] = 0;
    int32_t stored = 0;
    while (stored < size - 1 && !std::feof(file)) {
        int c = std::getc(file);
        if (c == EOF) break;   // end of file, or a read error that would never end
        if (c == 0) continue;
        if (c == '\r' || c == '\n') {
            int partner = c == '\r' ? '\n' : '\r';
            int next = std::getc(file);
            if (next != partner && next != EOF) std::ungetc(next, file);
            break;
        }
        // Bytes 128..255 are kept so that UTF-8 names survive a load.
        buffer[stored++] = char(c);
    }
    buffer[stored] = 0;
    return buffer;
}

// [SECTION] Wildcards

// "*" any run (also empty), "?" one character; no escapes. Greedy matching
// with one backtrack point gives the same answers as trying every tail at
// each "*", without its exponential cost.
bool TOS::IsWildcardMatch(const char* pattern, const char* text, int32_t caseSensitive)
{
    if (!pattern || !text) return false;
    auto same = [caseSensitive](char a, char b) {
        return caseSensitive ? a == b : QOR_toupper(a) == QOR_toupper(b);
    };
    const char* p = pattern;
    const char* t = text;
    const char* star = nullptr;
    const char* mark = nullptr;
    while (*t) {
        if (*p == '*') {
            star = p++;
            mark = t;
        } else if (*p && (*p == '?' || same(*p, *t))) {
            ++p;
            ++t;
        } else if (star) {
            p = star + 1;
            t = ++mark;
        } else {
            return false;
        }
    }
    while (*p == '*') ++p;
    return *p == 0;
}

// [SECTION] Folder walk

namespace {

enum class TDirTraverseResult { Ignore, Continue, Stop };

// One walk of a folder tree: inside each folder first its subfolders (each
// entered at once when descending), then its own files, in the order of the
// directory listing. The walked folder itself is never reported as a folder.
class wxFindFileTraverser {
public:
    TOSVisitFolderCB OnVisitFolder = nullptr;
    TOSExitFolderCB OnExitFolder = nullptr;
    TOSVisitFileCB OnVisitFile = nullptr;
    bool Descend = false;
    bool ContinueAfterMatch = false;
    bool Filter = false;
    std::vector<std::string> Matches;
    std::string Pattern;
    void* Data = nullptr;
    std::string LastFolder;

    TDirTraverseResult OnFile(const std::string& path)
    {
        size_t slash = path.rfind('/');
        std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
        std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        if (OnVisitFile) OnVisitFile(folder.c_str(), name.c_str(), Data);
        if (!Filter) return TDirTraverseResult::Continue;
        if (!TOS::IsWildcardMatch(Pattern.c_str(), name.c_str(), 0)) return TDirTraverseResult::Continue;
        Matches.push_back(path);
        return ContinueAfterMatch ? TDirTraverseResult::Continue : TDirTraverseResult::Stop;
    }

    TDirTraverseResult OnDir(const std::string& path)
    {
        std::string folder = path;
        AddTrailingSlash(folder);
        if (!LastFolder.empty() && OnExitFolder) OnExitFolder(LastFolder.c_str(), Data);
        if (OnVisitFolder) OnVisitFolder(folder.c_str(), Data);
        LastFolder = folder;
        return Descend ? TDirTraverseResult::Continue : TDirTraverseResult::Ignore;
    }

    void Traverse(const std::string& folder)
    {
        std::vector<fs::path> chain;
        Walk(fs::path(folder), chain);
    }

private:
    // Answers true when the walk must stop. `chain` holds the canonical
    // folders being walked, so a link back to one of them is not followed.
    bool Walk(const fs::path& dir, std::vector<fs::path>& chain)
    {
        std::error_code ec;
        fs::path canonical = fs::weakly_canonical(dir, ec);
        if (ec) return false;
        for (const fs::path& seen : chain)
            if (seen == canonical) return false;

        std::vector<fs::path> folders, files;
        fs::directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec);
        if (ec) return false;   // a folder that cannot be opened is skipped
        for (fs::directory_iterator end; it != end; it.increment(ec)) {
            if (ec) break;
            std::error_code typeEc;
            (it->is_directory(typeEc) ? folders : files).push_back(it->path());
        }

        chain.push_back(canonical);
        for (const fs::path& sub : folders) {
            TDirTraverseResult r = OnDir(sub.generic_string());
            if (r == TDirTraverseResult::Stop) return true;
            if (r == TDirTraverseResult::Continue && Walk(sub, chain)) return true;
        }
        chain.pop_back();
        for (const fs::path& file : files)
            if (OnFile(file.generic_string()) == TDirTraverseResult::Stop) return true;
        return false;
    }
};

} // namespace

void TOS::RecurseFolders(const char*, const char* folder, bool, TOSVisitFolderCB onVisitFolder,
                         TOSExitFolderCB onExitFolder, TOSVisitFileCB onVisitFile, void* data)
{
    if (!folder) return;
    wxFindFileTraverser traverser;
    traverser.OnVisitFolder = onVisitFolder;
    traverser.OnExitFolder = onExitFolder;
    traverser.OnVisitFile = onVisitFile;
    traverser.Data = data;
    traverser.Descend = true;
    traverser.Traverse(folder);
    if (!traverser.LastFolder.empty() && onExitFolder) onExitFolder(traverser.LastFolder.c_str(), data);
}

bool TOS::FindFile(const char* name, const char* folder, std::string& out, bool recurse)
{
    out.clear();
    if (!name || !folder) return false;
    wxFindFileTraverser traverser;
    traverser.Descend = recurse;
    traverser.Filter = true;
    traverser.Pattern = name;
    traverser.Traverse(folder);
    if (traverser.Matches.empty()) return false;
    out = traverser.Matches.front();
    return true;
}

bool TOS::FindFile(const char* name, const char* folder, char* out, bool recurse, int32_t size)
{
    std::string path;
    bool found = FindFile(name, folder, path, recurse);
    CopyToBuffer(out, size_t(size > 0 ? size : 0), path);
    return found;
}
