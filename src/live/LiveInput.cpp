#include "src/live/LiveInput.h"

#include "audio/Context.h"
#include "audio/FilePlayerNode.h"
#include "audio/MonitorSpectralNode.h"
#include "src/live/ApplicationCapture.h"

#include <iostream>

namespace mirvo {

LiveInput::LiveInput(audio::Context& context, std::shared_ptr<audio::MonitorSpectralNode> monitor,
                     std::shared_ptr<audio::FilePlayerNode> player, Notices& notices,
                     std::function<PlayingPlayerWatch()> watchPlaying)
    : mContext(context), mMonitor(std::move(monitor)), mPlayer(std::move(player)), mNotices(notices),
      mServer(audio::SoundServer::connect()), mWatchPlaying(std::move(watchPlaying))
{
    if (mServer) {
        mChangesSeen = mServer->getChangeCount();
        mConnectionsSeen = mServer->getConnectionCount();
    }
}

LiveInput::~LiveInput()
{
    releaseNode();
}

std::string LiveInput::listSources(const audio::SoundServer& server)
{
    std::string line;
    for (const audio::SoundServer::Source& source : server.getSources()) {
        line += (line.empty() ? "" : ", ") + source.name;
        if (source.description != source.name) {
            line += " (" + source.description + ")";
        }
    }
    return line.empty() ? "the sound server has no sources" : "the sources are: " + line;
}

bool LiveInput::start(const std::string& sourceName)
{
    if (!mServer) {
        // None answered at start; one may have started since.
        mServer = audio::SoundServer::connect();
        if (mServer) {
            mChangesSeen = mServer->getChangeCount();
            mConnectionsSeen = mServer->getConnectionCount();
        }
    }
    if (!mServer || !mServer->isConnected()) {
        std::cerr << "mirvo: " << kNoServerLine << std::endl;
        mNotices.post({kNoServerLine});
        return false;
    }
    if (followsApplication(sourceName)) {
        return captureApplication(sourceName);
    }
    std::optional<audio::SoundServer::Source> source =
        sourceName.empty() ? mServer->getDefaultMonitor() : mServer->findSource(sourceName);
    if (!source) {
        const std::string line = sourceName.empty() ? "live input: the sound server has no default output"
                                                    : "live input: no source called '" + sourceName + "'";
        std::cerr << "mirvo: " << line << "; " << listSources(*mServer) << std::endl;
        mNotices.post({line});
        return false;
    }
    capture(*source, sourceName.empty());
    return true;
}

void LiveInput::toggle()
{
    if (isLive()) {
        stop();
        mNotices.post({"Music"});
    } else {
        start(mApplicationInput);
    }
}

bool LiveInput::followsApplication(const std::string& input)
{
    const std::string prefix = kApplicationPrefix;
    return input == kPlaying ||
           (input.size() > prefix.size() && input.compare(0, prefix.size(), prefix) == 0);
}

void LiveInput::enterLive()
{
    if (isLive()) {
        return;
    }
    // The music waits where it was, paused or playing, until live input ends.
    mPlayerWasEnabled = mPlayer && mPlayer->isEnabled();
    mNoticesWerePaused = mNotices.isPaused();
    if (mPlayer) {
        mPlayer->disable();
    }
    mNotices.setPaused(false);
}

bool LiveInput::captureApplication(const std::string& input)
{
    if (input == kPlaying && !mPlayingWatch && mWatchPlaying) {
        mPlayingWatch = mWatchPlaying();
    }
    if (input == kPlaying && !mPlayingWatch) {
        const std::string line = "live input: no session bus to find the player that plays on";
        std::cerr << "mirvo: " << line << std::endl;
        mNotices.post({line});
        return false;
    }
    enterLive();
    releaseNode();
    mApplicationInput = input;
    const std::string name =
        input == kPlaying ? "a player to play" : input.substr(std::string(kApplicationPrefix).size());
    mApplication =
        std::make_unique<ApplicationCapture>(mContext, mMonitor, mServer, mNotices, name,
                                             input == kPlaying ? mPlayingWatch : PlayingPlayerWatch());
    // Tells at once what it records or waits for.
    mApplication->update();
    return true;
}

void LiveInput::capture(const audio::SoundServer::Source& source, bool followDefault)
{
    enterLive();
    releaseNode();
    mSource = source;
    mFollowDefault = followDefault;
    mNode = mServer->makeCaptureNode(mContext, source);
    mNode->connect(mMonitor);
    mNode->enable();
    mNotices.post({"Live input: " + source.description});
}

void LiveInput::releaseNode()
{
    if (mApplication) {
        mOverrunsBefore += mApplication->getNumOverruns();
        mApplication.reset();
    }
    if (!mNode) {
        return;
    }
    mOverrunsBefore += mNode->getNumOverruns();
    mNode->disable();
    mNode->disconnectAll();
    mNode.reset();
}

void LiveInput::stop()
{
    // Music asked for (a key, a dropped file) is not overridden by a server's return.
    mResumeSource.reset();
    if (!isLive()) {
        return;
    }
    releaseNode();
    if (mPlayer && mPlayerWasEnabled) {
        mPlayer->enable();
    }
    mNotices.setPaused(mNoticesWerePaused);
}

void LiveInput::fallBack(const std::string& why)
{
    const std::optional<audio::SoundServer::Source> fallback = mServer->getDefaultMonitor();
    if (fallback && fallback->name != mSource.name) {
        std::cerr << "mirvo: " << why << "; live input now from '" << fallback->description << "'"
                  << std::endl;
        mNotices.post({why});
        capture(*fallback, true);
        return;
    }
    std::cerr << "mirvo: " << why << "; back to the music" << std::endl;
    stop();
    mNotices.post({why, "back to the music"});
}

void LiveInput::watchConnection()
{
    const bool connected = mServer->isConnected();
    const uint64_t connections = mServer->getConnectionCount();
    const bool cameBack = connections != mConnectionsSeen;
    mConnectionsSeen = connections;
    if (!mServerAway && (!connected || cameBack)) {
        // Gone, or gone and back between two frames: either way the streams of the old
        // connection are dead.
        mServerAway = true;
        if (isLive()) {
            const std::string resume = mApplication     ? mApplicationInput
                                       : mFollowDefault ? std::string()
                                                        : mSource.name;
            std::cerr << "mirvo: the sound server went away; back to the music" << std::endl;
            stop();
            mResumeSource = resume;
            mNotices.post({"the sound server went away", "back to the music"});
        } else {
            std::cerr << "mirvo: the sound server went away" << std::endl;
            mNotices.post({"the sound server went away"});
        }
    }
    if (!mServerAway || !connected) {
        return;
    }
    mServerAway = false;
    mChangesSeen = mServer->getChangeCount();
    std::cerr << "mirvo: the sound server is back" << std::endl;
    mNotices.post({"the sound server is back"});
}

void LiveInput::resumeAfterServerReturn()
{
    // A server that has just started may not have its outputs yet: this waits for them.
    if (!mResumeSource || mServerAway || isLive()) {
        return;
    }
    const std::string name = *mResumeSource;
    if (followsApplication(name)) {
        mResumeSource.reset();
        std::cerr << "mirvo: live input follows " << name << " again" << std::endl;
        captureApplication(name);
        return;
    }
    std::optional<audio::SoundServer::Source> source =
        name.empty() ? mServer->getDefaultMonitor() : mServer->findSource(name);
    if (!source && !name.empty()) {
        source = mServer->getDefaultMonitor();
    }
    if (!source) {
        return;
    }
    mResumeSource.reset();
    std::cerr << "mirvo: live input from '" << source->description << "' again" << std::endl;
    capture(*source, name.empty() || source->name != name);
}

void LiveInput::update()
{
    if (!mServer) {
        return;
    }
    watchConnection();
    resumeAfterServerReturn();
    if (!isLive()) {
        return;
    }
    if (mApplication) {
        mApplication->update();
        return;
    }
    const uint64_t changes = mServer->getChangeCount();
    const bool changed = changes != mChangesSeen;
    mChangesSeen = changes;
    if (mNode->isDeviceLost()) {
        fallBack("live input from '" + mSource.description + "' was lost");
        return;
    }
    if (changed && mFollowDefault) {
        const std::optional<audio::SoundServer::Source> current = mServer->getDefaultMonitor();
        if (current && current->name != mSource.name) {
            capture(*current, true);
        }
    }
}

std::optional<double> LiveInput::getPlaybackLatency() const
{
    return mServer && mServer->isConnected() ? mServer->getPlaybackLatency() : std::nullopt;
}

uint64_t LiveInput::getNumOverruns() const
{
    return mOverrunsBefore + (mNode ? mNode->getNumOverruns() : 0) +
           (mApplication ? mApplication->getNumOverruns() : 0);
}

} // namespace mirvo
