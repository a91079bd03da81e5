// The text variables that read a show item, its show, its picture's metadata or the
// clock. All take a show item as context; any other context keeps its placeholders.
#pragma once

#include "document/Variables.h"

#include <functional>

class TSlideShowObjectVariablePlugin : public TVariablePlugin {
    GC_DECLARE_CLASS(TSlideShowObjectVariablePlugin)
public:
    const ClassInfo* GetContextClass() override;
};

#define GC_OBJECT_VARIABLE(Name)                                                        \
    class Name : public TSlideShowObjectVariablePlugin {                                \
        GC_DECLARE_CLASS(Name)                                                          \
    public:                                                                             \
        void GetVariableValue(TObject* context, const AnsiString& name, AnsiString& value) override; \
        void GetNames(AnsiString& names) override;                                      \
    };

// The object's own text, with its variables expanded; inside that expansion %text%
// stays as written, so a text naming itself ends.
class TSlideShowObjectTextVariablePlugin : public TSlideShowObjectVariablePlugin {
    GC_DECLARE_CLASS(TSlideShowObjectTextVariablePlugin)
public:
    void GetVariableValue(TObject* context, const AnsiString& name, AnsiString& value) override;
    void GetNames(AnsiString& names) override;
    bool GetValue(TObject* context, const AnsiString& name, AnsiString& value) override;
};

GC_OBJECT_VARIABLE(TSlideShowObjectKeywordsVariablePlugin)
GC_OBJECT_VARIABLE(TSlideShowObjectSlideShowTitleVariablePlugin)
GC_OBJECT_VARIABLE(TSlideShowObjectSlideShowDescriptionVariablePlugin)
GC_OBJECT_VARIABLE(TSlideShowObjectSlideShowAuthorVariablePlugin)
GC_OBJECT_VARIABLE(TSlideShowObjectSlideShowCopyrightVariablePlugin)
GC_OBJECT_VARIABLE(TSlideShowObjectPositionVariablePlugin)
GC_OBJECT_VARIABLE(TSlideShowObjectCaptureYearVariablePlugin)
GC_OBJECT_VARIABLE(TSlideShowObjectCaptureMonthVariablePlugin)
GC_OBJECT_VARIABLE(TSlideShowObjectCaptureDayVariablePlugin)
GC_OBJECT_VARIABLE(TSlideShowObjectCaptureHourVariablePlugin)
GC_OBJECT_VARIABLE(TSlideShowObjectCaptureMinuteVariablePlugin)
GC_OBJECT_VARIABLE(TSlideShowObjectCaptureSecondVariablePlugin)
GC_OBJECT_VARIABLE(TSlideShowObjectCaptureDateVariablePlugin)
GC_OBJECT_VARIABLE(TSlideShowObjectCaptureTimeVariablePlugin)
GC_OBJECT_VARIABLE(TSlideShowObjectDateVariablePlugin)
GC_OBJECT_VARIABLE(TSlideShowObjectTimeVariablePlugin)
GC_OBJECT_VARIABLE(TSlideShowObjectFilenameVariablePlugin)
GC_OBJECT_VARIABLE(TSlideShowObjectPathVariablePlugin)
GC_OBJECT_VARIABLE(TSlideShowObjectPicCommentVariablePlugin)
GC_OBJECT_VARIABLE(TSlideShowObjectExifCommentVariablePlugin)
GC_OBJECT_VARIABLE(TSlideShowObjectIPTCVariablePlugin)
GC_OBJECT_VARIABLE(TSlideShowObjectEXIFVariablePlugin)

#undef GC_OBJECT_VARIABLE

// Local date and time as %date% and %time% read them.
struct TVariableClockTime {
    int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
};
// Replaces the clock (tests); an empty function restores the local time.
void SetVariableClock(std::function<TVariableClockTime()> clock);

// The user's short date and long time (LC_TIME); "dd.mm.yyyy" and "hh:nn:ss" under the
// C locale.
AnsiString FormatVariableDate(int year, int month, int day);
AnsiString FormatVariableTime(int hour, int minute, int second);

// Registers the 23 variables in their fixed order; the finalisation unregisters them.
void InitializeSlideShowObjectVariables(TPlugins& plugins);
void FinalizeSlideShowObjectVariables(TPlugins& plugins);
