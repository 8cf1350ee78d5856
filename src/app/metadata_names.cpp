#include "app/metadata_names.h"

#include <QCoreApplication>

using namespace Qt::StringLiterals;

namespace {

QString partName(MetadataPart part, PartNaming naming)
{
    const bool window = naming == PartNaming::Window;
    switch (part) {
    case MetadataPart::Exif:
        return u"EXIF"_s;
    case MetadataPart::Xmp:
        return u"XMP"_s;
    case MetadataPart::Iptc:
        return u"IPTC"_s;
    case MetadataPart::IccProfile:
        return window ? QCoreApplication::translate("MetadataNames", "ICC 色彩配置文件")
                      : u"ICC profile"_s;
    case MetadataPart::All:
        break;
    }
    return window ? QCoreApplication::translate("MetadataNames", "元数据") : u"metadata"_s;
}

} // namespace

QStringList lostPartNames(const QList<MetadataLoss> &losses, PartNaming naming)
{
    QStringList names;
    for (const MetadataLoss &loss : losses) {
        const QString name = partName(loss.part, naming);
        if (!names.contains(name))
            names << name;
    }
    return names;
}
