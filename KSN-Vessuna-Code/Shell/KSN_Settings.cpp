// The settings file "Kestrune_Vessuna_v4.ini" in the user data folder.
//
// One setting per line: the key, a tab, the value, a line feed. The writer
// always writes the same lines in the same order; the reader takes them in any
// order and any letter case of the key and ignores keys it does not know.
// Numbers are written and read in the "C" numeric locale.
//
// The file is written to a temporary file beside it and renamed over the old
// one only when every byte reached the disk, so a failed write (full disk,
// unwritable folder) leaves the previous settings intact.

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "KSN_Application.h"
#include "KSN_Application_Internal.h"
#include "QORString.h"
#include "QORTextBlock.h"

namespace fs = std::filesystem;

namespace {

// atoi semantics (a malformed number reads as 0) without its undefined overflow.
int32_t ReadInt(const char* text)
{
    long v = std::strtol(text, nullptr, 10);
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return int32_t(v);
}

// A value that is not a finite float ("nan", "inf", 1e300) leaves the
// setting as it was: no clamp holds a NaN back.
void ReadFloat(float& setting, const char* text)
{
    const float value = float(std::strtod(text, nullptr));
    if (std::isfinite(value)) setting = value;
}

// A folder value replaces the field only when the folder exists and fits.
void ReadFolder(char* field, size_t size, const char* value)
{
    if (TOS::DirectoryExists(value) && std::strlen(value) + 2 <= size) KSN_CopyText(field, size, value);
}

bool WriteAll(FILE* file, const std::string& text)
{
    return std::fwrite(text.data(), 1, text.size(), file) == text.size();
}

} // namespace

std::string TKSN_Application::GetSettingsFileName() const
{
    return std::string(userDataPath) + KSN_SETTINGS_FILE_NAME;
}

void TKSN_Application::SaveSettings()
{
    const std::string target = GetSettingsFileName();
    const std::string temporary = target + ".tmp";

    std::string text;
    text += QORFormat("InterfaceBrightness\t%.2f\n", double(QORglutWigits_InterfaceBrightness));
    text += QORFormat("TabletPressureVariesStrength\t%d\n", tabletPressureVariesStrength ? 1 : 0);
    text += QORFormat("TabletPressureVariesPseudoSize\t%d\n", tabletPressureVariesPseudoSize ? 1 : 0);
    text += QORFormat("TabletPressureVariesDensity\t%d\n", tabletPressureVariesDensity ? 1 : 0);
    text += QORFormat("TabletPressureVariesHardness\t%d\n", tabletPressureVariesHardness ? 1 : 0);
    text += QORFormat("TabletSensitivity\t%.6f\n", double(tabletSensitivity));
    text += QORFormat("MouseWheelSensitivity\t%.6f\n", double(mouseWheelSensitivity));
    text += QORFormat("TabletCutoff\t%.6f\n", double(tabletCutoff));
    text += QORFormat("ImportPath\t%s\n", importPath);
    text += QORFormat("ExportPath\t%s\n", exportPath);
    text += QORFormat("ImagesPath\t%s\n", imagesPath);
    text += QORFormat("ProjectsPath\t%s\n", projectsPath);
    text += QORFormat("AutoSaveFileName\t%s\n", autoSaveFileName);
    if (GlobalSearchPaths)
        for (TKSN_SearchPath* sp : *GlobalSearchPaths)
            text += QORFormat("%s\t%s\n", sp->recursive ? "RecursiveSearchPath" : "SearchPath", sp->path);
    text += QORFormat("RunCount\t%d\n", runCount);
    text += QORFormat("Hints\t%d\n", showHints ? 1 : 0);
    text += QORFormat("UndoLimit\t%d\n", undoLimit);
    text += QORFormat("LoadDefaultProject\t%d\n", loadDefaultProject ? 1 : 0);

    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) return;
    bool ok = WriteAll(file, text);
    ok = (std::fflush(file) == 0) && ok;
    ok = (std::fclose(file) == 0) && ok;
    std::error_code ec;
    if (ok) fs::rename(temporary, target, ec);
    if (!ok || ec) fs::remove(temporary, ec);
}

void TKSN_Application::LoadSettings()
{
    FILE* file = std::fopen(GetSettingsFileName().c_str(), "rb");
    if (!file) return;

    GlobalSearchPaths->DeleteAll();

    std::string line;
    std::string key;
    std::string value;
    int nestedDepth = 0;   // inside a block that no setting uses (skipped whole)
    while (!std::feof(file)) {
        // Whole lines: a long path is refused by its field, never split into a second key.
        QORReadTextLine(file, line);
        key.assign(line.size() + 1, '\0');
        value.assign(line.size() + 1, '\0');
        GetCommandAndParameter(line.c_str(), key.data(), value.data());
        const char* k = key.c_str();
        const char* v = value.c_str();
        if (std::strcmp(k, "{") == 0) { ++nestedDepth; continue; }
        if (std::strcmp(k, "}") == 0) { if (nestedDepth > 0) --nestedDepth; continue; }
        if (nestedDepth > 0 || !*k) continue;

        if (QORstrcmpi(k, "ImportPath") == 0) ReadFolder(importPath, sizeof importPath, v);
        else if (QORstrcmpi(k, "ExportPath") == 0) ReadFolder(exportPath, sizeof exportPath, v);
        else if (QORstrcmpi(k, "ImagesPath") == 0) ReadFolder(imagesPath, sizeof imagesPath, v);
        else if (QORstrcmpi(k, "ProjectsPath") == 0) ReadFolder(projectsPath, sizeof projectsPath, v);
        else if (QORstrcmpi(k, "InterfaceBrightness") == 0) {
            float b = QORglutWigits_InterfaceBrightness;
            ReadFloat(b, v);
            QORglutWigits_InterfaceBrightness = b < 0.0f ? 0.0f : (b > 1.0f ? 1.0f : b);
        }
        else if (QORstrcmpi(k, "AutoSaveFileName") == 0)
            KSN_CopyText(loadedAutoSaveFileName, sizeof loadedAutoSaveFileName, v);
        else if (QORstrcmpi(k, "SearchPath") == 0) GlobalSearchPaths->AddPath(v, false);
        else if (QORstrcmpi(k, "RecursiveSearchPath") == 0) GlobalSearchPaths->AddPath(v, true);
        else if (QORstrcmpi(k, "RunCount") == 0) runCount = ReadInt(v);
        else if (QORstrcmpi(k, "LoadDefaultProject") == 0) loadDefaultProject = ReadInt(v) != 0;
        else if (QORstrcmpi(k, "TabletPressureVariesStrength") == 0) tabletPressureVariesStrength = ReadInt(v) != 0;
        else if (QORstrcmpi(k, "TabletPressureVariesPseudoSize") == 0) tabletPressureVariesPseudoSize = ReadInt(v) != 0;
        else if (QORstrcmpi(k, "TabletPressureVariesDensity") == 0) tabletPressureVariesDensity = ReadInt(v) != 0;
        else if (QORstrcmpi(k, "TabletPressureVariesHardness") == 0) tabletPressureVariesHardness = ReadInt(v) != 0;
        else if (QORstrcmpi(k, "TabletSensitivity") == 0) ReadFloat(tabletSensitivity, v);
        else if (QORstrcmpi(k, "MouseWheelSensitivity") == 0) ReadFloat(mouseWheelSensitivity, v);
        else if (QORstrcmpi(k, "TabletCutoff") == 0) ReadFloat(tabletCutoff, v);
        // "ExtraLargeTextureSize", "Hints", "UndoLimit" and unknown keys are ignored.
    }

    AddLastSlashIfNecessary(importPath);
    AddLastSlashIfNecessary(exportPath);
    AddLastSlashIfNecessary(imagesPath);
    AddLastSlashIfNecessary(projectsPath);
    std::fclose(file);
}
