#include "app/fonts.h"

#include <QFont>

using namespace Qt::StringLiterals;

void installFontSubstitutions()
{
    QFont::insertSubstitution(u"SimHei"_s, u"WenQuanYi Zen Hei"_s);
    QFont::insertSubstitution(u"KaiTi_GB2312"_s, u"AR PL UKai CN"_s);
    QFont::insertSubstitution(u"SimSun"_s, u"AR PL UMing CN"_s);
    QFont::insertSubstitution(u"NSimSun"_s, u"AR PL UMing CN"_s);
}
