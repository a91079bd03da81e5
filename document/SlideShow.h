// The show document: its root list of items, its settings groups, links, the update
// list for views, the undo history, and loading and saving the show file.
#pragma once

#include "foundation/Properties.h"

class TSlideShow : public TObject {
    GC_DECLARE_CLASS(TSlideShow)
public:
    AnsiString FileName;
    // A stored file name resolved against the show's own file; empty when not found.
    AnsiString ResolveFileName(const AnsiString& name) const;
};
