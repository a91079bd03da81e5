// The modal property dialog as a service: editor frames for settings objects, and the
// host that shows one frame in a dialog. No host with real windows exists: only tests
// install one, so TProperties::Edit answers False everywhere else. Nothing in the screen
// saver edits settings this way (its own settings dialog is the configure form).
#pragma once

#include "foundation/Plugins.h"
#include "platform/SysUtils.h"

class TProperties;

// One control of a frame whose layout is held as data.
struct TPropertyFrameControl {
    const char* Kind;      // "Label", "TBrixSpinEdit"
    const char* Name;
    const char* Caption;   // Windows-1252
    double Min, Max, Increment, Value;
    const char* OnChange;
};

// Base of every editor frame. A frame class is found by name in the class registry
// and made through its virtual constructor; the dialog gives it the option, the
// settings object it edits, and asks it to show the values. Its caption is its
// class's Caption. It edits the object it was given directly; the dialog copies that
// object back only on OK.
class TPropertyEditorFrame : public TPlugin {
    GC_DECLARE_CLASS(TPropertyEditorFrame)
public:
    virtual void SetOption(int option) { option_ = option; }
    int Option() const { return option_; }
    virtual void SetProperties(TProperties* properties) { properties_ = properties; }
    TProperties* Properties() const { return properties_; }
    virtual void ShowValues() {}

private:
    int option_ = 0;
    TProperties* properties_ = nullptr;
};

// Shows a dialog with the given caption whose main panel holds the frame at (1, 1),
// sized so that the panel's client area fits the frame plus 2 pixels each way, with
// OK and Cancel. True for OK.
class IPropertyDialogHost {
public:
    virtual ~IPropertyDialogHost() = default;
    virtual bool ShowModal(const AnsiString& caption, TPropertyEditorFrame& frame) = 0;
};

// The process-wide host (not owned); null when none is installed, and then no
// settings object can be edited.
void SetPropertyDialogHost(IPropertyDialogHost* host);
IPropertyDialogHost* GetPropertyDialogHost();
