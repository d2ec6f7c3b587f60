// Services of the application object for the project, the viewports, the
// panels and the tools: the standard viewports and view matrices, the
// reallocation of very large blocks, the work-memory clean-up, the standard
// warnings, the channel labels and the selection and checkerboard colours.

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>

#include "KSN_Application.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORMemory.h"
#include "QORString.h"

// [SECTION] Standard views (row-major)

const float FrontMatrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
const float BackMatrix[16] = {-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1};
const float LeftMatrix[16] = {0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1};
const float RightMatrix[16] = {0, 0, 1, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 0, 1};
const float TopMatrix[16] = {1, 0, 0, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1};
const float BottomMatrix[16] = {1, 0, 0, 0, 0, 0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1};

namespace {

// out = base x m, both row-major.
void MultiplyRowMajor(float* out, const float* base, const float* m)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) sum += base[r * 4 + k] * m[k * 4 + c];
            out[r * 4 + c] = sum;
        }
}

// Blocks from this size on (in MiB) are parked on disk while they are resized.
constexpr uint32_t SmartReallocDiskThresholdMiB = 100;

} // namespace

// [SECTION] Viewports

void TKSN_Application::ResetViewports()
{
    static constexpr TKSN_StandardView views[4] = {TKSN_StandardView::Front, TKSN_StandardView::Top,
                                                   TKSN_StandardView::Left, TKSN_StandardView::Back};
    for (int i = 0; i < 4; ++i) {
        if (!viewports[i]) continue;
        std::string name = i == 0 ? std::string(Lang.GetText(120)) : QORFormat("%s %d", Lang.GetText(121), i);
        TKSN_ViewportStandardSetup setup;
        setup.name = name.c_str();
        setup.index = i;
        setup.layerMask = 1u << (20 + i);
        setup.furtherMask = 1u << (24 + i);
        setup.mainViewport = i == 0;
        setup.view = views[i];
        setup.automaticView = i != 0;
        setup.locked = i != 0;
        KSN_ApplyViewportStandardSetup(viewports[i], setup);
    }
    viewportLayout = 5;
}

void TKSN_Application::GetFrontMatrix(float* out) const { MultiplyRowMajor(out, baseOrientationMatrix, FrontMatrix); }
void TKSN_Application::GetBackMatrix(float* out) const { MultiplyRowMajor(out, baseOrientationMatrix, BackMatrix); }
void TKSN_Application::GetLeftMatrix(float* out) const { MultiplyRowMajor(out, baseOrientationMatrix, LeftMatrix); }
void TKSN_Application::GetRightMatrix(float* out) const { MultiplyRowMajor(out, baseOrientationMatrix, RightMatrix); }
void TKSN_Application::GetTopMatrix(float* out) const { MultiplyRowMajor(out, baseOrientationMatrix, TopMatrix); }
void TKSN_Application::GetBottomMatrix(float* out) const
{
    MultiplyRowMajor(out, baseOrientationMatrix, BottomMatrix);
}

// [SECTION] Memory

void* TKSN_Application::SmartRealloc(void* data, uint32_t oldSize, uint32_t newSize, bool quiet)
{
    if (newSize == 0) {
        QORfree(data);
        return nullptr;
    }
    if ((newSize >> 20) < SmartReallocDiskThresholdMiB || oldSize == 0) {
        void* block = QORrealloc(data, oldSize, newSize, true);
        if (block) return block;
        CleanAllLargeTempMemory();
        return QORrealloc(data, oldSize, newSize, quiet);
    }

    // Park the old contents on disk so that the old and the new block never
    // need memory at the same time.
    std::string name;
    TOS::GetTemporaryFileNameInSystemTemp(name, "DAT");
    FILE* file = std::fopen(name.c_str(), "w+b");
    if (!file) {
        OS.ErrorMessage("Critical error... cannot create the temporary file %s", name.c_str());
        OS.Exit(1);
    }
    size_t written = std::fwrite(data, 1, oldSize, file);
    if (std::fflush(file) != 0 && written == oldSize) written = 0;
    if (written != oldSize) {
        OS.ErrorMessage("Critical error... cannot create the temporary file %s of size %d", name.c_str(),
                        int(written));
        OS.Exit(1);
    }

    QORfree(data);
    void* block = QORalloc(newSize, true);
    if (!block) {
        CleanAllLargeTempMemory();
        block = QORalloc(newSize, quiet);
    }
    if (!block) {
        // The old contents are gone with their block; the parked copy is of no use to anyone.
        std::fclose(file);
        TOS::OS_DeleteFile(name.c_str(), osDeleteFileOption);
        return nullptr;
    }

    const size_t keep = std::min(oldSize, newSize);
    std::rewind(file);
    if (std::fread(block, 1, keep, file) != keep) {
        std::rewind(file);
        if (std::fread(block, 1, keep, file) != keep) {
            OS.ErrorMessage("Critical error... retrieve data from temporary file %s", name.c_str());
            OS.Exit(1);
        }
    }
    std::fclose(file);
    TOS::OS_DeleteFile(name.c_str(), osDeleteFileOption);
    return block;
}

void TKSN_Application::CleanTemporaryMemory()
{
    KSN_ResizeDepthBuffer(paintDepthBuffer, 0, 0);
    KSN_ResizeDepthBuffer(viewDepthBuffer, 0, 0);
    PaintGridClean();
    CleanAffectedLists();
    CleanAllLargeTempMemory();
}

void CleanAllLargeTempMemory() {}
void DestroyTemporaryMemory() {}

// [SECTION] Warnings

void TKSN_Application::WarningNoCurrentObject(bool pushCommand)
{
    OS.WarningMessageNoRepeat("%s", Lang.GetText(259));
    if (pushCommand) QOREvents_PushEvent(10);
}

void TKSN_Application::WarningNoCurrentMorph(bool pushCommand)
{
    OS.WarningMessageNoRepeat("%s", Lang.GetText(1019));
    if (!pushCommand) return;
    auto* event = new TQOREvent(10);
    event->intParameters[0] = 1;
    QOREvents_PushEvent(event);
}

void TKSN_Application::WarningDeformingBaseVertices()
{
    if (warnedDeformingBaseVertices) return;
    OS.WarningMessageNoRepeat("%s", Lang.GetText(1300));
    warnedDeformingBaseVertices = true;
}

void TKSN_Application::PrintMessageForBoolChange(bool value, const char* format)
{
    if (!format) return;
    // The format is a caller's text meant to carry one "%s"; any other
    // conversion would read arguments that are not there, so such a text is
    // shown as it is.
    if (!VerifyPrintfString(format, "%s")) {
        OS.PrintMessageNoRepeat("%s", format);
        return;
    }
    char buffer[TOS_MESSAGE_BUFFER];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::snprintf(buffer, sizeof buffer, format, Lang.GetText(value ? 1463 : 1464));
#pragma GCC diagnostic pop
    OS.PrintMessageNoRepeat("%s", buffer);
}

// [SECTION] Channel labels

namespace {

struct TChannelLabel {
    const char* channel;
    int fullText;
    int truncatedText;
};

constexpr TChannelLabel ChannelLabels[] = {
    {"Color", 587, 1129},        {"Bump", 589, 1130},     {"Transparency", 593, 1127},
    {"Displacement", 603, 1128}, {"Specular", 595, 1131}, {"Ambient", 601, 1132}};

const TChannelLabel* FindChannelLabel(const char* channel)
{
    if (!channel) return nullptr;
    for (const TChannelLabel& label : ChannelLabels)
        if (std::string_view(label.channel) == channel) return &label;
    return nullptr;
}

} // namespace

const char* TKSN_Application::GetDisplayNameForChannel(const char* channel) const
{
    const TChannelLabel* label = FindChannelLabel(channel);
    return label ? Lang.GetText(label->fullText) : channel;
}

const char* TKSN_Application::GetTruncatedDisplayNameForChannel(const char* channel) const
{
    const TChannelLabel* label = FindChannelLabel(channel);
    return label ? Lang.GetText(label->truncatedText) : channel;
}

// [SECTION] Colours

void TKSN_Application::GetSelectionColor(float* out, float weight, const float* base) const
{
    weight = std::clamp(weight, 0.0f, 1.0f);
    if (plainSelectionColor) {
        for (int c = 0; c < 3; ++c) out[c] = base[c] * (0.75f * weight + 0.25f);
        return;
    }
    if (weight < 0.5f) {
        for (int c = 0; c < 3; ++c) out[c] = base[c] * (1.0f - 2.0f * weight) + warmSelectionColor[c] * 2.0f * weight;
    } else {
        for (int c = 0; c < 3; ++c)
            out[c] = warmSelectionColor[c] * (2.0f - 2.0f * weight) + hotSelectionColor[c] * (2.0f * weight - 1.0f);
    }
}

void TKSN_Application::GetBackgroundGridColorsForTextures(unsigned char* color1, unsigned char* color2) const
{
    const float f = (0.25f * QORglutWigits_InterfaceBrightness + 0.75f) * 0.75f;
    // Grid colours outside 0..1 would not fit a byte: they are held at its ends.
    auto toByte = [](float v) { return static_cast<unsigned char>(std::clamp(v, 0.0f, 255.0f)); };
    for (int c = 0; c < 3; ++c) {
        color1[c] = toByte(textureGridColor1[c] * 255.0f * f);
        color2[c] = toByte(textureGridColor2[c] * 255.0f * f);
    }
}
