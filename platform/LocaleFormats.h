// Dates and times in the user's formats (LC_ALL, LC_TIME, LANG): the locale's short date
// and long time. The C locale (or one the system lacks) gives the fixed forms
// "dd.mm.yyyy" and "hh:mm:ss". Texts come back in Windows-1252.
#pragma once

#include "platform/SysUtils.h"

AnsiString FormatUserShortDate(int year, int month, int day);
AnsiString FormatUserLongTime(int hour, int minute, int second);
