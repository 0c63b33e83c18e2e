// Draws the bars with Dear ImGui and its OpenGL2 renderer: one ImGui context per window
// id, fed with the input the layer queued since the last draw.
#include "gl/Gl.h"
#include "params/tw/ImGuiFonts.h"
#include "params/tw/ImGuiScopes.h"
#include "params/tw/TwModel.h"

#include <backends/imgui_impl_opengl2.h>
#include <imgui.h>
#include <imgui_internal.h>

#include <algorithm>
#include <array>
#include <cfloat>
#include <chrono>
#include <cstdio>
#include <vector>

namespace mirvo::params::tw {

namespace {

constexpr float kBaseFontSize = 13.f;
constexpr float kBarMargin = 16.f;
constexpr float kMinValueWidth = 64.f;
constexpr float kValueShare = 0.36f;
constexpr float kMinDeltaTime = 1e-4f;

void setModifiers(ImGuiIO& io, int modifiers)
{
    io.KeyShift = (modifiers & TW_KMOD_SHIFT) != 0;
    io.KeyCtrl = (modifiers & TW_KMOD_CTRL) != 0;
    io.KeyAlt = (modifiers & TW_KMOD_ALT) != 0;
    io.KeySuper = (modifiers & TW_KMOD_META) != 0;
}

ImVec4 rgba(int r, int g, int b, float alpha)
{
    return ImVec4(float(r) / 255.f, float(g) / 255.f, float(b) / 255.f, alpha);
}

class ImGuiDrawer : public Drawer {
  public:
    explicit ImGuiDrawer(float fontScaling);
    ~ImGuiDrawer() override;
    ImGuiDrawer(const ImGuiDrawer&) = delete;
    ImGuiDrawer& operator=(const ImGuiDrawer&) = delete;

    void draw(Window& window) override;
    bool wantsTextInput() const override { return mWantsTextInput; }

  private:
    void applyInput(Window& window);
    void startAfresh(Window& window);
    void placeBars(Window& window);
    void drawBar(TwBar& bar);
    void drawVar(Var& var, float labelWidth, float valueWidth);

    ImGuiContext* mContext = nullptr;
    float mScale = 1.f;
    bool mWantsTextInput = false;
    std::vector<int> mKeysDown;
    std::vector<int> mKeysReleased; // at the start of this frame
    std::chrono::steady_clock::time_point mLastFrame;
};

ImGuiDrawer::ImGuiDrawer(float fontScaling) : mScale(std::max(1.f, fontScaling))
{
    mContext = createQuietContext();
    ContextScope scope(mContext);
    ImGuiIO& io = ImGui::GetIO();

    // Special keys arrive with their Tw codes, which index KeysDown directly.
    io.KeyMap[ImGuiKey_Tab] = TW_KEY_TAB;
    io.KeyMap[ImGuiKey_LeftArrow] = TW_KEY_LEFT;
    io.KeyMap[ImGuiKey_RightArrow] = TW_KEY_RIGHT;
    io.KeyMap[ImGuiKey_UpArrow] = TW_KEY_UP;
    io.KeyMap[ImGuiKey_DownArrow] = TW_KEY_DOWN;
    io.KeyMap[ImGuiKey_PageUp] = TW_KEY_PAGE_UP;
    io.KeyMap[ImGuiKey_PageDown] = TW_KEY_PAGE_DOWN;
    io.KeyMap[ImGuiKey_Home] = TW_KEY_HOME;
    io.KeyMap[ImGuiKey_End] = TW_KEY_END;
    io.KeyMap[ImGuiKey_Insert] = TW_KEY_INSERT;
    io.KeyMap[ImGuiKey_Delete] = TW_KEY_DELETE;
    io.KeyMap[ImGuiKey_Backspace] = TW_KEY_BACKSPACE;
    io.KeyMap[ImGuiKey_Enter] = TW_KEY_RETURN;
    io.KeyMap[ImGuiKey_Escape] = TW_KEY_ESCAPE;
    // Control shortcuts of the text fields arrive as their lower-case letters.
    io.KeyMap[ImGuiKey_A] = 'a';
    io.KeyMap[ImGuiKey_C] = 'c';
    io.KeyMap[ImGuiKey_V] = 'v';
    io.KeyMap[ImGuiKey_X] = 'x';
    io.KeyMap[ImGuiKey_Y] = 'y';
    io.KeyMap[ImGuiKey_Z] = 'z';

    addTextFont(*io.Fonts, kBaseFontSize * mScale);

    // Compact rows, so that a 200-pixel bar holds ten controls.
    ImGui::StyleColorsDark();
    ImGuiStyle& style = ImGui::GetStyle();
    style.WindowPadding = ImVec2(6, 4);
    style.FramePadding = ImVec2(4, 1);
    style.ItemSpacing = ImVec2(4, 2);
    // Square corners and unsmoothed fills: everything here is axis-aligned, and it halves the
    // vertices the software renderers of test machines have to push through.
    style.WindowRounding = 0.f;
    style.FrameRounding = 0.f;
    style.GrabRounding = 0.f;
    style.AntiAliasedFill = false;
    style.WindowBorderSize = 1.f;
    style.ScrollbarSize = 10.f;
    style.WindowMinSize = ImVec2(60, 40);
    style.ScaleAllSizes(mScale);

    ImGui_ImplOpenGL2_Init();
    mLastFrame = std::chrono::steady_clock::now();
}

ImGuiDrawer::~ImGuiDrawer()
{
    {
        ContextScope scope(mContext);
        ImGui_ImplOpenGL2_Shutdown();
    }
    ImGui::DestroyContext(mContext);
}

// Hands the queued input to ImGui as it would have arrived between frames: a button that
// changes twice, a key pressed twice, or a move after a click, waits for the next frame, so
// a quick click is never lost and a drag starts where the press was. Modifiers hold for a
// whole frame, so input with other modifiers than the input before it waits as well.
void ImGuiDrawer::applyInput(Window& window)
{
    ImGuiIO& io = ImGui::GetIO();
    // Keys are taps: pressed in one frame, released at the start of the next, and up for a
    // whole frame before they count as pressed again.
    for (const int key : mKeysDown) {
        io.KeysDown[key] = false;
    }
    mKeysReleased.swap(mKeysDown);
    mKeysDown.clear();
    setModifiers(io, window.heldModifiers);
    std::array<bool, 3> buttonChanged{};
    bool anyButtonChanged = false;
    bool modifiersSet = false;
    int frameModifiers = 0;
    std::size_t used = 0;
    for (; used < window.input.size(); ++used) {
        const InputEvent& event = window.input[used];
        if (modifiersSet && event.modifiers != frameModifiers) {
            break;
        }
        modifiersSet = true;
        frameModifiers = event.modifiers;
        setModifiers(io, frameModifiers);
        bool stop = false;
        switch (event.kind) {
        case InputEvent::MOUSE_MOVE:
            if (anyButtonChanged) {
                stop = true;
                break;
            }
            io.MousePos = ImVec2(event.x, event.y);
            break;
        case InputEvent::MOUSE_BUTTON:
            if (buttonChanged[std::size_t(event.button)]) {
                stop = true;
                break;
            }
            io.MouseDown[event.button] = event.down;
            buttonChanged[std::size_t(event.button)] = true;
            anyButtonChanged = true;
            break;
        case InputEvent::MOUSE_WHEEL:
            io.MouseWheel += event.wheel;
            break;
        case InputEvent::CHARACTER:
            io.AddInputCharacter(event.character);
            break;
        case InputEvent::KEY:
            if (event.key < 0 || event.key >= int(IM_ARRAYSIZE(io.KeysDown))) {
                break;
            }
            if (std::find(mKeysDown.begin(), mKeysDown.end(), event.key) != mKeysDown.end() ||
                std::find(mKeysReleased.begin(), mKeysReleased.end(), event.key) != mKeysReleased.end()) {
                stop = true; // the same key again: its next press needs the next frame
                break;
            }
            io.KeysDown[event.key] = true;
            mKeysDown.push_back(event.key);
            break;
        }
        if (stop) {
            break;
        }
    }
    window.input.erase(window.input.begin(), window.input.begin() + std::ptrdiff_t(used));
}

// The bars were away: what ImGui still holds from before (a button down, a control being
// dragged or edited, keys) is let go, and only the pointer's place carries over.
void ImGuiDrawer::startAfresh(Window& window)
{
    window.forgetInput();
    ImGuiIO& io = ImGui::GetIO();
    io.ClearInputKeys();
    io.ClearInputCharacters();
    mKeysDown.clear();
    mKeysReleased.clear();
    for (bool& down : io.MouseDown) {
        down = false;
    }
    io.MouseWheel = 0.f;
    io.MouseWheelH = 0.f;
    setModifiers(io, window.heldModifiers);
    io.MousePos = window.mouseX >= 0 && window.mouseY >= 0 ? ImVec2(window.mouseX, window.mouseY)
                                                           : ImVec2(-FLT_MAX, -FLT_MAX);
    ImGui::ClearActiveID();
    mWantsTextInput = false;
}

// Bars without a position of their own go side by side from the top-left corner, in the
// order they were made, wrapping when the window is too narrow.
void ImGuiDrawer::placeBars(Window& window)
{
    float x = kBarMargin;
    float y = kBarMargin;
    float rowHeight = 0.f;
    for (const auto& bar : window.bars) {
        const float width = float(bar->width) * mScale;
        const float height = float(bar->height) * mScale;
        if (bar->positionDefined) {
            continue;
        }
        if (x > kBarMargin && x + width > float(window.width) - kBarMargin) {
            x = kBarMargin;
            y += rowHeight + kBarMargin;
            rowHeight = 0.f;
        }
        if (bar->geometryChanged) {
            bar->x = int(x / mScale);
            bar->y = int(y / mScale);
        }
        x += width + kBarMargin;
        rowHeight = std::max(rowHeight, height);
    }
}

void ImGuiDrawer::draw(Window& window)
{
    ContextScope scope(mContext);
    ImGuiIO& io = ImGui::GetIO();
    io.DisplaySize = ImVec2(float(window.width), float(window.height));
    const auto now = std::chrono::steady_clock::now();
    io.DeltaTime = std::max(kMinDeltaTime, std::chrono::duration<float>(now - mLastFrame).count());
    mLastFrame = now;
    if (window.showsBars()) {
        applyInput(window);
    } else {
        startAfresh(window);
    }

    ImGui_ImplOpenGL2_NewFrame();
    ImGui::NewFrame();
    placeBars(window);
    for (const auto& bar : window.bars) {
        bar->drawn = false;
        if (bar->visible) {
            drawBar(*bar);
        }
    }
    mWantsTextInput = ImGui::GetCurrentContext()->WantTextInputNextFrame == 1;
    ImGui::Render();

    SceneStateGuard guard;
    ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
}

void ImGuiDrawer::drawBar(TwBar& bar)
{
    if (bar.geometryChanged) {
        ImGui::SetNextWindowPos(ImVec2(float(bar.x) * mScale, float(bar.y) * mScale));
        ImGui::SetNextWindowSize(ImVec2(float(bar.width) * mScale, float(bar.height) * mScale));
        bar.geometryChanged = false;
    }
    const float alpha = float(bar.alpha) / 255.f;
    const auto lighter = [&](int c) { return std::min(255, c + 40); };
    ImGui::PushStyleColor(ImGuiCol_WindowBg, rgba(bar.color[0], bar.color[1], bar.color[2], alpha));
    const ImVec4 title =
        rgba(lighter(bar.color[0]), lighter(bar.color[1]), lighter(bar.color[2]), std::max(alpha, 0.85f));
    ImGui::PushStyleColor(ImGuiCol_TitleBg, title);
    ImGui::PushStyleColor(ImGuiCol_TitleBgActive, title);
    ImGui::PushStyleColor(ImGuiCol_TitleBgCollapsed, title);
    ImGui::PushStyleColor(ImGuiCol_FrameBg, ImVec4(0.f, 0.f, 0.f, 0.45f));
    ImGui::PushStyleColor(ImGuiCol_FrameBgHovered, ImVec4(1.f, 1.f, 1.f, 0.18f));
    ImGui::PushStyleColor(ImGuiCol_FrameBgActive, ImVec4(1.f, 1.f, 1.f, 0.28f));
    ImGui::PushStyleColor(ImGuiCol_Border, ImVec4(1.f, 1.f, 1.f, 0.18f));
    constexpr int kPushedColors = 8;

    ImGuiWindowFlags flags = ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoCollapse;
    flags |= bar.movable ? 0 : ImGuiWindowFlags_NoMove;
    flags |= bar.resizable ? 0 : ImGuiWindowFlags_NoResize;
    const std::string id = bar.label + "###tw:" + bar.name;
    if (ImGui::Begin(id.c_str(), nullptr, flags)) {
        const ImVec2 pos = ImGui::GetWindowPos();
        const ImVec2 size = ImGui::GetWindowSize();
        bar.drawn = true;
        bar.drawnRect = Rect{pos.x, pos.y, size.x, size.y};

        const float content = ImGui::GetContentRegionAvail().x;
        const float spacing = ImGui::GetStyle().ItemSpacing.x;
        const float valueWidth = bar.valuesWidth > 0
                                     ? float(bar.valuesWidth) * mScale
                                     : std::max(kMinValueWidth * mScale, content * kValueShare);
        const float labelWidth = std::max(0.f, content - valueWidth - spacing);
        for (std::size_t i = 0; i < bar.vars.size(); ++i) {
            if (!bar.vars[i].visible) {
                continue;
            }
            ImGui::PushID(int(i));
            drawVar(bar.vars[i], labelWidth, content - labelWidth - spacing);
            ImGui::PopID();
        }
    } else {
        // Fully clipped: still where it is for hit testing.
        bar.drawn = true;
        bar.drawnRect = Rect{ImGui::GetWindowPos().x, ImGui::GetWindowPos().y, ImGui::GetWindowSize().x,
                             ImGui::GetWindowSize().y};
    }
    ImGui::End();
    ImGui::PopStyleColor(kPushedColors);
}

void ImGuiDrawer::drawVar(Var& var, float labelWidth, float valueWidth)
{
    const float rowStart = ImGui::GetCursorPosX();
    const ImVec2 labelPos = ImGui::GetCursorScreenPos();
    const float rowHeight = ImGui::GetFrameHeight();
    // Long labels are cut at the value column. Cutting on the CPU keeps the whole bar in one
    // draw call, where a clip rectangle per label would start a new one each time.
    const ImRect labelBox(labelPos, ImVec2(labelPos.x + labelWidth, labelPos.y + rowHeight));
    ImGui::RenderTextClipped(ImVec2(labelPos.x, labelPos.y + ImGui::GetStyle().FramePadding.y), labelBox.Max,
                             var.label.c_str(), nullptr, nullptr, ImVec2(0.f, 0.f), &labelBox);
    ImGui::Dummy(ImVec2(labelWidth, rowHeight));
    ImGui::SameLine(rowStart + labelWidth + ImGui::GetStyle().ItemSpacing.x);
    ImGui::SetNextItemWidth(valueWidth);

    if (var.readOnly) {
        ImGui::BeginDisabled();
    }
    const ImGuiSliderFlags clamp = ImGuiSliderFlags_AlwaysClamp;
    switch (var.type) {
    case TW_TYPE_BOOLCPP: {
        bool value = var.value() != 0.0;
        if (ImGui::Checkbox("##value", &value)) {
            var.setValue(value ? 1.0 : 0.0);
        }
        break;
    }
    case TW_TYPE_INT32: {
        int value = int(var.value());
        if (ImGui::DragInt("##value", &value, float(var.stepSize()), int(var.lower()), int(var.upper()), "%d",
                           clamp)) {
            var.setValue(value);
        }
        break;
    }
    case TW_TYPE_FLOAT: {
        float value = float(var.value());
        char format[16];
        std::snprintf(format, sizeof format, "%%.%df", var.decimals());
        if (ImGui::DragFloat("##value", &value, float(var.stepSize()), float(var.lower()), float(var.upper()),
                             format, clamp)) {
            var.setValue(value);
        }
        break;
    }
    default:
        break;
    }
    if (var.readOnly) {
        ImGui::EndDisabled();
    }
    const ImVec2 min = ImGui::GetItemRectMin();
    const ImVec2 size = ImGui::GetItemRectSize();
    var.drawnRect = Rect{min.x, min.y, size.x, size.y};
    if (!var.help.empty() && ImGui::IsItemHovered()) {
        ImGui::SetTooltip("%s", var.help.c_str());
    }
}

} // namespace

std::unique_ptr<Drawer> makeDrawer(float fontScaling)
{
    return std::make_unique<ImGuiDrawer>(fontScaling);
}

} // namespace mirvo::params::tw
