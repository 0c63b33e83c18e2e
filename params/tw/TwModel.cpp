#include "params/tw/TwModel.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <system_error>

namespace mirvo::params {

namespace tw {

namespace {

// Input kept for a window whose bars are not being drawn is bounded.
constexpr std::size_t kMaxQueuedInput = 512;

// Trivial statics only: the layer's state lives in a heap Context from TwInit to TwTerminate.
Context* gContext = nullptr;
int gInitCount = 0;
char gLastError[1024] = "";

std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

std::string badValue(const Attribute& attribute)
{
    return "bad value '" + attribute.value + "' for parameter '" + attribute.name + "'";
}

} // namespace

Context*& contextSlot()
{
    return gContext;
}

int& initCountSlot()
{
    return gInitCount;
}

Context* context()
{
    return gContext;
}

int initCount()
{
    return gInitCount;
}

void reportError(const char* function, const std::string& message)
{
    std::snprintf(gLastError, sizeof gLastError, "%s: %s", function, message.c_str());
    std::fprintf(stderr, "%s\n", gLastError);
}

const char* lastError()
{
    return gLastError;
}

Window& Context::currentWindow()
{
    Window& window = windows[current];
    window.id = current;
    return window;
}

TwBar* findBar(int windowId, const std::string& name)
{
    if (gContext == nullptr) {
        return nullptr;
    }
    auto found = gContext->windows.find(windowId);
    return found == gContext->windows.end() ? nullptr : found->second.findBar(name);
}

TwBar* Window::findBar(const std::string& name) const
{
    for (const auto& bar : bars) {
        if (bar->name == name) {
            return bar.get();
        }
    }
    return nullptr;
}

bool Window::isOverBar(float px, float py) const
{
    return std::any_of(bars.begin(), bars.end(), [px, py](const std::unique_ptr<TwBar>& bar) {
        return bar->visible && bar->drawn && bar->drawnRect.contains(px, py);
    });
}

bool Window::showsBars() const
{
    return std::any_of(bars.begin(), bars.end(),
                       [](const std::unique_ptr<TwBar>& bar) { return bar->visible && bar->drawn; });
}

void Window::forgetInput()
{
    input.clear();
    queuedButtons = 0;
    capturedButtons = 0;
}

void Window::queue(const InputEvent& event)
{
    if (!showsBars()) {
        return;
    }
    // Only the latest position matters between two draws.
    if (event.kind == InputEvent::MOUSE_MOVE && !input.empty() &&
        input.back().kind == InputEvent::MOUSE_MOVE) {
        input.back() = event;
        return;
    }
    if (input.size() >= kMaxQueuedInput) {
        input.erase(input.begin(), input.begin() + kMaxQueuedInput / 2);
    }
    input.push_back(event);
}

double Var::value() const
{
    switch (type) {
    case TW_TYPE_BOOLCPP:
        return *static_cast<const bool*>(address) ? 1.0 : 0.0;
    case TW_TYPE_INT32:
        return *static_cast<const std::int32_t*>(address);
    case TW_TYPE_FLOAT:
        return *static_cast<const float*>(address);
    default:
        return 0.0;
    }
}

double Var::lower() const
{
    if (type == TW_TYPE_INT32) {
        return std::max(min.value_or(INT32_MIN), double(INT32_MIN));
    }
    return min.value_or(-std::numeric_limits<float>::max());
}

double Var::upper() const
{
    if (type == TW_TYPE_INT32) {
        return std::min(max.value_or(INT32_MAX), double(INT32_MAX));
    }
    return max.value_or(std::numeric_limits<float>::max());
}

void Var::setValue(double newValue) const
{
    switch (type) {
    case TW_TYPE_BOOLCPP:
        *static_cast<bool*>(address) = newValue != 0.0;
        break;
    case TW_TYPE_INT32:
        *static_cast<std::int32_t*>(address) =
            std::int32_t(std::clamp(std::round(newValue), lower(), upper()));
        break;
    case TW_TYPE_FLOAT:
        *static_cast<float*>(address) = float(std::clamp(newValue, lower(), upper()));
        break;
    default:
        break;
    }
}

std::string Var::valueText() const
{
    switch (type) {
    case TW_TYPE_BOOLCPP:
        return *static_cast<const bool*>(address) ? "true" : "false";
    case TW_TYPE_INT32:
        return std::to_string(*static_cast<const std::int32_t*>(address));
    case TW_TYPE_FLOAT: {
        char text[32];
        const auto result = std::to_chars(text, text + sizeof text, *static_cast<const float*>(address));
        return std::string(text, result.ptr);
    }
    default:
        return {};
    }
}

bool Var::setValueText(const std::string& text) const
{
    const char* first = text.data();
    const char* last = first + text.size();
    switch (type) {
    case TW_TYPE_BOOLCPP:
        if (text != "true" && text != "false" && text != "1" && text != "0") {
            return false;
        }
        setValue(text == "true" || text == "1" ? 1.0 : 0.0);
        return true;
    case TW_TYPE_INT32: {
        long long number = 0;
        const auto [end, error] = std::from_chars(first, last, number);
        if (error != std::errc() || end != last || text.empty()) {
            return false;
        }
        setValue(double(number));
        return true;
    }
    case TW_TYPE_FLOAT: {
        // Parsed as a float, not a double rounded to one: the text of a float gives it back.
        float number = 0;
        const auto [end, error] = std::from_chars(first, last, number);
        if (error != std::errc() || end != last || text.empty() || !std::isfinite(number)) {
            return false;
        }
        setValue(number);
        return true;
    }
    default:
        return false;
    }
}

void Var::stepBy(int direction) const
{
    if (type == TW_TYPE_BOOLCPP) {
        setValue(direction > 0 ? 1.0 : 0.0);
        return;
    }
    setValue(value() + direction * stepSize());
}

double Var::stepSize() const
{
    if (step && *step > 0) {
        return type == TW_TYPE_INT32 ? std::max(1.0, std::round(*step)) : *step;
    }
    if (type == TW_TYPE_INT32) {
        return 1.0;
    }
    // A hundredth of the value's order of magnitude: 0.01 for 0.5, 0.1 for 30.
    const double magnitude = std::max(1.0, std::fabs(value()));
    return std::pow(10.0, std::floor(std::log10(magnitude)) - 2.0);
}

int Var::decimals() const
{
    if (type != TW_TYPE_FLOAT) {
        return 0;
    }
    if (precision) {
        return std::clamp(*precision, 0, 12);
    }
    // Enough to show one step: 2 for 0.05, 1 for 1.0 or 50.
    const double stepValue = stepSize();
    return std::clamp(int(std::ceil(-std::log10(stepValue) - 1e-9)), 1, 6);
}

std::string applyBarAttribute(TwBar& bar, const Attribute& attribute)
{
    const std::string name = lowered(attribute.name);
    if (name == "label") {
        bar.label = attribute.value;
    } else if (name == "help" || name == "text" || name == "refresh" || name == "iconified" ||
               name == "fontsize" || name == "buttonalign") {
        // Understood and harmless, but nothing here draws them differently.
    } else if (name == "size") {
        const auto size = parseInts(attribute.value, 2);
        if (!size || (*size)[0] <= 0 || (*size)[1] <= 0) {
            return badValue(attribute);
        }
        bar.width = (*size)[0];
        bar.height = (*size)[1];
        bar.geometryChanged = true;
    } else if (name == "position") {
        const auto position = parseInts(attribute.value, 2);
        if (!position) {
            return badValue(attribute);
        }
        bar.x = (*position)[0];
        bar.y = (*position)[1];
        bar.positionDefined = true;
        bar.geometryChanged = true;
    } else if (name == "color") {
        const auto color = parseInts(attribute.value, 3);
        if (!color) {
            return badValue(attribute);
        }
        for (int i = 0; i < 3; ++i) {
            bar.color[i] = std::clamp((*color)[i], 0, 255);
        }
    } else if (name == "alpha") {
        const auto alpha = parseInts(attribute.value, 1);
        if (!alpha) {
            return badValue(attribute);
        }
        bar.alpha = std::clamp((*alpha)[0], 0, 255);
    } else if (name == "valueswidth") {
        const auto width = parseInts(attribute.value, 1);
        if (!width) {
            return badValue(attribute);
        }
        bar.valuesWidth = std::max(0, (*width)[0]);
    } else if (name == "visible" || name == "movable" || name == "resizable") {
        const auto flag = parseBool(attribute.value);
        if (!flag) {
            return badValue(attribute);
        }
        (name == "visible" ? bar.visible : name == "movable" ? bar.movable : bar.resizable) = *flag;
        if (name == "visible" && !*flag) {
            // Shown again, it counts as on screen only once it is drawn.
            bar.drawn = false;
        }
    } else {
        return "unknown bar parameter '" + attribute.name + "'";
    }
    return {};
}

std::string applyVarAttribute(Var& var, const Attribute& attribute)
{
    const std::string name = lowered(attribute.name);
    if (name == "min" || name == "max" || name == "step") {
        const auto number = parseNumber(attribute.value);
        if (!number || !std::isfinite(*number) || (name == "step" && *number <= 0)) {
            return badValue(attribute);
        }
        (name == "min" ? var.min : name == "max" ? var.max : var.step) = *number;
    } else if (name == "precision") {
        const auto digits = parseInts(attribute.value, 1);
        if (!digits || (*digits)[0] < 0) {
            return badValue(attribute);
        }
        var.precision = (*digits)[0];
    } else if (name == "keyincr" || name == "keydecr" || name == "key") {
        const auto shortcut = parseShortcut(attribute.value);
        if (!shortcut) {
            return "bad key shortcut '" + attribute.value + "' for parameter '" + attribute.name + "'";
        }
        (name == "keyincr" ? var.keyIncr : name == "keydecr" ? var.keyDecr : var.keyToggle) = *shortcut;
    } else if (name == "value") {
        if (var.readOnly) {
            return "variable '" + var.name + "' is read-only";
        }
        if (!var.setValueText(attribute.value)) {
            return "bad value '" + attribute.value + "' for variable '" + var.name + "'";
        }
    } else if (name == "label") {
        var.label = attribute.value;
    } else if (name == "help") {
        var.help = attribute.value;
    } else if (name == "group") {
        // Accepted; the bars show their variables in one flat list.
    } else if (name == "readonly" || name == "visible") {
        const auto flag = parseBool(attribute.value);
        if (!flag) {
            return badValue(attribute);
        }
        (name == "readonly" ? var.readOnly : var.visible) = *flag;
    } else {
        return "unknown variable parameter '" + attribute.name + "'";
    }
    return {};
}

} // namespace tw

tw::Var* TwBar::findVar(const std::string& varName)
{
    for (auto& var : vars) {
        if (var.name == varName) {
            return &var;
        }
    }
    return nullptr;
}

} // namespace mirvo::params
