// The user's date and time settings for the date texts of the result table
// (the format itself lives in results/DateText.h).
#pragma once

#include <QLocale>

#include "results/DateText.h"

namespace trawlix {

// The date and time settings of a locale; a locale whose short formats
// cannot be read as day, month and year gives German settings.
TDateTextFormat DateTextFormatFromLocale(const QLocale& locale);

// The locale the user's settings are read from: LC_ALL, else LC_TIME, else
// LANG; German for none, "C" and "POSIX".
QLocale UserTimeLocale();

// The user's settings, read on first use and kept for the program's run.
const TDateTextFormat& UserDateTextFormat();

}  // namespace trawlix
