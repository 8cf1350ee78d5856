#pragma once

#include "output/metadata.h"

#include <QByteArray>
#include <QImage>
#include <QString>

// The photo being corrected, owned by the window: its picture (which a pass rewrites in place),
// the file it came from and what that file carried, and the preview's JPEG of the picture.
struct TargetPhoto
{
    QString path;
    QImage picture;
    PhotoMetadata metadata;

    // The preview's encoding, made of the picture as it is now.
    void setEncoding(QByteArray jpeg)
    {
        jpeg_ = std::move(jpeg);
        key_ = picture.cacheKey();
    }
    // The encoding while it still shows the picture, which 保存 may then write as it is; empty
    // once anything has written to the picture (any write changes its cacheKey()).
    QByteArray currentEncoding() const
    {
        return !jpeg_.isEmpty() && key_ == picture.cacheKey() ? jpeg_ : QByteArray();
    }

private:
    QByteArray jpeg_;
    qint64 key_ = 0;
};
