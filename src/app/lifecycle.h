#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

class Desktop;

namespace Lifecycle {

// Per-user private folder for the preview file and the instance lock.
QString runtimeFolder();
QString temporaryPreviewPath();
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

// Refuses a second instance: tells the user and returns false when another one runs.
bool claimSingleInstance(InstanceLock &lock, Desktop &desktop);

} // namespace Lifecycle
