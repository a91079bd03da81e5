// What items and their lists need of the show document that holds them. The document
// implements it; items and lists never know more of it.
#pragma once

#include "foundation/FileResolver.h"
#include "platform/SysUtils.h"

#include <cstdint>

class TSlideShowObject;
class TSlideShowObjectList;
class TPath;
class TSlideShowProperties;

// Kinds of undo steps and of update records.
enum : int {
    ukInsert = 2,
    ukMove = 4,
};
enum : int {
    urChanged = 0,
    urInserted = 2,
    urMoved = 3,
};

class IShowMusicProperties;

class TSlideShowHost {
public:
    virtual ~TSlideShowHost() = default;

    // The handler every attached item reports its changes to.
    virtual void ObjectChanged(TSlideShowObject* sender, uint16_t flags, int32_t data) = 0;
    // The show's default duration of an item without its own (5000 ms unless changed).
    virtual int32_t GetDefaultDuration() const = 0;
    // A stored file name resolved against the show's own file; empty when not found.
    virtual AnsiString ResolveFileName(const AnsiString& name) const = 0;
    // The resolver the show finds its files with: the run's, else the default one.
    virtual const IFileResolver& GetFileResolver() const { return DefaultFileResolver(); }
    // What an item opens for a stored name: the file found, else what the resolver lets
    // through unresolved (empty: nothing; the item fails as a missing file does).
    AnsiString FileToOpen(const AnsiString& name) const { return GetFileResolver().OpenableName(name, ResolveFileName(name)); }
    virtual TSlideShowObjectList* GetObjectList() = 0;
    // The show's settings group; null sends its items to the default group.
    virtual TSlideShowProperties* GetSlideShowProperties() const { return nullptr; }
    // The show's background-music group; null when the show has none.
    virtual const IShowMusicProperties* GetMusicProperties() const { return nullptr; }

    // Undo history: a step is opened, items are recorded, the step is closed or
    // cancelled. BeginUndoStep answers whether a step is now open.
    virtual bool BeginUndoStep(int /*kind*/) { return false; }
    virtual void RecordInsertedObject(TSlideShowObject* /*item*/) {}
    virtual void RecordMoveSource(TSlideShowObject* /*item*/) {}
    virtual void RecordMoveTarget(TSlideShowObject* /*item*/) {}
    virtual void EndUndoStep() {}
    virtual void CancelUndoStep() {}

    // Update list: what the views redraw after a change.
    virtual void AddUpdate(TSlideShowObject* /*item*/, int /*kind*/, uint16_t /*flags*/, const TPath& /*path*/) {}
};

// The settings group of the show an item belongs to; a free item, or a show without its
// group, uses one process-wide group with the default settings.
const TSlideShowProperties& ShowPropertiesOf(const TSlideShowHost* host);
