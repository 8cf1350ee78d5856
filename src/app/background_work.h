#pragma once

#include "photo/work_progress.h"

#include <functional>

// Runs work on a worker thread while the calling (window) thread keeps handling every event but
// user input: the window repaints, timers and signals run, and clicks and keys wait in their
// queue until the work is done, so that they happen in the order the user made them. Returns
// when the work is done, even if the application's exit ended the waiting early. Where no thread
// can be started, the work runs on the calling thread. The work must touch no widget.
//
// Once the work has run for kShowAfter, showProgress is called with the fraction done (0 to 1)
// every few frames, and with -1 when the work is over.
void runWhilePainting(int stages, const std::function<void(WorkProgress &)> &work,
                      const std::function<void(double)> &showProgress);
