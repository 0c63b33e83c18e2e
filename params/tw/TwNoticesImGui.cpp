// The notice boxes on Dear ImGui: an ImGui context of their own, so that they draw in frames
// where the panels are hidden and take no part in the panels' input, with the text and the
// backdrop on its foreground draw list.
#include "gl/Gl.h"
#include "params/NoticeDrawer.h"
#include "params/tw/ImGuiScopes.h"

#include <backends/imgui_impl_opengl2.h>
#include <imgui.h>

#include <algorithm>
#include <array>
#include <cfloat>
#include <chrono>
#include <cmath>

namespace mirvo::params {

namespace {

using tw::ContextScope;
using tw::SceneStateGuard;

// The built-in font is drawn for 13 pixels; whole multiples of it stay crisp.
constexpr float kBaseFontSize = 13.f;
constexpr std::size_t kFontSizes = 4;
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

    ImGuiContext* mContext = nullptr;
    std::array<ImFont*, kFontSizes> mFonts{};
    std::chrono::steady_clock::time_point mLastFrame;
};

void NoticeDrawer::Impl::create()
{
    mContext = tw::createQuietContext();
    ContextScope scope(mContext);
    ImGuiIO& io = ImGui::GetIO();
    for (std::size_t i = 0; i < kFontSizes; ++i) {
        ImFontConfig font;
        font.SizePixels = kBaseFontSize * float(i + 1);
        mFonts[i] = io.Fonts->AddFontDefault(&font);
    }
    ImGui_ImplOpenGL2_Init();
    mLastFrame = std::chrono::steady_clock::now();
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

    scale = std::max(1.f, std::isfinite(scale) ? scale : 1.f);
    const std::size_t fontIndex = std::min(kFontSizes, std::size_t(std::lround(scale))) - 1;
    ImFont* font = mFonts[fontIndex];
    const float fontSize = kBaseFontSize * float(fontIndex + 1);
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
