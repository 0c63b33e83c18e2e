#include "src/scenes/SceneSet.h"

#include "params/InterfaceGl.h"

#include <stdexcept>
#include <utility>

namespace mirvo {

void SceneSet::add(std::string name, std::unique_ptr<Visualizer> scene)
{
    scene->setAdaptiveScaleAllowed(mAdaptiveScaleAllowed);
    mScenes.push_back({std::move(name), std::move(scene)});
    if (mSetUp) {
        mScenes.back().scene->setup();
    }
}

void SceneSet::setup()
{
    mCurrent = 0;
    for (Entry& entry : mScenes) {
        entry.scene->setup();
    }
    mSetUp = true;
    mScenes.at(0).scene->activate();
}

void SceneSet::clear()
{
    mScenes.clear();
    mCurrent = 0;
    mSetUp = false;
}

std::optional<std::size_t> SceneSet::find(const std::string& name) const
{
    for (std::size_t index = 0; index < mScenes.size(); ++index) {
        if (mScenes[index].name == name) {
            return index;
        }
    }
    return std::nullopt;
}

void SceneSet::select(std::size_t index)
{
    show(index);
    ++mChoices;
}

void SceneSet::show(std::size_t index)
{
    if (index >= mScenes.size()) {
        throw std::range_error("Invalid visualizer idx given");
    }
    mScenes[mCurrent].scene->deactivate();
    mCurrent = index;
    mScenes[mCurrent].scene->activate();
    // A scene that cannot show (a shader that fails on its first show) gives way to the next;
    // the built-in scenes always show.
    for (std::size_t tried = 1; !mScenes[mCurrent].scene->isShowable() && tried < mScenes.size(); ++tried) {
        mCurrent = (mCurrent + 1) % mScenes.size();
        mScenes[mCurrent].scene->activate();
    }
}

void SceneSet::selectNext()
{
    select((mCurrent + 1) % mScenes.size());
}

void SceneSet::selectPrevious()
{
    select(mCurrent == 0 ? mScenes.size() - 1 : mCurrent - 1);
}

void SceneSet::update(float deltaSeconds)
{
    mScenes.at(mCurrent).scene->update(deltaSeconds);
    mSwitchCountdown -= deltaSeconds;
    if (mSwitchCountdown > 0.0f) {
        return;
    }
    mSwitchCountdown = mSwitchInterval;
    show((mCurrent + 1) % mScenes.size());
}

void SceneSet::setSwitchInterval(float seconds)
{
    mSwitchInterval = seconds;
    mSwitchCountdown = seconds;
}

void SceneSet::showPanels(bool show)
{
    for (Entry& entry : mScenes) {
        if (InterfaceGlRef panel = entry.scene->getParams()) {
            if (show) {
                panel->show(true);
            } else {
                panel->hide();
            }
        }
    }
}

void SceneSet::drawPanels()
{
    for (Entry& entry : mScenes) {
        if (InterfaceGlRef panel = entry.scene->getParams()) {
            panel->draw();
        }
    }
}

} // namespace mirvo
