#pragma once

#include <QLockFile>
#include <QString>

#include <functional>

class Desktop;

namespace Lifecycle {

// Per-user private folder for the preview file and the instance lock.
QString runtimeFolder();
QString temporaryPreviewPath();
// Where the running instance listens for photos handed over by a second start.
QString instanceSocketPath();
// Deletes the preview file if an ordinary file stands there; silent either way.
void removeTemporaryPreview();

QString usageGuideTitle();
QString usageGuideText();

// Held for the whole run by the one running instance. A lock left by a killed
// instance is recognised by its dead owner and taken over.
class InstanceLock
{
public:
    explicit InstanceLock(const QString &path = defaultPath());
    bool tryAcquire();
    static QString defaultPath();

private:
    QLockFile lock_;
};

// Refuses a second instance: returns false when another one runs, after telling the user
// unless handOver() passes the work on to it.
bool claimSingleInstance(InstanceLock &lock, Desktop &desktop,
                         const std::function<bool()> &handOver = {});

} // namespace Lifecycle
