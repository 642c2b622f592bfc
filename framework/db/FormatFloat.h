#pragma once

#include <QLocale>
#include <QString>

// Formats a number through a display mask such as "#,##0.00;(#,##0.00);Zero" or
// "#,###,###,### bytes". Up to three sections (positive; negative; zero), an empty one standing for
// the first. In a section: '0' a digit always shown, '#' a digit shown only when significant, the
// first '.' the decimal point, ',' between integer placeholders thousands separators, "E+", "E-",
// "e+", "e-" followed by '0's scientific notation, text in '...' or "..." and every other character
// as it is. An empty mask gives the general form of the number. Separators come from locale.
QString FormatFloat(const QString &format, double value, const QLocale &locale = QLocale());
