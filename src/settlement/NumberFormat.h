#pragma once

#include <QString>

// Groups the digits of an amount for display: "1234567" gives "1,234,567".
// A text that already holds commas and ends in a digit loses them again; any
// other text (a room cell such as "101호", a date with units) comes back as it
// was. The grid's cells keep plain digits; only drawing and printing group them.
QString numberFormat(const QString& text);

// Inserts a "," before every group of three digits from the right; an empty
// text gives "0".
QString commaInsert(const QString& digits);
