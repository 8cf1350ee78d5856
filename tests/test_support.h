#pragma once

#include <QByteArray>
#include <QTemporaryDir>
#include <QWidget>

// Points the per-user runtime folder at a private temporary folder for the test's lifetime,
// so tests never meet a real instance's lock or preview file.
class IsolatedRuntime
{
public:
    IsolatedRuntime() { qputenv("XDG_RUNTIME_DIR", dir_.path().toLocal8Bit()); }
    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
};

template <typename T> T *named(const QWidget *window, const char *name)
{
    return window->findChild<T *>(QString::fromUtf8(name));
}
