#include "src/live/ApplicationCapture.h"

#include "audio/Context.h"
#include "audio/MonitorSpectralNode.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>

namespace mirvo {

namespace {

bool sameText(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// The parent of process `id`, from the kernel's own record; 0 when it cannot be read.
int64_t parentOf(int64_t id)
{
    std::ifstream file("/proc/" + std::to_string(id) + "/stat");
    std::string stat;
    std::getline(file, stat);
    // The command name in parentheses may hold spaces and parentheses itself: the fields the
    // kernel adds come after its last closing one.
    const size_t end = stat.rfind(')');
    if (end == std::string::npos) {
        return 0;
    }
    std::istringstream fields(stat.substr(end + 1));
    std::string state;
    int64_t parent = 0;
    fields >> state >> parent;
    return fields ? parent : 0;
}

} // namespace

ApplicationCapture::ApplicationCapture(audio::Context& context,
                                       std::shared_ptr<audio::MonitorSpectralNode> monitor,
                                       audio::SoundServerRef server, Notices& notices, std::string name,
                                       PlayingPlayerWatch playing)
    : mContext(context), mMonitor(std::move(monitor)), mServer(std::move(server)), mNotices(notices),
      mName(std::move(name)), mPlaying(std::move(playing))
{
}

ApplicationCapture::~ApplicationCapture()
{
    for (auto& entry : mCaptures) {
        release(entry.second);
    }
}

bool ApplicationCapture::isNamed(const audio::SoundServer::Stream& stream, const std::string& name)
{
    return !name.empty() && (sameText(stream.application, name) || sameText(stream.binary, name));
}

bool ApplicationCapture::descendsFrom(int64_t id, int64_t ancestor)
{
    // Process 1 adopts orphans: no player is an ancestor through it. The bound stops a loop
    // in a table that changed while it was read.
    for (int depth = 0; depth < 64 && id > 1; ++depth) {
        if (id == ancestor) {
            return true;
        }
        id = parentOf(id);
    }
    return false;
}

bool ApplicationCapture::follows(const audio::SoundServer::Stream& stream) const
{
    if (stream.corked || stream.monitorName.empty()) {
        return false;
    }
    if (!mPlaying) {
        return isNamed(stream, mName);
    }
    return mPlayer && stream.processId > 0 && descendsFrom(stream.processId, mPlayer->processId);
}

void ApplicationCapture::release(Capture& capture)
{
    mOverrunsBefore += capture.node->getNumOverruns();
    capture.node->disable();
    capture.node->disconnectAll();
    capture.node.reset();
}

void ApplicationCapture::update()
{
    bool changed = mFirst;
    mFirst = false;
    if (mPlaying) {
        std::optional<PlayingPlayer> player = mPlaying();
        if (player != mPlayer) {
            mPlayer = std::move(player);
            changed = true;
        }
    }
    const uint64_t changes = mServer->getChangeCount();
    changed = changed || changes != mChangesSeen;
    mChangesSeen = changes;
    for (const auto& entry : mCaptures) {
        changed = changed || entry.second.node->isDeviceLost();
    }
    if (changed) {
        follow();
    }
    tell();
}

void ApplicationCapture::follow()
{
    const std::vector<audio::SoundServer::Stream> streams = mServer->getStreams();
    std::map<uint32_t, const audio::SoundServer::Stream*> wanted;
    for (const audio::SoundServer::Stream& stream : streams) {
        if (follows(stream)) {
            wanted[stream.index] = &stream;
        }
    }
    for (auto it = mCaptures.begin(); it != mCaptures.end();) {
        const auto want = wanted.find(it->first);
        const bool lost = it->second.node->isDeviceLost();
        // A stream that moved plays on another output, whose monitor its own is taken from.
        if (want != wanted.end() && !lost && want->second->monitorName == it->second.monitorName) {
            ++it;
            continue;
        }
        if (lost && want != wanted.end() && want->second->monitorName == it->second.monitorName) {
            mEnded[it->first] = mChangesSeen;
        }
        release(it->second);
        it = mCaptures.erase(it);
    }
    for (const auto& [index, stream] : wanted) {
        if (mCaptures.count(index) != 0) {
            continue;
        }
        const auto ended = mEnded.find(index);
        if (ended != mEnded.end() && ended->second == mChangesSeen) {
            continue;
        }
        mEnded.erase(index);
        Capture capture{mServer->makeStreamCaptureNode(mContext, *stream), stream->monitorName};
        capture.node->connect(mMonitor);
        capture.node->enable();
        mCaptures.emplace(index, std::move(capture));
    }
    std::erase_if(mEnded, [&](const auto& entry) { return wanted.count(entry.first) == 0; });
}

void ApplicationCapture::tell()
{
    const bool capturing = isCapturing();
    const std::string who = mPlaying && mPlayer ? mPlayer->name : mName;
    // A stream whose recording a move ended is recorded again on the server's next report: no
    // word of waiting in between.
    const bool resuming = !capturing && !mEnded.empty();
    if ((mTold && capturing == mToldCapturing && who == mToldWho) || resuming) {
        return;
    }
    mTold = true;
    mToldCapturing = capturing;
    mToldWho = who;
    const std::string line = (capturing ? "live input from " : "waiting for ") + who;
    std::cerr << "mirvo: " << line << std::endl;
    mNotices.post({capturing ? "Live input: " + who : line});
}

uint64_t ApplicationCapture::getNumOverruns() const
{
    uint64_t overruns = mOverrunsBefore;
    for (const auto& entry : mCaptures) {
        overruns += entry.second.node->getNumOverruns();
    }
    return overruns;
}

std::string ApplicationCapture::listApplications(const audio::SoundServer& server)
{
    std::ostringstream out;
    std::set<std::string> listed;
    for (const audio::SoundServer::Stream& stream : server.getStreams()) {
        const std::string name = stream.application.empty() ? stream.binary : stream.application;
        if (name.empty() || !listed.insert(name).second) {
            continue;
        }
        out << "  " << name;
        if (!stream.binary.empty() && stream.binary != name) {
            out << " (or " << stream.binary << ")";
        }
        out << (stream.corked ? " [paused]" : "") << '\n';
    }
    const std::string apps = out.str();
    return "Applications playing now, for --input=app:NAME:" +
           (apps.empty() ? std::string(" none\n") : "\n" + apps);
}

} // namespace mirvo
