#pragma once

#include <QLockFile>
#include <QString>

#include <functional>

class Desktop;

namespace Lifecycle {

// Per-user folder for the preview file and the instance lock, private to the user: the
// runtime folder's own, or one in the user's cache when that is not safe to use. Empty when
// neither is.
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
    enum class Claim {
        Acquired,
        HeldByLiveInstance,
        // No lock could be made (no private folder, a read-only or full one): run unguarded.
        Unavailable,
    };

    explicit InstanceLock(const QString &path = defaultPath());
    Claim tryAcquire();
    // Empty when there is no private folder.
    static QString defaultPath();
    // Lets the lock go before the instance has quite ended.
    void release() { lock_.reset(); }

private:
    bool ownerIsAlive() const;

    std::unique_ptr<QLockFile> lock_;
};

// Refuses a second instance: returns false when another one runs, after telling the user
// unless handOver() passes the work on to it. Any other failure to lock lets the program
// start, silently.
bool claimSingleInstance(InstanceLock &lock, Desktop &desktop,
                         const std::function<bool()> &handOver = {});

} // namespace Lifecycle
