#include "app/correction_run.h"

#include "correct/correction_pass.h"
#include "photo/photo_box.h"

#include <QCoreApplication>
#include <QElapsedTimer>

CorrectionRun::Result CorrectionRun::run(PhotoBox &box, const Gains &gains, ColourWord &probe,
                                         const ProgressFn &progress)
{
    running_ = true;
    stopRequested_ = false;
    const ChannelTables tables(gains);
    // The extent is fixed at the start; nothing that happens between rows changes it.
    const int width = box.image().width();
    const int lastRow = box.image().height() - 1;
    int firstUnpainted = 0;
    QElapsedTimer frame;
    frame.start();

    for (int y = 0; y <= lastRow; ++y) {
        auto *row = reinterpret_cast<QRgb *>(box.image().scanLine(y));
        probe = colourWordFromRgb(row[width - 1]);
        correctRow(row, width, tables);

        if (y < lastRow && std::chrono::nanoseconds(frame.nsecsElapsed()) < frameInterval_)
            continue;
        progress(y, lastRow);
        const int inset = box.contentsRect().top();
        box.update(0, inset + firstUnpainted, box.width(), y - firstUnpainted + 1);
        firstUnpainted = y + 1;
        QCoreApplication::processEvents();
        frame.restart();
        if (stopRequested_) {
            running_ = false;
            return Result::Stopped;
        }
    }
    running_ = false;
    return Result::Completed;
}
