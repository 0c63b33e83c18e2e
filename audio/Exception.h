// The exceptions of the audio engine. Each carries the message a person is shown; the
// audio thread never throws them, only the threads that build graphs and open devices and files.
#pragma once

#include "core/Exception.h"

#include <string>

namespace mirvo::audio {

class AudioExc : public Exception {
  public:
    using Exception::Exception;
};

// A connection that would make a node feed itself through the graph.
class NodeCycleExc : public AudioExc {
  public:
    NodeCycleExc(const std::string& sourceName, const std::string& destName)
        : AudioExc("cyclical connection between source: " + sourceName + " and dest: " + destName)
    {
    }
};

class AudioFormatExc : public AudioExc {
  public:
    using AudioExc::AudioExc;
};

class AudioDeviceExc : public AudioExc {
  public:
    using AudioExc::AudioExc;
};

// A file that cannot be opened or decoded. Besides the decoder's message it carries what was
// wrong in terms a person can act on, for the line the application shows them.
class AudioFileExc : public AudioExc {
  public:
    enum class Reason { UNKNOWN, NO_SUCH_FILE, FOLDER, CANNOT_READ, NOT_AUDIO, DAMAGED, NO_AUDIO };

    explicit AudioFileExc(const std::string& message, Reason reason = Reason::UNKNOWN)
        : AudioExc(message), mReason(reason)
    {
    }

    Reason getReason() const { return mReason; }

  private:
    Reason mReason;
};

// The reason in plain words ("no such file", "not an audio file", ...); empty for UNKNOWN.
inline const char* describe(AudioFileExc::Reason reason)
{
    switch (reason) {
    case AudioFileExc::Reason::NO_SUCH_FILE:
        return "no such file";
    case AudioFileExc::Reason::FOLDER:
        return "it is a folder";
    case AudioFileExc::Reason::CANNOT_READ:
        return "cannot be read";
    case AudioFileExc::Reason::NOT_AUDIO:
        return "not an audio file";
    case AudioFileExc::Reason::DAMAGED:
        return "damaged or cut short";
    case AudioFileExc::Reason::NO_AUDIO:
        // A file that opens and turns out to have not one frame in it.
        return "it holds no audio";
    case AudioFileExc::Reason::UNKNOWN:
        break;
    }
    return "";
}

} // namespace mirvo::audio
