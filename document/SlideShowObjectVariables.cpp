#include "document/SlideShowObjectVariables.h"

#include "document/ExifTools.h"
#include "document/SlideShow.h"
#include "document/SlideShowInterfaces.h"
#include "document/SlideShowObject.h"
#include "document/SlideShowObjectExif.h"
#include "document/SlideShowProperties.h"
#include "foundation/SlideShowGlobals.h"
#include "platform/LocaleFormats.h"

#include <cstdio>
#include <ctime>
#include <iterator>

GC_IMPLEMENT_PLUGIN(TSlideShowObjectVariablePlugin, TVariablePlugin)
GC_IMPLEMENT_PLUGIN(TSlideShowObjectTextVariablePlugin, TSlideShowObjectVariablePlugin)
GC_IMPLEMENT_PLUGIN(TSlideShowObjectKeywordsVariablePlugin, TSlideShowObjectVariablePlugin)
GC_IMPLEMENT_PLUGIN(TSlideShowObjectSlideShowTitleVariablePlugin, TSlideShowObjectVariablePlugin)
GC_IMPLEMENT_PLUGIN(TSlideShowObjectSlideShowDescriptionVariablePlugin, TSlideShowObjectVariablePlugin)
GC_IMPLEMENT_PLUGIN(TSlideShowObjectSlideShowAuthorVariablePlugin, TSlideShowObjectVariablePlugin)
GC_IMPLEMENT_PLUGIN(TSlideShowObjectSlideShowCopyrightVariablePlugin, TSlideShowObjectVariablePlugin)
GC_IMPLEMENT_PLUGIN(TSlideShowObjectPositionVariablePlugin, TSlideShowObjectVariablePlugin)
GC_IMPLEMENT_PLUGIN(TSlideShowObjectCaptureYearVariablePlugin, TSlideShowObjectVariablePlugin)
GC_IMPLEMENT_PLUGIN(TSlideShowObjectCaptureMonthVariablePlugin, TSlideShowObjectVariablePlugin)
GC_IMPLEMENT_PLUGIN(TSlideShowObjectCaptureDayVariablePlugin, TSlideShowObjectVariablePlugin)
GC_IMPLEMENT_PLUGIN(TSlideShowObjectCaptureHourVariablePlugin, TSlideShowObjectVariablePlugin)
GC_IMPLEMENT_PLUGIN(TSlideShowObjectCaptureMinuteVariablePlugin, TSlideShowObjectVariablePlugin)
GC_IMPLEMENT_PLUGIN(TSlideShowObjectCaptureSecondVariablePlugin, TSlideShowObjectVariablePlugin)
GC_IMPLEMENT_PLUGIN(TSlideShowObjectCaptureDateVariablePlugin, TSlideShowObjectVariablePlugin)
GC_IMPLEMENT_PLUGIN(TSlideShowObjectCaptureTimeVariablePlugin, TSlideShowObjectVariablePlugin)
GC_IMPLEMENT_PLUGIN(TSlideShowObjectDateVariablePlugin, TSlideShowObjectVariablePlugin)
GC_IMPLEMENT_PLUGIN(TSlideShowObjectTimeVariablePlugin, TSlideShowObjectVariablePlugin)
GC_IMPLEMENT_PLUGIN(TSlideShowObjectFilenameVariablePlugin, TSlideShowObjectVariablePlugin)
GC_IMPLEMENT_PLUGIN(TSlideShowObjectPathVariablePlugin, TSlideShowObjectVariablePlugin)
GC_IMPLEMENT_PLUGIN(TSlideShowObjectPicCommentVariablePlugin, TSlideShowObjectVariablePlugin)
GC_IMPLEMENT_PLUGIN(TSlideShowObjectExifCommentVariablePlugin, TSlideShowObjectVariablePlugin)
GC_IMPLEMENT_PLUGIN(TSlideShowObjectIPTCVariablePlugin, TSlideShowObjectVariablePlugin)
GC_IMPLEMENT_PLUGIN(TSlideShowObjectEXIFVariablePlugin, TSlideShowObjectVariablePlugin)

const ClassInfo* TSlideShowObjectVariablePlugin::GetContextClass() { return &TSlideShowObject::StaticClassInfo(); }

namespace {

std::function<TVariableClockTime()>& Clock() {
    static std::function<TVariableClockTime()> clock;
    return clock;
}

TVariableClockTime Now() {
    if (Clock()) return Clock()();
    const time_t now = std::time(nullptr);
    struct tm t {};
    localtime_r(&now, &t);
    return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

TSlideShowObject* ObjectOf(TObject* context) { return dynamic_cast<TSlideShowObject*>(context); }

TSlideShowObjectExif* ExifOf(TObject* context) {
    auto* provider = Supports<IExifProvider>(ObjectOf(context));
    return provider ? provider->GetExif() : nullptr;
}

TSlideShowInfoProperties* InfoOf(TObject* context, TSlideShow*& show) {
    TSlideShowObject* object = ObjectOf(context);
    show = object ? dynamic_cast<TSlideShow*>(object->GetSlideShow()) : nullptr;
    return show ? show->InfoProperties : nullptr;
}

AnsiString CaptureNumber(TObject* context, int (*part)(const TExif*)) {
    const TSlideShowObjectExif* exif = ExifOf(context);
    return exif ? std::to_string(part(exif)) : AnsiString();
}

// Text expansion runs on the GUI thread only, but a guard per thread costs nothing.
thread_local int textDepth = 0;

}  // namespace

void SetVariableClock(std::function<TVariableClockTime()> clock) { Clock() = std::move(clock); }

AnsiString FormatVariableDate(int year, int month, int day) { return FormatUserShortDate(year, month, day); }

AnsiString FormatVariableTime(int hour, int minute, int second) { return FormatUserLongTime(hour, minute, second); }

// ---- the object's text and keywords ----

void TSlideShowObjectTextVariablePlugin::GetNames(AnsiString& names) { names = "text"; }

bool TSlideShowObjectTextVariablePlugin::GetValue(TObject* context, const AnsiString& name, AnsiString& value) {
    value.clear();
    if (textDepth > 0) return false;
    return TSlideShowObjectVariablePlugin::GetValue(context, name, value);
}

void TSlideShowObjectTextVariablePlugin::GetVariableValue(TObject* context, const AnsiString&, AnsiString& value) {
    auto* text = Supports<IText>(ObjectOf(context));
    if (!text) return;
    ++textDepth;
    try {
        ReplaceVariables(Plugins, context, text->GetText(), value);
    } catch (...) {
        --textDepth;
        throw;
    }
    --textDepth;
}

void TSlideShowObjectKeywordsVariablePlugin::GetNames(AnsiString& names) { names = "keywords\r\nstichworte"; }
void TSlideShowObjectKeywordsVariablePlugin::GetVariableValue(TObject* context, const AnsiString&, AnsiString& value) {
    if (auto* keywords = Supports<IKeywords>(ObjectOf(context))) value = keywords->GetKeywords();
}

// ---- the show's information ----

void TSlideShowObjectSlideShowTitleVariablePlugin::GetNames(AnsiString& names) {
    names = "slideshowtitle\r\nlumivortitel";
}
void TSlideShowObjectSlideShowTitleVariablePlugin::GetVariableValue(TObject* context, const AnsiString&,
                                                                    AnsiString& value) {
    TSlideShow* show = nullptr;
    if (TSlideShowInfoProperties* info = InfoOf(context, show)) value = info->Title;
    if (value.empty() && show) value = ExtractFileName(show->FileName());
}

void TSlideShowObjectSlideShowDescriptionVariablePlugin::GetNames(AnsiString& names) {
    names = "description\r\nbeschreibung";
}
void TSlideShowObjectSlideShowDescriptionVariablePlugin::GetVariableValue(TObject* context, const AnsiString&,
                                                                          AnsiString& value) {
    TSlideShow* show = nullptr;
    if (TSlideShowInfoProperties* info = InfoOf(context, show)) value = info->ShowDescription;
}

void TSlideShowObjectSlideShowAuthorVariablePlugin::GetNames(AnsiString& names) { names = "author\r\nautor"; }
void TSlideShowObjectSlideShowAuthorVariablePlugin::GetVariableValue(TObject* context, const AnsiString&,
                                                                     AnsiString& value) {
    TSlideShow* show = nullptr;
    if (TSlideShowInfoProperties* info = InfoOf(context, show)) value = info->Author;
}

void TSlideShowObjectSlideShowCopyrightVariablePlugin::GetNames(AnsiString& names) { names = "copyright"; }
void TSlideShowObjectSlideShowCopyrightVariablePlugin::GetVariableValue(TObject* context, const AnsiString&,
                                                                        AnsiString& value) {
    TSlideShow* show = nullptr;
    if (TSlideShowInfoProperties* info = InfoOf(context, show)) value = info->Copyright;
}

void TSlideShowObjectPositionVariablePlugin::GetNames(AnsiString& names) { names = "position"; }
void TSlideShowObjectPositionVariablePlugin::GetVariableValue(TObject* context, const AnsiString&, AnsiString& value) {
    if (TSlideShowObject* object = ObjectOf(context)) value = object->GetPathString();
}

// ---- capture date and time ----

#define GC_CAPTURE_PART(Name, Aliases, Part)                                                      \
    void Name::GetNames(AnsiString& names) { names = Aliases; }                                   \
    void Name::GetVariableValue(TObject* context, const AnsiString&, AnsiString& value) {         \
        value = CaptureNumber(context, &Part);                                                    \
    }

GC_CAPTURE_PART(TSlideShowObjectCaptureYearVariablePlugin, "captureyear\r\naufnahmejahr", GetCaptureYear)
GC_CAPTURE_PART(TSlideShowObjectCaptureMonthVariablePlugin, "capturemonth\r\naufnahmemonat", GetCaptureMonth)
GC_CAPTURE_PART(TSlideShowObjectCaptureDayVariablePlugin, "captureday\r\naufnahmetag", GetCaptureDay)
GC_CAPTURE_PART(TSlideShowObjectCaptureHourVariablePlugin, "capturehour\r\naufnahmestunde", GetCaptureHour)
GC_CAPTURE_PART(TSlideShowObjectCaptureMinuteVariablePlugin, "captureminute\r\naufnahmeminute", GetCaptureMinute)
GC_CAPTURE_PART(TSlideShowObjectCaptureSecondVariablePlugin, "capturesecond\r\naufnahmesekunde", GetCaptureSecond)
#undef GC_CAPTURE_PART

void TSlideShowObjectCaptureDateVariablePlugin::GetNames(AnsiString& names) { names = "capturedate\r\naufnahmedatum"; }
void TSlideShowObjectCaptureDateVariablePlugin::GetVariableValue(TObject* context, const AnsiString&,
                                                                 AnsiString& value) {
    const TSlideShowObjectExif* exif = ExifOf(context);
    // An unreadable date stays empty rather than showing the calendar's day zero.
    if (!exif || GetCaptureDateTime(exif) < 0) return;
    value = FormatVariableDate(GetCaptureYear(exif), GetCaptureMonth(exif), GetCaptureDay(exif));
}

void TSlideShowObjectCaptureTimeVariablePlugin::GetNames(AnsiString& names) {
    names = "aufnahmeuhrzeit\r\ncapturetime";
}
void TSlideShowObjectCaptureTimeVariablePlugin::GetVariableValue(TObject* context, const AnsiString&,
                                                                 AnsiString& value) {
    try {
        const TSlideShowObjectExif* exif = ExifOf(context);
        if (!exif) return;
        const int h = GetCaptureHour(exif), m = GetCaptureMinute(exif), s = GetCaptureSecond(exif);
        if (h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59) return;
        value = FormatVariableTime(h, m, s);
    } catch (...) {
        value.clear();
    }
}

void TSlideShowObjectDateVariablePlugin::GetNames(AnsiString& names) { names = "date\r\ndatum"; }
void TSlideShowObjectDateVariablePlugin::GetVariableValue(TObject*, const AnsiString&, AnsiString& value) {
    const TVariableClockTime t = Now();
    value = FormatVariableDate(t.Year, t.Month, t.Day);
}

void TSlideShowObjectTimeVariablePlugin::GetNames(AnsiString& names) { names = "time\r\nuhrzeit"; }
void TSlideShowObjectTimeVariablePlugin::GetVariableValue(TObject*, const AnsiString&, AnsiString& value) {
    const TVariableClockTime t = Now();
    value = FormatVariableTime(t.Hour, t.Minute, t.Second);
}

// ---- the object's file ----

void TSlideShowObjectFilenameVariablePlugin::GetNames(AnsiString& names) { names = "filename\r\ndateiname"; }
void TSlideShowObjectFilenameVariablePlugin::GetVariableValue(TObject* context, const AnsiString&, AnsiString& value) {
    if (auto* files = Supports<IFileReferences>(ObjectOf(context)))
        value = ExtractFileName(files->GetResolvedFileName());
}

void TSlideShowObjectPathVariablePlugin::GetNames(AnsiString& names) { names = "path\r\npfad"; }
void TSlideShowObjectPathVariablePlugin::GetVariableValue(TObject* context, const AnsiString&, AnsiString& value) {
    if (auto* files = Supports<IFileReferences>(ObjectOf(context)))
        value = ExtractFilePath(files->GetResolvedFileName());
}

// ---- picture metadata ----

void TSlideShowObjectPicCommentVariablePlugin::GetNames(AnsiString& names) { names = "kommentar\r\ncomment"; }
void TSlideShowObjectPicCommentVariablePlugin::GetVariableValue(TObject* context, const AnsiString&,
                                                                AnsiString& value) {
    if (const TSlideShowObjectExif* exif = ExifOf(context)) value = GetComment(exif);
}

void TSlideShowObjectExifCommentVariablePlugin::GetNames(AnsiString& names) {
    names = "exifkommentar\r\nexifcomment";
}
void TSlideShowObjectExifCommentVariablePlugin::GetVariableValue(TObject* context, const AnsiString&,
                                                                 AnsiString& value) {
    if (const TSlideShowObjectExif* exif = ExifOf(context)) value = GetExifComment(exif);
}

void TSlideShowObjectIPTCVariablePlugin::GetNames(AnsiString& names) {
    names.clear();
    for (const TIptcFieldName& f : IptcFieldNames()) {
        if (!names.empty()) names += "\r\n";
        names += AnsiString("IPTC") + f.Name;
    }
}
void TSlideShowObjectIPTCVariablePlugin::GetVariableValue(TObject* context, const AnsiString& name,
                                                          AnsiString& value) {
    try {
        const TSlideShowObjectExif* exif = ExifOf(context);
        if (!exif || !HasIptc(exif) || name.size() < 4) return;
        if (auto reader = CreateReader(exif)) value = reader->IptcValue(name.substr(4));
    } catch (...) {
        value.clear();
    }
}

void TSlideShowObjectEXIFVariablePlugin::GetNames(AnsiString& names) {
    names.clear();
    for (const TExifTagName& t : ExifTagNames()) {
        if (!names.empty()) names += "\r\n";
        names += AnsiString("EXIF") + t.Name;
    }
}
void TSlideShowObjectEXIFVariablePlugin::GetVariableValue(TObject* context, const AnsiString& name,
                                                          AnsiString& value) {
    try {
        const TSlideShowObjectExif* exif = ExifOf(context);
        if (!exif || !HasExif(exif) || name.size() < 4) return;
        if (auto reader = CreateReader(exif)) value = reader->ExifValue(name.substr(4));
    } catch (...) {
        value.clear();
    }
}

// ---- registration ----

namespace {

const ClassInfo* const* VariableClasses(size_t& count) {
    static const ClassInfo* const classes[] = {
        &TSlideShowObjectTextVariablePlugin::StaticClassInfo(),
        &TSlideShowObjectKeywordsVariablePlugin::StaticClassInfo(),
        &TSlideShowObjectSlideShowTitleVariablePlugin::StaticClassInfo(),
        &TSlideShowObjectSlideShowDescriptionVariablePlugin::StaticClassInfo(),
        &TSlideShowObjectSlideShowAuthorVariablePlugin::StaticClassInfo(),
        &TSlideShowObjectSlideShowCopyrightVariablePlugin::StaticClassInfo(),
        &TSlideShowObjectPositionVariablePlugin::StaticClassInfo(),
        &TSlideShowObjectCaptureYearVariablePlugin::StaticClassInfo(),
        &TSlideShowObjectCaptureMonthVariablePlugin::StaticClassInfo(),
        &TSlideShowObjectCaptureDayVariablePlugin::StaticClassInfo(),
        &TSlideShowObjectCaptureHourVariablePlugin::StaticClassInfo(),
        &TSlideShowObjectCaptureMinuteVariablePlugin::StaticClassInfo(),
        &TSlideShowObjectCaptureSecondVariablePlugin::StaticClassInfo(),
        &TSlideShowObjectCaptureDateVariablePlugin::StaticClassInfo(),
        &TSlideShowObjectCaptureTimeVariablePlugin::StaticClassInfo(),
        &TSlideShowObjectDateVariablePlugin::StaticClassInfo(),
        &TSlideShowObjectTimeVariablePlugin::StaticClassInfo(),
        &TSlideShowObjectFilenameVariablePlugin::StaticClassInfo(),
        &TSlideShowObjectPathVariablePlugin::StaticClassInfo(),
        &TSlideShowObjectPicCommentVariablePlugin::StaticClassInfo(),
        &TSlideShowObjectExifCommentVariablePlugin::StaticClassInfo(),
        &TSlideShowObjectIPTCVariablePlugin::StaticClassInfo(),
        &TSlideShowObjectEXIFVariablePlugin::StaticClassInfo(),
    };
    count = std::size(classes);
    return classes;
}

}  // namespace

void InitializeSlideShowObjectVariables(TPlugins& plugins) {
    size_t count = 0;
    const ClassInfo* const* classes = VariableClasses(count);
    for (size_t i = 0; i < count; ++i) plugins.Register(*classes[i]);
}

void FinalizeSlideShowObjectVariables(TPlugins& plugins) {
    size_t count = 0;
    const ClassInfo* const* classes = VariableClasses(count);
    for (size_t i = 0; i < count; ++i) plugins.Unregister(*classes[i]);
}
