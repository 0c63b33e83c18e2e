// The scenes in their rotation order, each known by a name ("galaxy", "tree", "triangles"),
// the current one, and the change from one to the next: by itself on a fixed period, or by a
// key. The set owns its scenes for the whole run; a scene added at run time joins the rotation
// at its end. Main thread (the renderer's thread offline).
#pragma once

#include "src/scenes/Visualizer.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mirvo {

class SceneSet {
  public:
    static constexpr float kSwitchSeconds = 15.0f;

    // Adds `scene` at the end of the rotation. After setup it is set up at once.
    void add(std::string name, std::unique_ptr<Visualizer> scene);
    // For every scene added after it: whether a scene may draw smaller to hold the frame rate.
    void allowAdaptiveScale(bool allowed) { mAdaptiveScaleAllowed = allowed; }
    // Sets up every scene in list order, then activates the first.
    void setup();
    // Releases every scene; their GL objects go, so the GL context must be current.
    void clear();

    bool empty() const { return mScenes.empty(); }
    std::size_t size() const { return mScenes.size(); }
    std::size_t getCurrentIndex() const { return mCurrent; }
    Visualizer& getCurrent() { return *mScenes.at(mCurrent).scene; }
    Visualizer& get(std::size_t index) { return *mScenes.at(index).scene; }
    const std::string& getName(std::size_t index) const { return mScenes.at(index).name; }
    std::optional<std::size_t> find(const std::string& name) const;

    // Makes the scene at `index` current, deactivating the one before even when it is the
    // same. Throws std::range_error for an index past the last scene, leaving the scene as it was.
    void select(std::size_t index);
    // The Alt+arrow keys: the next and the previous scene, going round.
    void selectNext();
    void selectPrevious();
    // How many times a scene was chosen by the calls above; the rotation's changes do not count.
    std::uint64_t getChoiceCount() const { return mChoices; }

    // One frame of `deltaSeconds`: the current scene's update, then the countdown to the
    // next scene. However long the frame, one change at most: scenes skipped within one frame
    // would never be seen, and the next scene gets its whole interval.
    void update(float deltaSeconds);
    // The period of the automatic change; the countdown starts again from it.
    void setSwitchInterval(float seconds);

    // Every scene's panel, in list order.
    void showPanels(bool show);
    void drawPanels();

  private:
    void show(std::size_t index);

    struct Entry {
        std::string name;
        std::unique_ptr<Visualizer> scene;
    };

    std::vector<Entry> mScenes;
    std::size_t mCurrent = 0;
    bool mSetUp = false;
    bool mAdaptiveScaleAllowed = true;
    float mSwitchInterval = kSwitchSeconds;
    float mSwitchCountdown = kSwitchSeconds;
    std::uint64_t mChoices = 0;
};

} // namespace mirvo
