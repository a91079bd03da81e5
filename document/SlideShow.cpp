#include "document/SlideShow.h"

GC_IMPLEMENT_CLASS(TSlideShow, TObject)

AnsiString TSlideShow::ResolveFileName(const AnsiString& name) const { return name; }
