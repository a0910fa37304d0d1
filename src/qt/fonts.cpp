#include "qt/fonts.h"

#include "core/design/windowdesign.h"

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

QFont DesignQFont(FontRole role)
{
    const FontDesign design = DesignFont(role);
    QFont font(QString::fromUtf8(design.face.data(), qsizetype(design.face.size())));
    font.setPointSizeF(role == FontRole::Display ? departure::kLinuxDisplayPoints : design.points);
    font.setWeight(QFont::Normal);
    font.setUnderline(design.underline);
    return font;
}
