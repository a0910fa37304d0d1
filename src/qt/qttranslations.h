#pragma once

#include <QLocale>

// Loads Qt's own translations for the locale (the session's by default), so
// that Qt's texts, such as the buttons of message boxes, are in its language.
// Replaces what an earlier call loaded; false when the locale has none.
bool InstallQtTranslations(const QLocale &locale = QLocale());
