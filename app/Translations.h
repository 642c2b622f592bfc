#pragma once

class QLocale;

// Installs the program's own translation for the locale's language and Qt's, which names the
// standard buttons and the edit menus. A language without a translation leaves the English texts;
// so does a second call's language for the first's. Returns whether the program's own was found.
bool InstallTranslations(const QLocale &locale);
