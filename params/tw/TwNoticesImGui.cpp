// The notice boxes on Dear ImGui: an ImGui context of their own, so that they draw in frames
// where the panels are hidden and take no part in the panels' input, with the text and the
// backdrop on its foreground draw list.
#include "gl/Gl.h"
#include "params/NoticeDrawer.h"
#include "params/tw/ImGuiFonts.h"
#include "params/tw/ImGuiScopes.h"

#include <backends/imgui_impl_opengl2.h>
#include <imgui.h>
#include <imgui_internal.h>

#include <algorithm>
#include <cfloat>
#include <chrono>
#include <cmath>
#include <string>

namespace mirvo::params {

namespace {

using tw::ContextScope;
using tw::SceneStateGuard;

// The text's height in pixels at a scale of 1.
constexpr float kBaseFontSize = 15.f;
constexpr float kMargin = 16.f;
constexpr float kPadding = 6.f;
constexpr float kSpacing = 6.f;
constexpr float kBackdropAlpha = 0.72f;
constexpr float kRounding = 3.f;

ImU32 withAlpha(float red, float green, float blue, float alpha)
{
    return ImGui::ColorConvertFloat4ToU32(ImVec4(red, green, blue, std::clamp(alpha, 0.f, 1.f)));
}

} // namespace

class NoticeDrawer::Impl {
  public:
    Impl() = default;
    ~Impl()
    {
        if (!mContext) {
            return;
        }
        {
            ContextScope scope(mContext);
            ImGui_ImplOpenGL2_Shutdown();
        }
        ImGui::DestroyContext(mContext);
    }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    void draw(const std::vector<NoticeBox>& boxes, int width, int height, float scale);

    std::vector<Rect> lastBoxes;

  private:
    void create();
    // Asks for the characters of `text` that the atlas lacks; true when there were any.
    bool addCharacters(const std::string& text);
    // Makes the atlas anew for text `pixels` high with every character asked for so far.
    void buildFont(float pixels);

    ImGuiContext* mContext = nullptr;
    // Rasterised at the size it is drawn, for the characters the notices have shown: a title
    // in another script costs a new atlas once.
    ImFont* mFont = nullptr;
    float mFontPixels = 0.f;
    ImFontGlyphRangesBuilder mCharacters;
    ImVector<ImWchar> mRanges;
    std::chrono::steady_clock::time_point mLastFrame;
};

void NoticeDrawer::Impl::create()
{
    mContext = tw::createQuietContext();
    ContextScope scope(mContext);
    mCharacters.AddRanges(ImGui::GetIO().Fonts->GetGlyphRangesDefault());
    ImGui_ImplOpenGL2_Init();
    mLastFrame = std::chrono::steady_clock::now();
}

bool NoticeDrawer::Impl::addCharacters(const std::string& text)
{
    bool added = false;
    for (const char* at = text.c_str(); *at != '\0';) {
        unsigned int character = 0;
        at += std::max(1, ImTextCharFromUtf8(&character, at, nullptr));
        if (character != 0 && character <= IM_UNICODE_CODEPOINT_MAX && !mCharacters.GetBit(character)) {
            mCharacters.AddChar(static_cast<ImWchar>(character));
            added = true;
        }
    }
    return added;
}

void NoticeDrawer::Impl::buildFont(float pixels)
{
    ImGuiIO& io = ImGui::GetIO();
    ImGui_ImplOpenGL2_DestroyFontsTexture();
    io.Fonts->Clear();
    // The atlas reads the ranges when it is built, in the next frame: they live as long as it.
    mRanges.clear();
    mCharacters.BuildRanges(&mRanges);
    mFont = tw::addTextFont(*io.Fonts, pixels, mRanges.Data);
    mFontPixels = pixels;
}

void NoticeDrawer::Impl::draw(const std::vector<NoticeBox>& boxes, int width, int height, float scale)
{
    lastBoxes.clear();
    if (boxes.empty() || width <= 0 || height <= 0) {
        return;
    }
    if (!mContext) {
        create();
    }
    ContextScope scope(mContext);
    ImGuiIO& io = ImGui::GetIO();
    io.DisplaySize = ImVec2(float(width), float(height));
    const auto now = std::chrono::steady_clock::now();
    io.DeltaTime = std::max(1e-4f, std::chrono::duration<float>(now - mLastFrame).count());
    mLastFrame = now;

    scale = std::clamp(std::isfinite(scale) ? scale : 1.f, 1.f, 8.f);
    // Whole pixels: a window being resized builds a new atlas at each, not at every frame.
    const float fontSize = std::round(kBaseFontSize * scale);
    bool newCharacters = false;
    for (const NoticeBox& box : boxes) {
        for (const std::string& line : box.lines) {
            newCharacters = addCharacters(line) || newCharacters;
        }
    }
    if (fontSize != mFontPixels || newCharacters) {
        buildFont(fontSize);
    }
    ImFont* font = mFont;
    const float margin = kMargin * scale;
    const float padding = kPadding * scale;
    const float spacing = kSpacing * scale;

    ImGui_ImplOpenGL2_NewFrame();
    ImGui::NewFrame();
    ImDrawList* list = ImGui::GetForegroundDrawList();
    lastBoxes.resize(boxes.size());
    float bottom = float(height) - margin;
    for (std::size_t i = boxes.size(); i-- > 0;) {
        const NoticeBox& box = boxes[i];
        float textWidth = 0.f;
        for (const std::string& line : box.lines) {
            textWidth = std::max(textWidth, font->CalcTextSizeA(fontSize, FLT_MAX, 0.f, line.c_str()).x);
        }
        const float boxHeight = float(box.lines.size()) * fontSize + 2.f * padding;
        const ImVec2 min(margin, bottom - boxHeight);
        const ImVec2 max(margin + textWidth + 2.f * padding, bottom);
        list->AddRectFilled(min, max, withAlpha(0.f, 0.f, 0.f, kBackdropAlpha * box.opacity),
                            kRounding * scale);
        float y = min.y + padding;
        for (const std::string& line : box.lines) {
            list->AddText(font, fontSize, ImVec2(min.x + padding, y), withAlpha(1.f, 1.f, 1.f, box.opacity),
                          line.c_str());
            y += fontSize;
        }
        lastBoxes[i] = Rect{min.x, min.y, max.x - min.x, max.y - min.y};
        bottom = min.y - spacing;
    }
    ImGui::Render();

    SceneStateGuard guard;
    ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
}

NoticeDrawer::NoticeDrawer() : mImpl(std::make_unique<Impl>())
{
}

NoticeDrawer::~NoticeDrawer() = default;

void NoticeDrawer::draw(const std::vector<NoticeBox>& boxes, int width, int height, float scale)
{
    mImpl->draw(boxes, width, height, scale);
}

const std::vector<NoticeDrawer::Rect>& NoticeDrawer::getLastBoxes() const
{
    return mImpl->lastBoxes;
}

} // namespace mirvo::params
