#include "params/tw/Tw.h"

#include "params/tw/TwModel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <sstream>
#include <vector>

namespace mirvo::params {

using tw::Context;
using tw::InputEvent;
using tw::ParseResult;
using tw::Window;

namespace {

// Settings that may come before TwInit; trivial so that no static needs construction.
float gFontScaling = 1.f;
TwCopyStdStringToClient gCopyStdString = nullptr;

Context* require(const char* function)
{
    Context* ctx = tw::context();
    if (ctx == nullptr) {
        tw::reportError(function, "not initialized (TwInit was not called)");
    }
    return ctx;
}

std::string parseError(const ParseResult& result)
{
    return "Parsing error in def string at \"" + result.offending + "\": " + result.error;
}

Window* windowOf(Context& ctx, const TwBar* bar)
{
    for (auto& [id, window] : ctx.windows) {
        for (const auto& owned : window.bars) {
            if (owned.get() == bar) {
                return &window;
            }
        }
    }
    return nullptr;
}

// A bar pointer is checked against the live bars before use: a stale one must not crash.
bool isLive(Context& ctx, const TwBar* bar, const char* function)
{
    if (bar == nullptr || windowOf(ctx, bar) == nullptr) {
        tw::reportError(function, "invalid bar");
        return false;
    }
    return true;
}

std::string applyGlobalAttribute(const tw::Attribute& attribute)
{
    std::string name = attribute.name;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    if (name == "fontscaling") {
        const auto scale = tw::parseNumber(attribute.value);
        if (!scale || *scale <= 0) {
            return "bad value '" + attribute.value + "' for parameter 'fontscaling'";
        }
        if (tw::context() != nullptr) {
            return "fontscaling must be defined before TwInit";
        }
        gFontScaling = float(*scale);
        return {};
    }
    if (name == "help" || name == "fontsize" || name == "fontresizable" || name == "contained" ||
        name == "iconpos" || name == "iconalign" || name == "iconmargin" || name == "iconifiable" ||
        name == "buttonalign" || name == "overlap" || name == "fontstyle") {
        return {};
    }
    return "unknown global parameter '" + attribute.name + "'";
}

int addVar(const char* function, TwBar* bar, const char* name, TwType type, void* address, bool readOnly,
           const char* def)
{
    Context* ctx = require(function);
    if (ctx == nullptr || !isLive(*ctx, bar, function)) {
        return 0;
    }
    if (name == nullptr || *name == '\0') {
        tw::reportError(function, "a variable needs a name");
        return 0;
    }
    if (type != TW_TYPE_BOOLCPP && type != TW_TYPE_INT32 && type != TW_TYPE_FLOAT) {
        tw::reportError(function, std::string("unsupported type for '") + name + "'");
        return 0;
    }
    if (address == nullptr) {
        tw::reportError(function, std::string("no variable address for '") + name + "'");
        return 0;
    }
    if (bar->findVar(name) != nullptr) {
        tw::reportError(function, std::string("a variable named '") + name + "' already exists in bar '" +
                                      bar->name + "'");
        return 0;
    }
    tw::Var var;
    var.name = name;
    var.label = name;
    var.type = type;
    var.address = address;
    var.readOnly = readOnly;

    // The variable is kept with whatever of its definition made sense: a typo in an option
    // should not take the control away.
    bool ok = true;
    if (def != nullptr && *def != '\0') {
        const ParseResult parsed = tw::parseAttributes(def);
        if (!parsed.ok()) {
            tw::reportError(function, parseError(parsed));
            ok = false;
        } else {
            for (const auto& attribute : parsed.statements.front().attributes) {
                const std::string error = tw::applyVarAttribute(var, attribute);
                if (!error.empty()) {
                    tw::reportError(function, error + " (variable '" + var.name + "')");
                    ok = false;
                }
            }
        }
    }
    bar->vars.push_back(std::move(var));
    return ok ? 1 : 0;
}

// A key for a text field that is not text itself (an arrow, Return, Control+A): pressed for
// one frame, with the modifiers that make Shift+arrows select and Control+A select all.
void queueTextKey(Window& window, int key, int modifiers)
{
    InputEvent press{InputEvent::KEY};
    press.key = key >= 'A' && key <= 'Z' ? key - 'A' + 'a' : key;
    press.down = true;
    press.modifiers = modifiers;
    window.queue(press);
}

void queuePointer(Window& window, InputEvent event)
{
    event.modifiers = window.heldModifiers;
    window.queue(event);
}

// A parameter as TwGetParam reads it: numbers, or a text when `isText`.
struct ParamValue {
    std::vector<double> numbers;
    std::string text;
    bool isText = false;
    std::string error;
};

std::string loweredName(const char* name)
{
    std::string lowered = name;
    std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return lowered;
}

ParamValue readBarParam(const Context& ctx, const TwBar& bar, const std::string& name)
{
    ParamValue value;
    // Drawn geometry is in pixels already; defined geometry is scaled the way the drawer will.
    const double scale = std::max(1.f, ctx.fontScaling);
    const bool drawnOnce = bar.drawnRect.width > 0;
    if (name == "visible") {
        value.numbers = {bar.visible ? 1.0 : 0.0};
    } else if (name == "label") {
        value.text = bar.label;
        value.isText = true;
    } else if (name == "color") {
        value.numbers = {double(bar.color[0]), double(bar.color[1]), double(bar.color[2])};
    } else if (name == "alpha") {
        value.numbers = {double(bar.alpha)};
    } else if (name == "position") {
        value.numbers = drawnOnce ? std::vector<double>{bar.drawnRect.x, bar.drawnRect.y}
                                  : std::vector<double>{bar.x * scale, bar.y * scale};
    } else if (name == "size") {
        value.numbers = drawnOnce ? std::vector<double>{bar.drawnRect.width, bar.drawnRect.height}
                                  : std::vector<double>{bar.width * scale, bar.height * scale};
    } else {
        value.error = "unknown bar parameter '" + name + "'";
    }
    return value;
}

ParamValue readVarParam(const tw::Var& var, const std::string& name, bool asText)
{
    ParamValue value;
    if (name == "value" && asText) {
        value.text = var.valueText();
        value.isText = true;
    } else if (name == "value") {
        value.numbers = {var.value()};
    } else if (name == "type") {
        value.numbers = {double(var.type)};
    } else if (name == "visible") {
        value.numbers = {var.visible ? 1.0 : 0.0};
    } else if (name == "readonly") {
        value.numbers = {var.readOnly ? 1.0 : 0.0};
    } else if (name == "label") {
        value.text = var.label;
        value.isText = true;
    } else if (name == "min") {
        value.numbers = {var.lower()};
    } else if (name == "max") {
        value.numbers = {var.upper()};
    } else if (name == "step") {
        value.numbers = {var.stepSize()};
    } else if (name == "precision") {
        value.numbers = {double(var.decimals())};
    } else {
        value.error = "unknown variable parameter '" + name + "'";
    }
    return value;
}

} // namespace

int TwInit(ETwGraphAPI graphApi, void* device)
{
    if (graphApi != TW_OPENGL) {
        tw::reportError("TwInit", "only TW_OPENGL is supported");
        return 0;
    }
    if (tw::context() != nullptr) {
        tw::reportError("TwInit", "already initialized");
        return 0;
    }
    auto* ctx = new Context;
    ctx->fontScaling = gFontScaling;
    ctx->copyStdString = gCopyStdString;
    tw::contextSlot() = ctx;
    ++tw::initCountSlot();
    return 1;
}

int TwTerminate()
{
    Context* ctx = require("TwTerminate");
    if (ctx == nullptr) {
        return 0;
    }
    delete ctx;
    tw::contextSlot() = nullptr;
    gFontScaling = 1.f;
    return 1;
}

const char* TwGetLastError()
{
    return tw::lastError();
}

int TwSetCurrentWindow(int windowId)
{
    Context* ctx = require("TwSetCurrentWindow");
    if (ctx == nullptr) {
        return 0;
    }
    if (windowId < 0) {
        tw::reportError("TwSetCurrentWindow", "window ids are not negative");
        return 0;
    }
    ctx->current = windowId;
    return 1;
}

int TwGetCurrentWindow()
{
    Context* ctx = tw::context();
    return ctx == nullptr ? 0 : ctx->current;
}

int TwWindowSize(int width, int height)
{
    Context* ctx = require("TwWindowSize");
    if (ctx == nullptr) {
        return 0;
    }
    Window& window = ctx->currentWindow();
    window.width = std::max(0, width);
    window.height = std::max(0, height);
    return 1;
}

TwBar* TwNewBar(const char* barName)
{
    Context* ctx = require("TwNewBar");
    if (ctx == nullptr) {
        return nullptr;
    }
    if (barName == nullptr || *barName == '\0') {
        tw::reportError("TwNewBar", "a bar needs a name");
        return nullptr;
    }
    Window& window = ctx->currentWindow();
    if (window.findBar(barName) != nullptr) {
        tw::reportError("TwNewBar", std::string("a bar named '") + barName + "' already exists");
        return nullptr;
    }
    auto bar = std::make_unique<TwBar>();
    bar->name = barName;
    bar->label = barName;
    bar->windowId = window.id;
    window.bars.push_back(std::move(bar));
    return window.bars.back().get();
}

int TwDeleteBar(TwBar* bar)
{
    Context* ctx = require("TwDeleteBar");
    if (ctx == nullptr || !isLive(*ctx, bar, "TwDeleteBar")) {
        return 0;
    }
    Window* window = windowOf(*ctx, bar);
    std::erase_if(window->bars, [bar](const std::unique_ptr<TwBar>& owned) { return owned.get() == bar; });
    return 1;
}

const char* TwGetBarName(const TwBar* bar)
{
    Context* ctx = require("TwGetBarName");
    if (ctx == nullptr || !isLive(*ctx, bar, "TwGetBarName")) {
        return nullptr;
    }
    return bar->name.c_str();
}

int TwDefine(const char* def)
{
    if (def == nullptr) {
        tw::reportError("TwDefine", "no definition");
        return 0;
    }
    const ParseResult parsed = tw::parseDefinition(def);
    if (!parsed.ok()) {
        tw::reportError("TwDefine", parseError(parsed));
        return 0;
    }
    bool ok = true;
    for (const auto& statement : parsed.statements) {
        if (statement.barName == "GLOBAL" && statement.varName.empty()) {
            for (const auto& attribute : statement.attributes) {
                const std::string error = applyGlobalAttribute(attribute);
                if (!error.empty()) {
                    tw::reportError("TwDefine", error);
                    ok = false;
                }
            }
            continue;
        }
        Context* ctx = require("TwDefine");
        if (ctx == nullptr) {
            return 0;
        }
        TwBar* bar = ctx->currentWindow().findBar(statement.barName);
        if (bar == nullptr) {
            tw::reportError("TwDefine", "unknown bar '" + statement.barName + "'");
            ok = false;
            continue;
        }
        tw::Var* var = nullptr;
        if (!statement.varName.empty()) {
            var = bar->findVar(statement.varName);
            if (var == nullptr) {
                tw::reportError("TwDefine", "unknown variable '" + statement.varName + "' in bar '" +
                                                statement.barName + "'");
                ok = false;
                continue;
            }
        }
        for (const auto& attribute : statement.attributes) {
            const std::string error = var != nullptr ? tw::applyVarAttribute(*var, attribute)
                                                     : tw::applyBarAttribute(*bar, attribute);
            if (!error.empty()) {
                tw::reportError("TwDefine", error);
                ok = false;
            }
        }
    }
    return ok ? 1 : 0;
}

int TwAddVarRW(TwBar* bar, const char* name, TwType type, void* var, const char* def)
{
    return addVar("TwAddVarRW", bar, name, type, var, false, def);
}

int TwAddVarRO(TwBar* bar, const char* name, TwType type, const void* var, const char* def)
{
    // Never written through: read-only variables are only displayed.
    return addVar("TwAddVarRO", bar, name, type, const_cast<void*>(var), true, def);
}

const char* TwGetVarName(TwBar* bar, int index)
{
    Context* ctx = require("TwGetVarName");
    if (ctx == nullptr || !isLive(*ctx, bar, "TwGetVarName")) {
        return nullptr;
    }
    return index >= 0 && std::size_t(index) < bar->vars.size() ? bar->vars[std::size_t(index)].name.c_str()
                                                               : nullptr;
}

int TwSetParam(TwBar* bar, const char* varName, const char* paramName, ETwParamValueType paramValueType,
               unsigned int inValueCount, const void* inValues)
{
    Context* ctx = require("TwSetParam");
    if (ctx == nullptr || !isLive(*ctx, bar, "TwSetParam")) {
        return 0;
    }
    if (paramName == nullptr || inValues == nullptr || inValueCount == 0) {
        tw::reportError("TwSetParam", "a parameter needs a name and a value");
        return 0;
    }
    // Every digit a value has: a "value" set as a number must arrive as that number.
    std::ostringstream text;
    text.precision(paramValueType == TW_PARAM_FLOAT ? std::numeric_limits<float>::max_digits10
                                                    : std::numeric_limits<double>::max_digits10);
    for (unsigned i = 0; i < inValueCount && paramValueType != TW_PARAM_CSTRING; ++i) {
        text << (i > 0 ? " " : "");
        switch (paramValueType) {
        case TW_PARAM_INT32:
            text << static_cast<const std::int32_t*>(inValues)[i];
            break;
        case TW_PARAM_FLOAT:
            text << static_cast<const float*>(inValues)[i];
            break;
        default:
            text << static_cast<const double*>(inValues)[i];
            break;
        }
    }
    const tw::Attribute attribute{paramName, paramValueType == TW_PARAM_CSTRING
                                                 ? std::string(static_cast<const char*>(inValues))
                                                 : text.str()};
    std::string error;
    if (varName == nullptr) {
        error = tw::applyBarAttribute(*bar, attribute);
    } else if (tw::Var* var = bar->findVar(varName)) {
        error = tw::applyVarAttribute(*var, attribute);
    } else {
        error = std::string("unknown variable '") + varName + "'";
    }
    if (!error.empty()) {
        tw::reportError("TwSetParam", error);
        return 0;
    }
    return 1;
}

int TwGetParam(TwBar* bar, const char* varName, const char* paramName, ETwParamValueType paramValueType,
               unsigned int outValueMaxCount, void* outValues)
{
    Context* ctx = require("TwGetParam");
    if (ctx == nullptr || !isLive(*ctx, bar, "TwGetParam")) {
        return 0;
    }
    if (paramName == nullptr || outValues == nullptr || outValueMaxCount == 0) {
        tw::reportError("TwGetParam", "a parameter needs a name and room for its value");
        return 0;
    }
    const std::string name = loweredName(paramName);
    ParamValue value;
    if (varName == nullptr) {
        value = readBarParam(*ctx, *bar, name);
    } else if (const tw::Var* var = bar->findVar(varName)) {
        value = readVarParam(*var, name, paramValueType == TW_PARAM_CSTRING);
    } else {
        value.error = std::string("unknown variable '") + varName + "'";
    }
    if (!value.error.empty()) {
        tw::reportError("TwGetParam", value.error);
        return 0;
    }
    if (value.isText != (paramValueType == TW_PARAM_CSTRING)) {
        tw::reportError("TwGetParam", std::string("parameter '") + paramName + "' is " +
                                          (value.isText ? "a string" : "a number"));
        return 0;
    }
    if (value.isText) {
        const std::size_t length = std::min<std::size_t>(value.text.size(), outValueMaxCount - 1);
        std::memcpy(outValues, value.text.data(), length);
        static_cast<char*>(outValues)[length] = '\0';
        return 1;
    }
    const unsigned count = std::min<unsigned>(outValueMaxCount, unsigned(value.numbers.size()));
    for (unsigned i = 0; i < count; ++i) {
        switch (paramValueType) {
        case TW_PARAM_INT32:
            static_cast<std::int32_t*>(outValues)[i] = std::int32_t(std::lround(value.numbers[i]));
            break;
        case TW_PARAM_FLOAT:
            static_cast<float*>(outValues)[i] = float(value.numbers[i]);
            break;
        default:
            static_cast<double*>(outValues)[i] = value.numbers[i];
            break;
        }
    }
    return int(count);
}

int TwDraw()
{
    Context* ctx = require("TwDraw");
    if (ctx == nullptr) {
        return 0;
    }
    Window& window = ctx->currentWindow();
    if (window.width <= 0 || window.height <= 0) {
        return 1; // nothing can show in an empty window
    }
    if (!window.drawer) {
        window.drawer = tw::makeDrawer(ctx->fontScaling);
    }
    window.drawer->draw(window);
    return 1;
}

int TwMouseButton(ETwMouseAction action, ETwMouseButtonID button)
{
    Context* ctx = require("TwMouseButton");
    if (ctx == nullptr) {
        return 0;
    }
    int index = 0;
    switch (button) {
    case TW_MOUSE_LEFT:
        index = 0;
        break;
    case TW_MOUSE_RIGHT:
        index = 1;
        break;
    case TW_MOUSE_MIDDLE:
        index = 2;
        break;
    default:
        tw::reportError("TwMouseButton", "unknown button");
        return 0;
    }
    Window& window = ctx->currentWindow();
    InputEvent event{InputEvent::MOUSE_BUTTON};
    event.button = index;
    event.down = action == TW_MOUSE_PRESSED;
    const unsigned bit = 1u << index;
    if (!window.showsBars()) {
        // A press the bars took before they went away is not theirs to finish.
        window.capturedButtons &= ~bit;
        return 0;
    }
    // Several panels of one window each pass on the same press; the drawer needs it once.
    if (event.down != ((window.queuedButtons & bit) != 0)) {
        queuePointer(window, event);
        window.queuedButtons ^= bit;
    }

    if (event.down) {
        if (!window.isOverBar(window.mouseX, window.mouseY)) {
            return 0;
        }
        window.capturedButtons |= bit;
        return 1;
    }
    // A release belongs to the bar that took the press, wherever the pointer is now.
    if ((window.capturedButtons & bit) == 0) {
        return 0;
    }
    window.capturedButtons &= ~bit;
    return 1;
}

int TwMouseMotion(int mouseX, int mouseY)
{
    Context* ctx = require("TwMouseMotion");
    if (ctx == nullptr) {
        return 0;
    }
    Window& window = ctx->currentWindow();
    window.mouseX = float(mouseX);
    window.mouseY = float(mouseY);
    if (!window.showsBars()) {
        return 0; // only where the pointer is matters, for when the bars come back
    }
    InputEvent event{InputEvent::MOUSE_MOVE};
    event.x = window.mouseX;
    event.y = window.mouseY;
    queuePointer(window, event);
    return window.capturedButtons != 0 || window.isOverBar(window.mouseX, window.mouseY) ? 1 : 0;
}

int TwMouseWheel(int pos)
{
    Context* ctx = require("TwMouseWheel");
    if (ctx == nullptr) {
        return 0;
    }
    Window& window = ctx->currentWindow();
    const int delta = pos - window.wheelPos;
    window.wheelPos = pos;
    if (delta != 0) {
        InputEvent event{InputEvent::MOUSE_WHEEL};
        event.wheel = float(delta);
        queuePointer(window, event);
    }
    return window.isOverBar(window.mouseX, window.mouseY) ? 1 : 0;
}

int TwKeyPressed(int key, int modifiers)
{
    Context* ctx = require("TwKeyPressed");
    if (ctx == nullptr) {
        return 0;
    }
    if (key == 0) {
        return 0; // a key without a character or code of its own, such as a lone modifier
    }
    Window& window = ctx->currentWindow();

    // A text field being edited takes every key, so typing never fires a shortcut; one on a
    // bar that has gone away takes none.
    if (window.showsBars() && window.drawer && window.drawer->wantsTextInput()) {
        const bool printable = (key >= 32 && key < 127) || (key >= 160 && key < 256);
        const bool command = (modifiers & (TW_KMOD_CTRL | TW_KMOD_ALT | TW_KMOD_META)) != 0;
        if (printable && !command) {
            InputEvent event{InputEvent::CHARACTER};
            event.character = unsigned(key);
            event.modifiers = modifiers;
            window.queue(event);
        } else {
            queueTextKey(window, key, modifiers);
        }
        return 1;
    }

    const tw::Shortcut pressed = tw::normalizeShortcut(key, modifiers);
    bool used = false;
    for (const auto& bar : window.bars) {
        if (!bar->visible) {
            continue;
        }
        for (const auto& var : bar->vars) {
            if (var.readOnly) {
                continue;
            }
            if (var.keyIncr.isSet() && var.keyIncr == pressed) {
                var.stepBy(+1);
                used = true;
            }
            if (var.keyDecr.isSet() && var.keyDecr == pressed) {
                var.stepBy(-1);
                used = true;
            }
            if (var.type == TW_TYPE_BOOLCPP && var.keyToggle.isSet() && var.keyToggle == pressed) {
                var.setValue(var.value() == 0.0 ? 1.0 : 0.0);
                used = true;
            }
        }
    }
    return used ? 1 : 0;
}

int TwKeyModifiers(int modifiers)
{
    Context* ctx = require("TwKeyModifiers");
    if (ctx == nullptr) {
        return 0;
    }
    ctx->currentWindow().heldModifiers = modifiers;
    return 1;
}

void TwCopyStdStringToClientFunc(TwCopyStdStringToClient copyStdStringFunc)
{
    gCopyStdString = copyStdStringFunc;
    if (Context* ctx = tw::context()) {
        ctx->copyStdString = copyStdStringFunc;
    }
}

} // namespace mirvo::params
