#pragma once

#include "colour/colour_word.h"
#include "correct/gains.h"

#include <chrono>
#include <functional>

class PhotoBox;

// The correction pass over a picture box, row by row on its image. The window stays alive:
// pending events are processed between rows, no more often than once a frame and after the
// last row, and a handler that runs then may stop the pass before its next row.
class CorrectionRun
{
public:
    enum class Result { Completed, Stopped };
    // Called just before the window is let to paint, with the row just finished.
    using ProgressFn = std::function<void(int row, int lastRow)>;

    // `probe` is left holding the last pixel read, before its correction.
    Result run(PhotoBox &box, const Gains &gains, ColourWord &probe, const ProgressFn &progress);
    void stop() { stopRequested_ = true; }
    bool isRunning() const { return running_; }

    // How much work runs between two rounds of event processing; zero means every row.
    void setFrameInterval(std::chrono::nanoseconds interval) { frameInterval_ = interval; }

private:
    bool running_ = false;
    bool stopRequested_ = false;
    std::chrono::nanoseconds frameInterval_ = std::chrono::milliseconds(16);
};
