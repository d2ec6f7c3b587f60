// TOS: the OS layer. Exactly one object, the global `OS`, built by static
// initialisation before main() and alive until the process ends.
//
// Every message, warning, hint, debug line and progress report goes through
// it to hooks (plain function pointers) that start-up plugs in; until a hook
// is set its texts are dropped. Every modal box, the colour picker, the file
// dialogs and the clipboard go through a replaceable dialog provider, so a
// test can answer them and nothing ever blocks; the default provider uses
// wxWidgets. Modal operations run only on the main thread (the thread that
// built `OS`); elsewhere they return their declined value, show nothing and
// call no hook.
//
// Invariants: texts handed to hooks are valid only during the call; panel
// texts are cut at their documented buffer size less one byte (hints are
// handed on whole); `newIsInDialog` is true exactly while a modal operation
// of this layer is open. The layer takes no lock and keeps no log file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>
#include <thread>

#include "QORTimer.h"

class wxWindow;

// [SECTION] Dialog provider

enum class TOSBoxKind { Message, Error, YesNo, YesNoCancel, OkCancel };
enum class TOSBoxAnswer { Ok, Yes, No, Cancel, Closed };

// One file dialog as the OS layer asks for it.
struct TOSFileDialogRequest {
    std::string Prompt;        // "Open" or "Save"
    std::string Folder;        // starting folder
    std::string DefaultName;   // proposed file name
    std::string Wildcard;      // toolkit filter text: "desc|*.a;*.b|..." or a bare pattern such as "*.png"
    std::string DefaultExtension;
    bool Save = false;         // save (ask before overwriting) or open (file must exist)
};

// Everything that needs a user or the desktop. The OS layer runs the modal
// bracket (main-thread check, dialog hooks) around the modal calls; a
// provider only shows and answers.
struct TOSDialogProvider {
    virtual ~TOSDialogProvider() = default;
    // `defaultYes` names the default button of the Yes/No question.
    virtual TOSBoxAnswer ShowBox(TOSBoxKind kind, const char* title, const char* text, bool defaultYes) = 0;
    // `rgb` (bytes) holds the starting colour; true and `rgb` overwritten when the user confirms.
    virtual bool PickColour(unsigned char rgb[3]) = 0;
    // True and `chosen` set (a full path) when the user chose a file.
    virtual bool SelectFile(const TOSFileDialogRequest& request, std::string& chosen) = 0;
    // False when the clipboard cannot be opened.
    virtual bool SetClipboardText(const std::string& text) = 0;
    // False when the clipboard cannot be opened; `text` empty when it offers no text.
    virtual bool GetClipboardText(std::string& text) = 0;
    // Starts `program` (an existing file) with the argument vector, without
    // waiting; false when it cannot be started. The default starts it for real.
    virtual bool StartProgram(const std::string& program, const std::vector<std::string>& arguments);
    // Opens the address in the default browser; the default does it for real.
    virtual bool OpenWebPage(const std::string& url);
};

// [SECTION] Callback types

typedef void (*TOSProgressCB)();
typedef void (*TOSMessageCB)(char* text);
typedef void (*TOSMessageWithEventCB)(int command, char* text);
typedef void (*TOSDialogCB)();
typedef void (*TOSVisitFolderCB)(const char* folder, void* data);
typedef void (*TOSExitFolderCB)(const char* folder, void* data);
typedef void (*TOSVisitFileCB)(const char* folder, const char* name, void* data);

#define TOS_PRINTF(fmtIndex, firstArg) __attribute__((format(printf, fmtIndex, firstArg)))

// Buffer sizes of the panel and box texts, in bytes (the text keeps one less).
constexpr int TOS_MESSAGE_BUFFER = 1000;
constexpr int TOS_LONG_MESSAGE_BUFFER = 10000;
// What callers pass for paths.
constexpr int TOS_PATH_BUFFER = 10000;

class TOS {
public:
    TOS();
    ~TOS();
    TOS(const TOS&) = delete;
    TOS& operator=(const TOS&) = delete;

    // [SECTION] Construction and end
    int32_t GetNumberOfCPUs() const { return NumberOfCPUs; }
    // A processor count as the toolkit reports it, clamped to 1..32.
    static int32_t ClampNumberOfCPUs(int reported);
    // Frees the argument copies and ends the process with `status`: 0 only for
    // the normal quit, 1 on every fatal path. Calls no hook, saves nothing.
    [[noreturn]] void Exit(int status);

    // [SECTION] Modal boxes (printf-style, 1000-byte texts)
    void Message(const char* format, ...) TOS_PRINTF(2, 3);
    void ErrorMessage(const char* format, ...) TOS_PRINTF(2, 3);
    bool MessageYesNoB(bool defaultYes, const char* format, ...) TOS_PRINTF(3, 4);
    bool MessageYesNo(const char* format, ...) TOS_PRINTF(2, 3);
    // 0 Yes, 1 No, 2 anything else.
    int32_t MessageYesNoCancel(const char* format, ...) TOS_PRINTF(2, 3);
    bool MessageOkCancel(const char* format, ...) TOS_PRINTF(2, 3);
    // `in` and `out`: red, green, blue in 0..1. `out` is written only on confirm.
    bool ExecuteColorDialog(float* out, const float* in);

    // [SECTION] Panel messages (through the hooks)
    void PrintMessage(const char* format, ...) TOS_PRINTF(2, 3);
    void WarningMessage(const char* format, ...) TOS_PRINTF(2, 3);
    void PrintMessageNoRepeat(const char* format, ...) TOS_PRINTF(2, 3);
    void WarningMessageNoRepeat(const char* format, ...) TOS_PRINTF(2, 3);
    void PrintMessageWithEvent(int32_t command, const char* format, ...) TOS_PRINTF(3, 4);
    void PrintHint(const char* format, ...) TOS_PRINTF(2, 3);
    void DebugMessage(const char* format, ...) TOS_PRINTF(2, 3);

    void AssignOnDoProgress(TOSProgressCB cb) { fOnDoProgress = cb; }
    void AssignOnPrintMessage(TOSMessageCB cb) { fOnPrintMessage = cb; }
    void AssignOnWarningMessage(TOSMessageCB cb) { fOnWarningMessage = cb; }
    void AssignOnWarningMessageNoRepeatFailed(TOSMessageCB cb) { fOnWarningMessageNoRepeatFailed = cb; }
    void AssignOnPrintMessageNoRepeatFailed(TOSMessageCB cb) { fOnPrintMessageNoRepeatFailed = cb; }
    void AssignOnPrintHint(TOSMessageCB cb) { fOnPrintHint = cb; }
    void AssignOnPrintMessageWithEvent(TOSMessageWithEventCB cb) { fOnPrintMessageWithEvent = cb; }
    void AssignOnDebugMessage(TOSMessageCB cb) { fOnDebugMessage = cb; }
    void AssignOnClearMessages(TOSProgressCB cb) { fOnClearMessages = cb; }
    // Replaces the system bell (null restores it), so a test can count refusals.
    void AssignOnBeep(TOSProgressCB cb) { fOnBeep = cb; }

    // [SECTION] Progress
    void InProgress();
    // Calls the progress hook at most every 0.5 s while progress is active.
    void DoProgress();
    void NotInProgress();
    bool IsInProgress() const { return ProgressActive; }

    // [SECTION] Drawing flag and modifier keys
    void BeginDrawing() { DrawingInProgress = true; }
    void EndDrawing() { DrawingInProgress = false; }
    bool IsDrawingInProgress() const { return DrawingInProgress; }
    void SetAltHeld(bool held) { AltHeld = held; }
    void SetCtrlHeld(bool held) { CtrlHeld = held; }
    void SetShiftHeld(bool held) { ShiftHeld = held; }
    bool IsAltHeld() const { return AltHeld; }
    bool IsCtrlHeld() const { return CtrlHeld; }
    bool IsShiftHeld() const { return ShiftHeld; }

    // [SECTION] Window and timing
    bool IsInDialog() const;
    // No-ops by design on the desktop: the window keeps the state the user gave it.
    void MaximizeWindow(wxWindow*) {}
    void MinimizeWindow(wxWindow*) {}
    void RestoreWindowIfMinimized();
    // Always false by design on the desktop: long real-time redraws are not cut short by mouse motion.
    bool UserMouseMotionWaiting() const { return false; }
    void Pause(int32_t milliseconds);
    void Beep();

    // [SECTION] Threads and dialog provider
    // The thread that built `OS` (static initialisation runs on the main thread).
    bool IsMainThread() const;
    // Null restores the wxWidgets provider. The provider is not owned.
    void SetDialogProvider(TOSDialogProvider* provider) { DialogProvider = provider; }
    TOSDialogProvider* GetDialogProvider();

    // [SECTION] Start-up and arguments (files, folders and paths)
    // Main folder with a trailing "/": the nearest folder, from the working
    // folder upwards, that holds "Data/anchor.dat"; else the working folder.
    static std::string GetMainPathOnStartup();
    // As above into `buffer`, cut safely at `size` bytes.
    static void GetMainPathOnStartup(char* buffer, int32_t size = 256);
    void OnApplicationStartup(const char* mainPath, void* unused = nullptr);
    char** GetCommandLineArguments(int32_t* count);
    void CleanArguments();
    const char* GetMainPath() const { return MainPath.c_str(); }
    // The data folder of the main folder ("Data/", or "data/" when only that
    // spelling exists), with a trailing "/"; both spellings name this folder.
    std::string GetDataFolder() const;
    // GetDataFolder() followed by `name`.
    std::string GetDataPath(const char* name) const;

    // [SECTION] Standard folders (trailing "/"; the char* forms cut at `size`)
    static bool GetTemporaryPath(std::string& out);
    static bool GetTemporaryPath(char* buffer, int32_t size = TOS_PATH_BUFFER);
    static bool GetDocumentsPath(std::string& out);
    static bool GetDocumentsPath(char* buffer, int32_t size = TOS_PATH_BUFFER);
    static bool CreateApplicationDataFolder(std::string& out);
    static bool CreateApplicationDataFolder(char* buffer, void* unused = nullptr, int32_t size = TOS_PATH_BUFFER);
    static bool GetTemporaryFileNameInSystemTemp(std::string& out, const char* extension);
    static bool GetTemporaryFileNameInSystemTemp(char* buffer, const char* extension, int32_t size = TOS_PATH_BUFFER);

    // [SECTION] Files and folders (each answers whether it succeeded)
    static bool FileExists(const char* path);
    static bool DirectoryExists(const char* path);
    static bool MakeFolder(const char* path);
    static bool OS_DeleteFile(const char* path, bool unused = false);
    // Copies `source` onto `destination` (overwriting); destination first.
    static bool OS_CopyFile(const char* destination, const char* source);

    // Reads one line of at most size - 1 bytes; CR, LF, CR LF and LF CR end a
    // line and are not stored; NUL bytes are dropped; bytes 128..255 are kept.
    // Always returns `buffer`; test feof(file) for the end.
    static char* fgets(char* buffer, int32_t size, FILE* file);

    // [SECTION] Wildcards and folder walks
    static bool IsWildcardMatch(const char* pattern, const char* text, int32_t caseSensitive);
    // Hands every file below `folder` (all subfolders, whatever `pattern`
    // and `recurse` say) to `onVisitFile`; folders to the folder callbacks.
    static void RecurseFolders(const char* pattern, const char* folder, bool recurse, TOSVisitFolderCB onVisitFolder,
                               TOSExitFolderCB onExitFolder, TOSVisitFileCB onVisitFile, void* data);
    // First file below `folder` whose name matches `name` (not case-sensitive).
    static bool FindFile(const char* name, const char* folder, std::string& out, bool recurse);
    static bool FindFile(const char* name, const char* folder, char* out, bool recurse, int32_t size = TOS_PATH_BUFFER);

    // [SECTION] File dialogs, clipboard and launching (out and folder: 10000-byte buffers)
    bool ExecuteOpenFileDialog(char* out, char* folder, const char* description, const char* extension,
                               const char* defaultName, bool rememberFolder);
    bool ExecuteOpenFileDialogMultipleTypes(char* out, char* folder, const char* wildcard, const char* defaultName,
                                            bool rememberFolder, int32_t* typeIndex);
    bool ExecuteSaveFileDialog(char* out, char* folder, const char* description, const char* extension,
                               const char* defaultName, bool rememberFolder);
    bool ExecuteSaveFileDialogMultipleTypes(char* out, char* folder, const char* wildcard, const char* defaultName,
                                            bool rememberFolder, int32_t* typeIndex);
    // Makes sure `path` names an existing file, looking in `folder` and then asking the user.
    bool LocateFile(char* path, char* folder);
    bool SetClipboardText(const char* text);
    bool GetClipboardText(char* buffer, int32_t size);
    // Starts `path` with `arguments` split into an argument vector (double
    // quotes group words); never through a shell; does not wait.
    bool LaunchApp(const char* path, const char* arguments);
    bool LaunchURL(const char* url);

    // [SECTION] Fields
    std::string LastMessageText;      // last text shown by the print/warning hooks (at most 999 bytes)
    int32_t NumberOfCPUs = 1;
    bool AltHeld = false, CtrlHeld = false, ShiftHeld = false;
    bool ProgressActive = false;
    bool DrawingInProgress = false;
    TQORTimer ProgressTimer;
    TOSProgressCB fOnDoProgress = nullptr;
    TOSMessageCB fOnPrintMessage = nullptr;
    TOSMessageCB fOnWarningMessage = nullptr;
    TOSMessageCB fOnWarningMessageNoRepeatFailed = nullptr;
    TOSMessageCB fOnPrintMessageNoRepeatFailed = nullptr;
    TOSMessageCB fOnPrintHint = nullptr;
    TOSMessageWithEventCB fOnPrintMessageWithEvent = nullptr;
    TOSMessageCB fOnDebugMessage = nullptr;
    TOSProgressCB fOnClearMessages = nullptr;
    TOSProgressCB fOnBeep = nullptr;
    int32_t ArgumentCount = 0;
    char** Arguments = nullptr;       // ArgumentCount copies, each a QORalloc block
    int32_t LastMouseX = -1, LastMouseY = -1;   // window pixels
    TOSDialogCB fOnDialogOpen = nullptr;        // start-up writes these two directly
    TOSDialogCB fOnDialogClose = nullptr;
    std::string MainPath;             // main folder with a trailing "/"

private:
    std::thread::id MainThreadId;
    TOSDialogProvider* DialogProvider = nullptr;
};

extern TOS OS;
// True while a modal box or dialog of the OS layer is open.
extern bool newIsInDialog;

// The keyboard right now (not the stored state).
bool IsShiftHeldRightNow();
bool IsCtrlHeldRightNow();
bool IsAltHeldRightNow();
bool IsEscHeldRightNow();
