// The desktop side of the OS layer: the wxWidgets dialog provider, the file
// dialogs, the missing-file question, the clipboard and the launching of
// programs and of the browser.
//
// Index: [wxWidgets provider] [File dialogs] [Missing files] [Clipboard] [Launching]
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include <wx/app.h>
#include <wx/clipbrd.h>
#include <wx/colordlg.h>
#include <wx/filedlg.h>
#include <wx/log.h>
#include <wx/msgdlg.h>
#include <wx/utils.h>

#include "OS.h"
#include "OS_Internal.h"
#include "QORString.h"

using TOSInternal::CopyToBuffer;
using TOSInternal::RunModal;

// [SECTION] wxWidgets provider

namespace {

wxString FromUtf8(const std::string& text) { return wxString::FromUTF8(text.c_str()); }

std::string ToUtf8(const wxString& text)
{
    wxScopedCharBuffer utf8 = text.utf8_str();
    return std::string(utf8.data(), utf8.length());
}

class TWxDialogProvider final : public TOSDialogProvider {
public:
    TOSBoxAnswer ShowBox(TOSBoxKind kind, const char* title, const char* text, bool defaultYes) override
    {
        // Before the toolkit runs there is nobody to ask: the text goes to
        // the error stream and the question gets its declined answer.
        if (!TOSInternal::GuiApp()) {
            std::fprintf(stderr, "%s %s\n", title, text);
            return kind == TOSBoxKind::Message || kind == TOSBoxKind::Error ? TOSBoxAnswer::Ok : TOSBoxAnswer::Closed;
        }
        long style = 0;
        switch (kind) {
        case TOSBoxKind::Message: style = wxOK | wxCENTRE; break;
        case TOSBoxKind::Error: style = wxOK | wxICON_EXCLAMATION; break;
        case TOSBoxKind::YesNo: style = wxYES_NO | wxICON_EXCLAMATION | (defaultYes ? 0 : wxNO_DEFAULT); break;
        case TOSBoxKind::YesNoCancel: style = wxYES_NO | wxCANCEL | wxICON_EXCLAMATION; break;
        case TOSBoxKind::OkCancel: style = wxOK | wxCANCEL | wxICON_EXCLAMATION; break;
        }
        switch (wxMessageBox(wxString::FromUTF8(text), wxString::FromUTF8(title), style, nullptr)) {
        case wxOK: return TOSBoxAnswer::Ok;
        case wxYES: return TOSBoxAnswer::Yes;
        case wxNO: return TOSBoxAnswer::No;
        case wxCANCEL: return TOSBoxAnswer::Cancel;
        default: return TOSBoxAnswer::Closed;
        }
    }

    bool PickColour(unsigned char rgb[3]) override
    {
        wxApp* app = TOSInternal::GuiApp();
        if (!app) return false;
        wxColour chosen = wxGetColourFromUser(app->GetTopWindow(), wxColour(rgb[0], rgb[1], rgb[2], 255),
                                              wxEmptyString);
        if (!chosen.IsOk()) return false;
        rgb[0] = chosen.Red();
        rgb[1] = chosen.Green();
        rgb[2] = chosen.Blue();
        return true;
    }

    bool SelectFile(const TOSFileDialogRequest& request, std::string& chosen) override
    {
        if (!TOSInternal::GuiApp()) return false;
        int flags = request.Save ? (wxFD_SAVE | wxFD_OVERWRITE_PROMPT) : (wxFD_OPEN | wxFD_FILE_MUST_EXIST);
        wxString path = wxFileSelector(FromUtf8(request.Prompt), FromUtf8(request.Folder), FromUtf8(request.DefaultName),
                                       FromUtf8(request.DefaultExtension), FromUtf8(request.Wildcard), flags, nullptr);
        if (path.empty()) return false;
        chosen = ToUtf8(path);
        return !chosen.empty();
    }

    bool SetClipboardText(const std::string& text) override
    {
        if (!TOSInternal::GuiApp() || !wxTheClipboard->Open()) return false;
        wxTheClipboard->SetData(new wxTextDataObject(FromUtf8(text)));
        wxTheClipboard->Close();
        return true;
    }

    bool GetClipboardText(std::string& text) override
    {
        text.clear();
        if (!TOSInternal::GuiApp() || !wxTheClipboard->Open()) return false;
        if (wxTheClipboard->IsSupported(wxDF_TEXT)) {
            wxTextDataObject data;
            if (wxTheClipboard->GetData(data)) text = ToUtf8(data.GetText());
        }
        wxTheClipboard->Close();
        return true;
    }
};

// [SECTION] File dialogs

// Folder part of a path, with its trailing "/" (empty without "/").
std::string FolderOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NameOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Position of the dot before the extension of the last path component, or npos.
size_t ExtensionDot(const std::string& path)
{
    size_t dot = path.rfind('.');
    size_t slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string::npos;
    return dot;
}

bool IsEmpty(const char* text) { return !text || !*text; }

// The common run of the four file dialogs. `forcedExtension`, when given,
// replaces the extension of the chosen path.
bool RunFileDialog(char* out, char* folder, const TOSFileDialogRequest& request, bool rememberFolder,
                   const char* forcedExtension)
{
    if (!OS.IsMainThread()) return false;
    if (out) out[0] = 0;
    std::string chosen;
    bool picked = RunModal(false, [&] { return OS.GetDialogProvider()->SelectFile(request, chosen); });
    if (!picked || chosen.empty()) return false;

    if (!IsEmpty(forcedExtension)) {
        // Only the file name's own extension goes: a dot in a folder name
        // must not cut the path.
        size_t dot = ExtensionDot(chosen);
        if (dot != std::string::npos && dot > chosen.size() - NameOf(chosen).size()) chosen.resize(dot);
        chosen += ".";
        chosen += forcedExtension;
    }
    CopyToBuffer(out, TOS_PATH_BUFFER, chosen);
    if (rememberFolder && folder) CopyToBuffer(folder, TOS_PATH_BUFFER, FolderOf(chosen));
    return true;
}

TOSFileDialogRequest MakeRequest(const char* prompt, bool save, const char* folder, const char* wildcard,
                                 const char* defaultName, const char* defaultExtension)
{
    TOSFileDialogRequest request;
    request.Prompt = prompt;
    request.Save = save;
    request.Folder = folder ? folder : "";
    request.Wildcard = wildcard ? wildcard : "";
    request.DefaultName = defaultName ? defaultName : "";
    request.DefaultExtension = defaultExtension ? defaultExtension : "";
    return request;
}

// [SECTION] Launching

// Splits a command line into words: blanks separate, double quotes group
// (the quotes themselves are dropped).
std::vector<std::string> SplitArguments(const char* text)
{
    std::vector<std::string> words;
    if (!text) return words;
    const char* p = text;
    for (;;) {
        while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r') ++p;
        if (!*p) break;
        std::string word;
        bool quoted = false;
        for (; *p; ++p) {
            if (*p == '"') { quoted = !quoted; continue; }
            if (!quoted && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r')) break;
            word += *p;
        }
        words.push_back(word);
    }
    return words;
}

bool IsExecutable(const std::string& path) { return ::access(path.c_str(), X_OK) == 0 && TOS::FileExists(path.c_str()); }

// Whether `program` names something that can be started: a path, or a
// name found on PATH.
bool ProgramExists(const std::string& program)
{
    if (program.empty()) return false;
    if (program.find('/') != std::string::npos) return IsExecutable(program);
    const char* pathList = std::getenv("PATH");
    std::string paths = pathList ? pathList : "";
    size_t start = 0;
    for (;;) {
        size_t end = paths.find(':', start);
        std::string folder = paths.substr(start, end == std::string::npos ? std::string::npos : end - start);
        // An empty entry of PATH is the working folder.
        if (IsExecutable((folder.empty() ? std::string(".") : folder) + "/" + program)) return true;
        if (end == std::string::npos) return false;
        start = end + 1;
    }
}

} // namespace

wxApp* TOSInternal::GuiApp() { return dynamic_cast<wxApp*>(wxAppConsole::GetInstance()); }

TOSDialogProvider& TOSInternal::WxDialogProvider()
{
    static TWxDialogProvider provider;
    return provider;
}

bool TOS::ExecuteOpenFileDialog(char* out, char* folder, const char* description, const char* extension,
                                const char* defaultName, bool rememberFolder)
{
    (void)description;   // the type's display name is not shown
    std::string filter = IsEmpty(extension) ? std::string("*.*") : std::string("*.") + extension;
    return RunFileDialog(out, folder, MakeRequest("Open", false, folder, filter.c_str(), defaultName, extension),
                         rememberFolder, nullptr);
}

bool TOS::ExecuteOpenFileDialogMultipleTypes(char* out, char* folder, const char* wildcard, const char* defaultName,
                                             bool rememberFolder, int32_t* typeIndex)
{
    (void)typeIndex;   // accepted, never written
    return RunFileDialog(out, folder, MakeRequest("Open", false, folder, wildcard, defaultName, nullptr),
                         rememberFolder, nullptr);
}

bool TOS::ExecuteSaveFileDialog(char* out, char* folder, const char* description, const char* extension,
                                const char* defaultName, bool rememberFolder)
{
    (void)description;
    std::string filter = IsEmpty(extension) ? std::string("*.*") : std::string("*.") + extension;
    std::string proposed = defaultName ? defaultName : "";
    if (!proposed.empty() && !IsEmpty(extension)) {
        size_t dot = ExtensionDot(proposed);
        std::string ext = dot == std::string::npos ? std::string() : proposed.substr(dot + 1);
        if (QORstrcmpi(ext.c_str(), extension) != 0)
            proposed = (dot == std::string::npos ? proposed : proposed.substr(0, dot)) + "." + extension;
    }
    return RunFileDialog(out, folder,
                         MakeRequest("Save", true, folder, filter.c_str(), proposed.c_str(), extension),
                         rememberFolder, extension);
}

bool TOS::ExecuteSaveFileDialogMultipleTypes(char* out, char* folder, const char* wildcard, const char* defaultName,
                                             bool rememberFolder, int32_t* typeIndex)
{
    (void)typeIndex;
    // This dialog has always said "Open"; callers' users know it that way.
    return RunFileDialog(out, folder, MakeRequest("Open", true, folder, wildcard, defaultName, nullptr),
                         rememberFolder, nullptr);
}

// [SECTION] Missing files

bool TOS::LocateFile(char* path, char* folder)
{
    if (IsEmpty(path)) return false;
    if (FileExists(path)) return true;

    std::string name = NameOf(path);
    std::string base = folder ? folder : "";
    if (!base.empty()) {
        std::string candidate = base.back() == '/' ? base + name : base + "/" + name;
        if (FileExists(candidate.c_str())) {
            CopyToBuffer(path, TOS_PATH_BUFFER, candidate);
            return true;
        }
    }
    if (!MessageYesNo("The file '%s' cannot be found. Do you want to find it now?", name.c_str())) return false;
    if (!ExecuteOpenFileDialog(path, folder, "", "", name.c_str(), false)) return false;
    return FileExists(path);
}

// [SECTION] Clipboard

bool TOS::SetClipboardText(const char* text) { return GetDialogProvider()->SetClipboardText(text ? text : ""); }

bool TOS::GetClipboardText(char* buffer, int32_t size)
{
    if (!buffer || size < 1) return false;
    buffer[0] = 0;
    std::string text;
    if (!GetDialogProvider()->GetClipboardText(text)) return false;
    CopyToBuffer(buffer, size_t(size), text);
    return buffer[0] != 0;
}

// [SECTION] Launching

bool TOSDialogProvider::StartProgram(const std::string& program, const std::vector<std::string>& arguments)
{
    // An argument vector, not a shell line: no text of the caller is ever
    // interpreted by a shell.
    std::vector<const char*> argv;
    argv.push_back(program.c_str());
    for (const std::string& w : arguments) argv.push_back(w.c_str());
    argv.push_back(nullptr);
    wxLogNull quiet;   // a failure is answered through the result, not a log box
    return wxExecute(argv.data(), wxEXEC_ASYNC) > 0;
}

bool TOSDialogProvider::OpenWebPage(const std::string& url) { return wxLaunchDefaultBrowser(wxString::FromUTF8(url)); }

bool TOS::LaunchApp(const char* path, const char* arguments)
{
    std::string program = path ? path : "";
    if (!ProgramExists(program)) {
        ErrorMessage("The program '%s' cannot be started: it was not found.", program.c_str());
        return false;
    }
    if (!GetDialogProvider()->StartProgram(program, SplitArguments(arguments))) {
        ErrorMessage("The program '%s' cannot be started.", program.c_str());
        return false;
    }
    return true;
}

bool TOS::LaunchURL(const char* url) { return url && GetDialogProvider()->OpenWebPage(url); }
