// What the command line asks of a run beyond the visuals themselves: stop after a number of
// frames (`--frames`), save the last one (`--screenshot`), hand files to the drop path
// (`--test-drop`), report when the first frame was drawn (`--report-startup`) and what the
// spectrum shows (`--report-spectrum-peak`, `--log-frames`); it says once when a software
// renderer cannot hold the frame rate, and quits as the quit key does on Ctrl+C, SIGTERM or a
// closed terminal. It follows
// the application's frames from the outside, through the window's post-draw signal, so the
// controller knows nothing of it. Main thread.
#pragma once

#include "src/CommandLine.h"
#include "src/StopSignals.h"
#include "src/run/FrameRateWatch.h"

#include <boost/signals2/connection.hpp>

#include <cstdint>
#include <fstream>

namespace mirvo {

class MirvoApp;

class RunControl {
  public:
    // Attaches to `app`, which must outlive this object; call before the app is launched.
    RunControl(MirvoApp& app, CommandLine commandLine);
    ~RunControl();
    RunControl(const RunControl&) = delete;
    RunControl& operator=(const RunControl&) = delete;

    // 0, 1 when something the command line asked for failed (the screenshot), or after a
    // signal to end the status a shell reports for it (130 after Ctrl+C).
    int getExitCode() const;

  private:
    void attachToWindow();
    void frameDrawn();
    void dropTestFiles();
    void saveScreenshot();
    void reportSpectrum();
    void watchFrameRate();
    void quitOnSignal();

    MirvoApp& mApp;
    CommandLine mCommandLine;
    boost::signals2::scoped_connection mUpdateConnection;
    boost::signals2::scoped_connection mPostDrawConnection;
    boost::signals2::scoped_connection mStopConnection;
    StopSignals mStopSignals{SIGINT, SIGTERM, SIGHUP};
    int mStoppedBy = 0;
    uint64_t mFramesDrawn = 0;
    std::ofstream mFrameLog;
    int mExitCode = 0;
    FrameRateWatch mFrameRateWatch;
    bool mSoftwareRenderer = false;
    int mSamples = 0;
    bool mWarnedSlowFrames = false;
};

} // namespace mirvo
