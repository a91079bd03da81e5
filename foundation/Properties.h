// Settings objects: groups of settings that store themselves as nested blocks in a
// container, copy and reset themselves through that stored form, live as binary
// registry values, and edit themselves in the property dialog. TPropertiesList keeps
// a keyed list of them and stores it as chunks, as a settings file or as a registry key.
#pragma once

#include "foundation/OKFStreamWinTypes.h"
#include "foundation/Plugins.h"
#include "platform/Registry.h"
#include "platform/Stream.h"

#include <cstdint>
#include <memory>
#include <vector>

// The show document's format id and content version.
constexpr uint32_t kSlideShowFileType = 0x501;        // 1281
constexpr uint32_t kSlideShowContentVersion = 0x305;  // 773

// The format id and version that settings copies stamp on their temporary streams,
// and that the show, list and item writers use. They start at the values the program
// entry sets, so that copies made before it read their own layout.
extern uint32_t ShowFileType;
extern uint32_t ShowFileVersion;

constexpr uint32_t kPropertiesChunkType = 257;
constexpr uint32_t kPropertiesFileType = 1287;
constexpr uint32_t kPropertiesFileVersion = 256;

struct TPropertiesClassFunctions : TPluginClassFunctions {
    AnsiString (*GetEditorFrameClassNames)() = nullptr;
};

class TProperties : public TInterfacedPlugin {
    GC_DECLARE_CLASS(TProperties)
public:
    using TClassFunctions = TPropertiesClassFunctions;
    template <class T>
    static void FillClassFunctions(TPropertiesClassFunctions& f) {
        TPlugin::FillClassFunctions<T>(f);
        f.GetEditorFrameClassNames = &T::GetEditorFrameClassNames;
    }

    // Copies a settings source through its stored form (ShowFileType/ShowFileVersion);
    // any other source is ignored. A copy that fails part way leaves this object as it
    // was; an exception from the reader is passed on after that.
    void Assign(const TPlugin& source) override;

    // Names of editor frame classes separated by CR LF; the base has none.
    static AnsiString GetEditorFrameClassNames() { return AnsiString(); }
    // Frame classes given directly; the base gives none, and then the names count.
    virtual std::vector<const ClassInfo*> CreateEditorFrameClassList() const { return {}; }

    // The stored form: the base writes and reads nothing. Subclasses derive from
    // TPropertiesBlock (below), which keeps the order of the levels right.
    virtual bool WriteProperties(TOKFStreamWinTypes& container) const;
    virtual bool ReadProperties(TOKFStreamWinTypes& container);

    // The stored form at the stream's position. The id and version reach the reader and
    // writer but are not stored. A load that fails (False or a damaged stream) returns
    // False and leaves this object unchanged.
    bool SaveToStream(TStream& stream, uint32_t fileType, uint32_t contentVersion) const;
    bool LoadFromStream(TStream& stream, uint32_t fileType, uint32_t contentVersion);
    // Reads this object's levels from container into a copy and takes them over only
    // when the whole read worked; the container's open read blocks are as before.
    bool ReadPropertiesSafely(TOKFStreamWinTypes& container);

    // One binary value holding the stored form.
    bool SaveToRegistry(TRegistry& registry, const AnsiString& valueName, uint32_t fileType,
                        uint32_t contentVersion) const;
    // False (object unchanged) when the value is missing, of another type or damaged.
    bool LoadFromRegistry(TRegistry& registry, const AnsiString& valueName, uint32_t fileType,
                          uint32_t contentVersion);

    // A new instance of the same class with this object's settings.
    TPluginPtr<TProperties> Clone() const;
    template <class T>
    TPluginPtr<T> CloneAs() const {
        TPluginPtr<TProperties> c = Clone();
        T* t = dynamic_cast<T*>(c.get());
        if (!t) return nullptr;
        c.release();
        return TPluginPtr<T>(t);
    }
    // Back to the defaults of a new instance.
    void Reset();

    // Frame classes: the given list, else every name of GetEditorFrameClassNames that
    // the class registry knows as an editor frame class.
    std::vector<const ClassInfo*> GetEditorFrameClasses() const;
    const ClassInfo* GetEditorFrameClass() const;
    AnsiString GetEditorCaption() const;
    // Edits a copy in the property dialog with frame frameIndex; OK copies it back.
    // False without showing anything when the index names no frame class or no dialog
    // host is installed. An empty caption becomes "Einstellungen".
    bool Edit(const AnsiString& caption, int option, int frameIndex);
};

// The frame names of a settings class reference, without an instance.
AnsiString EditorFrameClassNames(const ClassInfo& propertiesClass);

// Base of every settings class with fields: it writes the inherited levels first and
// then this level's fields in a block of its own, and reads them the same way, so no
// subclass can get the order or the nesting wrong. A class declares
//
//   class TFoo : public TPropertiesBlock<TFoo, TParent> {
//       GC_DECLARE_CLASS(TFoo)
//   public:
//       bool WriteOwnProperties(TOKFStreamWinTypes& c) const;  // this level only
//       bool ReadOwnProperties(TOKFStreamWinTypes& c);
//   };
//
// and GC_IMPLEMENT_PLUGIN(TFoo, TParent) in its .cpp. Readers may look at
// c.Header.FileType and c.Header.ContentVersion to know which fields a stream holds;
// fields a newer writer added after them are skipped with the block.
template <class Self, class Parent>
class TPropertiesBlock : public Parent {
public:
    bool WriteProperties(TOKFStreamWinTypes& c) const override {
        if (!Parent::WriteProperties(c)) return false;
        c.BeginWriteBlock();
        const bool ok = static_cast<const Self*>(this)->Self::WriteOwnProperties(c);
        c.EndWriteBlock();
        return ok;
    }
    bool ReadProperties(TOKFStreamWinTypes& c) override {
        if (!Parent::ReadProperties(c)) return false;
        c.BeginReadBlock();
        const bool ok = static_cast<Self*>(this)->Self::ReadOwnProperties(c);
        c.EndReadBlock();
        return ok;
    }
};

// ---------------------------------------------------------------------------------

struct TPropertiesListItem {
    TPropertiesListItem(int32_t key, TProperties* instance, const AnsiString& name, bool ownsInstance)
        : Key(key), Instance(instance), Name(name), OwnsInstance(ownsInstance) {}
    ~TPropertiesListItem();
    TPropertiesListItem(const TPropertiesListItem&) = delete;
    TPropertiesListItem& operator=(const TPropertiesListItem&) = delete;

    int32_t Key;
    TProperties* Instance;
    AnsiString Name;
    bool OwnsInstance;
};

class TPropertiesList : public TObject {
    GC_DECLARE_CLASS(TPropertiesList)
public:
    TPropertiesList() = default;
    ~TPropertiesList() override;
    TPropertiesList(const TPropertiesList&) = delete;
    TPropertiesList& operator=(const TPropertiesList&) = delete;

    int GetCount() const { return static_cast<int>(items_.size()); }
    TPropertiesListItem* GetItem(int index) const { return items_.at(static_cast<size_t>(index)).get(); }
    void Clear();

    // The first item whose instance is of exactly that class / has that class name.
    virtual TPropertiesListItem* FindItemByClass(const ClassInfo& cls) const;
    virtual TPropertiesListItem* FindItemByClassName(std::string_view name) const;
    virtual TProperties* GetPropertiesByClass(const ClassInfo& cls) const;
    virtual TProperties* GetPropertiesByClassName(std::string_view name) const;
    template <class T>
    T* Get() const { return dynamic_cast<T*>(GetPropertiesByClass(T::StaticClassInfo())); }

    // A new instance through the class's virtual constructor, appended; null when cls
    // is no settings class.
    virtual TProperties* Add(int32_t key, const ClassInfo& cls, const AnsiString& name, bool ownsInstance);
    virtual TProperties* AddInstance(int32_t key, TProperties* instance, const AnsiString& name, bool ownsInstance);
    virtual void SetNameByClass(const ClassInfo& cls, const AnsiString& name);
    virtual void SetNameByClassName(std::string_view className, const AnsiString& name);
    virtual void ResetAll();
    // Emptied first only with both flags; then every item of other is assigned into the
    // instance of the same class, added (owned) when missing. A failing item is skipped.
    virtual void AssignFrom(const TPropertiesList& other, bool clearA, bool clearB);

    // One binary value per item named by its class. True only when every item was
    // written.
    virtual bool SaveToRegistry(const AnsiString& key, HKEY rootKey, uint32_t fileType, uint32_t contentVersion);
    // Every value whose name is the class of an item loads into it; a value that does
    // not load leaves its item unchanged and the others still load. True when the key
    // opened.
    virtual bool LoadFromRegistry(const AnsiString& key, HKEY rootKey, uint32_t fileType, uint32_t contentVersion);
    // One chunk of type 257 per item: the class name, then a block with its levels.
    virtual bool SaveToStream(TOKFStreamWinTypes& container);
    // ChunkCount chunks from the current position; unknown classes and chunk types are
    // skipped. False when the container is damaged (items read before stay read).
    virtual bool LoadFromStream(TOKFStreamWinTypes& container);
    // A settings file: header type 1287 and version 256, then the chunks. A fileType
    // other than 0 replaces the header's for the readers, as a contentVersion other than
    // 0 does; with 0 the file must be of type 1287, else the result is False. A file
    // without the container's magic raises EOKFError.
    virtual bool LoadFromFile(const AnsiString& fileName, uint32_t fileType, uint32_t contentVersion);
    // LoadFromFile on a stream that holds a settings file.
    bool LoadFromFileStream(TStream& stream, uint32_t fileType, uint32_t contentVersion);
    // Writes the whole file beside the target and renames it into place. False (the old
    // file untouched) when anything fails.
    virtual bool SaveToFile(const AnsiString& fileName);

private:
    std::vector<std::unique_ptr<TPropertiesListItem>> items_;
};
