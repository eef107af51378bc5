// What the conversion tests share: the locales they pin and long texts.
#pragma once

#include "layout/Conversion.h"

#include <QLocale>
#include <QString>

namespace lyremap::test {

inline const QLocale kEnglish(QLocale::English, QLocale::UnitedStates);
inline const QLocale kGerman(QLocale::German, QLocale::Germany);

inline constexpr qsizetype kMillion = 1'000'000;

inline QString repeated(QChar c, qsizetype count) {
    return QString(count, c);
}

} // namespace lyremap::test
