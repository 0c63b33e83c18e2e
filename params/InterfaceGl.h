// One on-screen parameter panel: labelled controls bound to the addresses of the caller's
// variables, drawn over the window and edited with the mouse and keyboard. Panels share one
// process-wide tweak-bar layer, set up by the first panel and ended with the application (on
// its shutdown signal, while the windows' GL contexts still exist); each window gets its own
// window id there. Main thread only.
#pragma once

#include "app/Window.h"
#include "core/Color.h"
#include "core/Vec.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace mirvo::params {

struct TwBar;
struct PanelWindowEntry;
class AntMgr;
class InterfaceGl;
using InterfaceGlRef = std::shared_ptr<InterfaceGl>;

class InterfaceGl {
  public:
    // What the typed addParam returns: the control just added, to refine with options.
    template <typename T> class Options {
      public:
        Options(std::string name, T* target, int type, InterfaceGl* parent)
            : mName(std::move(name)), mTarget(target), mTwType(type), mParent(parent)
        {
        }

        Options& min(float minVal) { return option("min=" + std::to_string(minVal)); }
        Options& max(float maxVal) { return option("max=" + std::to_string(maxVal)); }
        Options& step(float stepVal) { return option("step=" + std::to_string(stepVal)); }
        Options& precision(int digits) { return option("precision=" + std::to_string(digits)); }
        Options& keyIncr(const std::string& key) { return option("keyIncr='" + key + "'"); }
        Options& keyDecr(const std::string& key) { return option("keyDecr='" + key + "'"); }
        Options& label(const std::string& text) { return option("label='" + text + "'"); }

        const std::string& getName() const { return mName; }
        T* getTarget() const { return mTarget; }
        int getTwType() const { return mTwType; }
        InterfaceGl* getParent() const { return mParent; }

      private:
        Options& option(const std::string& optionsStr)
        {
            mParent->setOptions(mName, optionsStr);
            return *this;
        }

        std::string mName;
        T* mTarget;
        int mTwType;
        InterfaceGl* mParent;
    };

    // An empty panel, to be assigned a real one later.
    InterfaceGl() = default;
    // A panel in the application's current window.
    InterfaceGl(const std::string& title, const Vec2i& size,
                const ColorA& color = ColorA(0.3f, 0.3f, 0.3f, 0.4f));
    InterfaceGl(const app::WindowRef& window, const std::string& title, const Vec2i& size,
                const ColorA& color = ColorA(0.3f, 0.3f, 0.3f, 0.4f));

    static InterfaceGlRef create(const std::string& title, const Vec2i& size,
                                 const ColorA& color = ColorA(0.3f, 0.3f, 0.3f, 0.4f));
    static InterfaceGlRef create(const app::WindowRef& window, const std::string& title, const Vec2i& size,
                                 const ColorA& color = ColorA(0.3f, 0.3f, 0.3f, 0.4f));

    // Draws every panel of this panel's window.
    void draw();
    void show(bool visible = true);
    void hide();
    bool isVisible() const;

    // With an option string such as "min=0.0 max=1.0 step=0.05 keyIncr=i keyDecr=k".
    // The const char* forms keep a string literal from being taken for `readOnly`.
    void addParam(const std::string& name, float* param, const std::string& optionsStr,
                  bool readOnly = false);
    void addParam(const std::string& name, float* param, const char* optionsStr, bool readOnly = false);
    void addParam(const std::string& name, std::int32_t* param, const std::string& optionsStr,
                  bool readOnly = false);
    void addParam(const std::string& name, std::int32_t* param, const char* optionsStr,
                  bool readOnly = false);
    void addParam(const std::string& name, bool* param, const std::string& optionsStr, bool readOnly = false);
    void addParam(const std::string& name, bool* param, const char* optionsStr, bool readOnly = false);

    // Without options.
    Options<float> addParam(const std::string& name, float* target, bool readOnly = false);
    Options<bool> addParam(const std::string& name, bool* target, bool readOnly = false);
    Options<std::int32_t> addParam(const std::string& name, std::int32_t* target, bool readOnly = false);

    // Applies options to a control already added, e.g. "min=1 max=10".
    void setOptions(const std::string& name, const std::string& optionsStr);

    // A control as a caller that did not add it sees it: to list a panel's values and set them
    // again, in another run say. The value is text that sets the same value again: "true" or
    // "false", an integer, or the shortest decimal that gives the same float.
    struct ParamValue {
        enum class Type { BOOL, INT, FLOAT };
        std::string name;
        Type type = Type::FLOAT;
        bool readOnly = false;
        std::string value;
    };
    // The panel's title: the name its controls are known by.
    std::string getTitle() const;
    // Every control, in the order added; none for an empty panel.
    std::vector<ParamValue> getParamValues() const;
    // Sets the editable control `name` from text in the form getParamValues gives, clamped to the
    // control's range as the panel clamps what the person types. False, leaving it as it was, for
    // a name no editable control has or a text that is no value of its type.
    bool setParamValue(const std::string& name, const std::string& text);

    // The layer's bar, for the Tw* functions; null for an empty panel. It is not alive once
    // the layer has ended.
    TwBar* getBar() const { return mBar.get(); }
    int getTwWindowId() const { return mTwWindowId; }

  private:
    void init(const app::WindowRef& window, const std::string& title, const Vec2i& size, const ColorA& color);
    // False for an empty panel and for one whose layer has ended: such a panel does nothing.
    bool isLive() const;
    void implAddParam(const std::string& name, void* param, int type, const std::string& optionsStr,
                      bool readOnly);
    template <typename T>
    Options<T> addParamImpl(const std::string& name, T* target, int type, bool readOnly);

    std::weak_ptr<app::Window> mWindow;
    std::shared_ptr<TwBar> mBar;
    std::int32_t mTwWindowId = 0;
    std::map<std::string, std::shared_ptr<void>> mStoredCallbacks;
    // The panel module's record of this window, which counts its frames.
    PanelWindowEntry* mWindowEntry = nullptr;
    // The layer the bar belongs to; a later layer knows nothing of it.
    std::weak_ptr<AntMgr> mLayer;
};

// Ends the panel layer now: frees its GL objects, with a context of the panels' windows made
// current, and leaves every panel made so far doing nothing, safe to release. The
// application's shutdown signal calls it, before the windows and the window system go; call it
// directly where panels live in windows of no application. A panel made afterwards starts the
// layer again.
void terminatePanels();

} // namespace mirvo::params
