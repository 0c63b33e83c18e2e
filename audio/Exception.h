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

class AudioFileExc : public AudioExc {
  public:
    using AudioExc::AudioExc;
};

} // namespace mirvo::audio
