#include "qt/fonts.h"

#include <QStringList>

void InstallFontSubstitutions()
{
    const QStringList serif = {QStringLiteral("Noto Serif CJK SC"),
                               QStringLiteral("AR PL UMing CN"), QStringLiteral("AR PL UMing TW"),
                               QStringLiteral("WenQuanYi Zen Hei")};
    for (const char *face : {"宋体", "SimSun", "新宋体", "NSimSun"})
        QFont::insertSubstitutions(QString::fromUtf8(face), serif);
}

QFont SongFont(qreal pointSize)
{
    QFont font(QStringLiteral("宋体"));
    font.setPointSizeF(pointSize);
    font.setWeight(QFont::Normal);
    return font;
}
