// Text variables: placeholders such as %captureyear% that a text holds and that are
// expanded, before drawing, by the variable plug-ins registered with the plug-in
// registry. "%%" stands for one percent sign; a name that no plug-in knows stays.
#pragma once

#include "foundation/Plugins.h"
#include "platform/SysUtils.h"

// A variable plug-in: knows a list of names (aliases) and gives a value for a context.
class TVariablePlugin : public TPlugin {
    GC_DECLARE_CLASS(TVariablePlugin)
public:
    // The value of name for context; only called for a supported context.
    virtual void GetVariableValue(TObject* context, const AnsiString& name, AnsiString& value) = 0;
    // Whether name (lower case, whole) is one of the aliases.
    virtual bool IsVariableName(const AnsiString& name);
    // The aliases, separated by CR LF.
    virtual void GetNames(AnsiString& names) = 0;
    // The class a context must belong to; null for any context.
    virtual const ClassInfo* GetContextClass() { return nullptr; }
    virtual bool SupportsContext(TObject* context);
    // Value empty; false for an unsupported context, else the value and true.
    virtual bool GetValue(TObject* context, const AnsiString& name, AnsiString& value);
};

// Expands source for context with the variable plug-ins of plugins, in registry order;
// null plugins give source unchanged. A value is inserted as it is: percent signs in it
// never start a placeholder, and the expansion does not mark text in-band, so every
// character of source other than the placeholders comes out as it went in.
void ReplaceVariables(TPlugins* plugins, TObject* context, const AnsiString& source, AnsiString& result);

// ASCII lower case, as the names are compared.
AnsiString LowerCaseAscii(const AnsiString& s);
