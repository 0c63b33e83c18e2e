#include "src/render/RenderStats.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace mirvo::render {

const char* describe(Phase phase)
{
    switch (phase) {
    case Phase::Audio:
        return "audio pull and analysis";
    case Phase::Update:
        return "scene update";
    case Phase::Draw:
        return "draw";
    case Phase::Resolve:
        return "MSAA resolve";
    case Phase::ReadBack:
        return "read-back";
    case Phase::HandOff:
        return "hand-off to the encoder";
    case Phase::WaitEncoder:
        return "waiting for the encoder";
    case Phase::Convert:
        return "colour conversion";
    case Phase::EncodeVideo:
        return "video encoding";
    case Phase::EncodeAudio:
        return "audio encoding";
    case Phase::Mux:
        return "muxing and writing";
    case Phase::Count:
        break;
    }
    return "?";
}

void PhaseTimes::addAll(const PhaseTimes& other)
{
    for (std::size_t index = 0; index < mSeconds.size(); ++index) {
        mSeconds[index] += other.mSeconds[index];
    }
}

double threadCpuSeconds()
{
    timespec now = {};
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now) != 0) {
        return 0.0;
    }
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

std::vector<ThreadGroupCpu> sampleThreadCpu()
{
    namespace fs = std::filesystem;
    const double ticksPerSecond = static_cast<double>(::sysconf(_SC_CLK_TCK));
    const std::string self = std::to_string(::getpid());
    std::map<std::string, ThreadGroupCpu> groups;
    std::error_code error;
    for (const fs::directory_entry& task : fs::directory_iterator("/proc/self/task", error)) {
        std::ifstream file(task.path() / "stat");
        std::string line;
        if (!std::getline(file, line)) {
            continue;
        }
        // "tid (name) state ...": the name may hold spaces and parentheses, so it ends at the
        // last ')'; utime and stime are the 12th and 13th fields after it.
        const std::size_t open = line.find('(');
        const std::size_t close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos || close < open) {
            continue;
        }
        std::string name = line.substr(open + 1, close - open - 1);
        // Pools number their threads ("worker-3"): one group for all of them.
        while (!name.empty() && (std::isdigit(static_cast<unsigned char>(name.back())) != 0)) {
            name.pop_back();
        }
        if (!name.empty() && (name.back() == '-' || name.back() == ':' || name.back() == '$')) {
            name.pop_back();
        }
        if (task.path().filename().string() == self) {
            name = "main";
        }
        std::istringstream fields(line.substr(close + 1));
        std::string field;
        double ticks = 0.0;
        for (int index = 1; index <= 13 && fields >> field; ++index) {
            if (index >= 12) {
                ticks += std::stod(field);
            }
        }
        ThreadGroupCpu& group = groups[name];
        group.name = name;
        ++group.numThreads;
        group.seconds += ticks / ticksPerSecond;
    }
    std::vector<ThreadGroupCpu> result;
    for (auto& [name, group] : groups) {
        result.push_back(group);
    }
    std::sort(result.begin(), result.end(),
              [](const ThreadGroupCpu& a, const ThreadGroupCpu& b) { return a.seconds > b.seconds; });
    return result;
}

std::string formatStats(const PhaseTimes& times, std::uint64_t frames, double wallSeconds,
                        const std::vector<ThreadGroupCpu>& cpu)
{
    std::string text;
    char line[160];
    std::snprintf(line, sizeof line, "mirvo: where the time went (%llu frames in %.2f s):\n",
                  static_cast<unsigned long long>(frames), wallSeconds);
    text += line;
    const double perFrame = frames > 0 ? 1000.0 / static_cast<double>(frames) : 0.0;
    for (int index = 0; index < static_cast<int>(Phase::Count); ++index) {
        const auto phase = static_cast<Phase>(index);
        if (phase == Phase::Convert) {
            text += "  the encoder:\n";
        }
        const double seconds = times.get(phase);
        std::snprintf(line, sizeof line, "    %-28s %8.2f s %7.2f ms/frame %5.1f %%\n", describe(phase),
                      seconds, seconds * perFrame, wallSeconds > 0.0 ? 100.0 * seconds / wallSeconds : 0.0);
        text += line;
    }
    if (!cpu.empty()) {
        text += "  CPU time by thread:";
        double total = 0.0;
        const char* separator = " ";
        for (const ThreadGroupCpu& group : cpu) {
            if (group.numThreads > 1) {
                std::snprintf(line, sizeof line, "%s%s (%d) %.2f s", separator, group.name.c_str(),
                              group.numThreads, group.seconds);
            } else {
                std::snprintf(line, sizeof line, "%s%s %.2f s", separator, group.name.c_str(), group.seconds);
            }
            text += line;
            separator = ", ";
            total += group.seconds;
        }
        std::snprintf(line, sizeof line, "; %.2f s in all, %.2f cores\n", total,
                      wallSeconds > 0.0 ? total / wallSeconds : 0.0);
        text += line;
    }
    return text;
}

} // namespace mirvo::render
