#include "audio/SoundServer.h"

namespace mirvo::audio {

std::optional<SoundServer::Source> SoundServer::findSource(const std::string& name) const
{
    const std::vector<Source> sources = getSources();
    for (const Source& source : sources) {
        if (source.name == name) {
            return source;
        }
    }
    for (const Source& source : sources) {
        if (source.description == name) {
            return source;
        }
    }
    return std::nullopt;
}

} // namespace mirvo::audio
