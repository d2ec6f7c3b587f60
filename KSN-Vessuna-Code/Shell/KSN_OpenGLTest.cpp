#include "KSN_OpenGLTest.h"

#include "KSN_Application.h"
#include "OS.h"
#include "QORGL.h"
#include "QORString.h"
#include "QORStringParser.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct TFileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

// Reads one whole line: CR, LF, CR LF and LF CR end it; NUL bytes and bytes
// above 127 are dropped. False at the end of the file with nothing read.
bool ReadLine(FILE* file, std::string& line)
{
    line.clear();
    int c = std::getc(file);
    if (c == EOF) return false;
    for (; c != EOF; c = std::getc(file)) {
        if (c == '\r' || c == '\n') {
            int next = std::getc(file);
            if (next != EOF && next != c && (next == '\r' || next == '\n')) break;
            if (next != EOF) std::ungetc(next, file);
            break;
        }
        if (c > 0 && c < 128) line.push_back(char(c));
    }
    return true;
}

constexpr int FieldsPerRow = 16;

const char* ConstText(const char* text) { return text ? text : ""; }

} // namespace

void TKSN_VideoCard_DataBase::LoadFromFile(const char* path)
{
    std::unique_ptr<FILE, TFileCloser> file(path ? std::fopen(path, "r") : nullptr);
    if (!file) {
        OS.Message("Cannot open the file %s", ConstText(path));
        return;
    }
    bool headerSeen = false;
    std::string line;
    while (ReadLine(file.get(), line)) {
        TQORStringParser parser(line.c_str(), false);
        const auto& f = parser.Tokens;
        if (f.Count() < FieldsPerRow) continue;
        if (!headerSeen) {
            headerSeen = true;
            continue;
        }
        auto node = std::make_unique<TKSN_VideoCard_DataBaseNode>();
        node->vendor = f[1];
        node->renderer = f[2];
        node->version = f[3];
        node->status = std::atoi(f[9]);
        node->webPage = f[10];
        node->firstFlag = std::atoi(f[11]) != 0;
        node->secondFlag = std::atoi(f[12]) != 0;
        node->allowMinimize = std::atoi(f[13]) != 0;
        node->comment = f[15];
        List.push_back(std::move(node));
    }
}

const TKSN_VideoCard_DataBaseNode* TKSN_VideoCard_DataBase::FindDriver(const char* vendor, const char* renderer,
                                                                       const char* version) const
{
    auto sameCard = [&](const TKSN_VideoCard_DataBaseNode& n) {
        return QORstrcmpi(n.vendor.c_str(), ConstText(vendor)) == 0 &&
               QORstrcmpi(n.renderer.c_str(), ConstText(renderer)) == 0;
    };
    for (const auto& n : List)
        if (sameCard(*n) && (!version || QORstrcmpi(n->version.c_str(), version) == 0)) return n.get();
    for (const auto& n : List)
        if (sameCard(*n)) return n.get();
    return nullptr;
}

void TestOpenGLDriver(const char* vendor, const char* renderer, const char* version, const char* extensions)
{
    if (!extensions) return;
    if (std::strstr(extensions, "GL_ARB_texture_compression")) QORglut_TextureCompressionSupported = true;

    TKSN_VideoCard_DataBase database;
    database.LoadFromFile(OS.GetDataPath("OpenGL_Database.csv").c_str());
    const TKSN_VideoCard_DataBaseNode* row = database.FindDriver(vendor, renderer, version);
    if (!row) return;

    if (App) App->allowMinimize = row->allowMinimize;
    if (row->status == 0) {
        if (!OS.MessageYesNo("The video card drivers on this computer (%s, %s) is not compatible with Kestrune.\n\n"
                             "Comment: %s\n\nWould you like to try to run it anyway?",
                             row->vendor.c_str(), row->renderer.c_str(), row->comment.c_str()))
            OS.Exit(1);
    } else if (row->status == 1 || row->status == 2) {
        if (OS.MessageYesNo("The video card drivers on this computer (%s, %s) may have some issues with Kestrune.\n\n"
                            "Comment: %s\n\nWould you like to visit the web site and read about it?",
                            row->vendor.c_str(), row->renderer.c_str(), row->comment.c_str()))
            OS.LaunchURL(row->webPage.c_str());
    }
}

void TestOpenGL()
{
    auto text = [](GLenum name) { return reinterpret_cast<const char*>(glGetString(name)); };
    TestOpenGLDriver(text(GL_VENDOR), text(GL_RENDERER), text(GL_VERSION), text(GL_EXTENSIONS));
}
