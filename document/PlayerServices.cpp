#include "document/PlayerServices.h"

GC_IMPLEMENT_CLASS(THighPriorityEvent, TObject)
