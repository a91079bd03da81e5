#include "foundation/PropertyDialog.h"

#include <atomic>

GC_IMPLEMENT_PLUGIN(TPropertyEditorFrame, TPlugin)

namespace {
std::atomic<IPropertyDialogHost*> theHost{nullptr};
}

void SetPropertyDialogHost(IPropertyDialogHost* host) { theHost = host; }
IPropertyDialogHost* GetPropertyDialogHost() { return theHost; }
