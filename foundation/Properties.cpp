#include "foundation/Properties.h"

#include "foundation/PropertyDialog.h"
#include "platform/Names.h"

uint32_t ShowFileType = kSlideShowFileType;
uint32_t ShowFileVersion = kSlideShowContentVersion;

GC_IMPLEMENT_PLUGIN(TProperties, TInterfacedPlugin)
GC_IMPLEMENT_CLASS(TPropertiesList, TObject)

namespace {

// Closes the read blocks a failed reader left open, so that the container's limits are
// those of the caller again.
void RestoreReadDepth(TOKFStreamWinTypes& c, int depth) {
    while (c.ReadBlockDepth() > depth) {
        try {
            c.EndReadBlock();
        } catch (...) {
            return;
        }
    }
}

// The stored form with the given id and version, or false.
bool WriteForm(const TProperties& p, TMemoryStream& out, uint32_t fileType, uint32_t contentVersion) {
    return p.SaveToStream(out, fileType, contentVersion);
}

// Reads into p directly (no copy); raises what the reader raises.
bool ReadFormDirect(TProperties& p, TMemoryStream& in, uint32_t fileType, uint32_t contentVersion) {
    in.SetPosition(0);
    TOKFStreamWinTypes c(&in, okfRaw);
    c.Header.FileType = fileType;
    c.Header.ContentVersion = contentVersion;
    return p.ReadProperties(c);
}

}  // namespace

AnsiString EditorFrameClassNames(const ClassInfo& propertiesClass) {
    return ClassFunctionsOf<TProperties>(propertiesClass).GetEditorFrameClassNames();
}

void TProperties::Assign(const TPlugin& source) {
    const auto* src = dynamic_cast<const TProperties*>(&source);
    if (!src || src == this) return;
    TMemoryStream from, before;
    if (!WriteForm(*src, from, ShowFileType, ShowFileVersion)) return;
    // What we hold now, to go back to when the source's form does not read.
    const bool haveBefore = WriteForm(*this, before, ShowFileType, ShowFileVersion);
    auto restore = [&] {
        if (!haveBefore) return;
        try {
            ReadFormDirect(*this, before, ShowFileType, ShowFileVersion);
        } catch (...) {
            // Our own form always reads back; nothing more can be done here.
        }
    };
    bool ok = false;
    try {
        ok = ReadFormDirect(*this, from, ShowFileType, ShowFileVersion);
    } catch (...) {
        restore();
        throw;
    }
    if (!ok) restore();
}

bool TProperties::WriteProperties(TOKFStreamWinTypes&) const { return true; }
bool TProperties::ReadProperties(TOKFStreamWinTypes&) { return true; }

bool TProperties::SaveToStream(TStream& stream, uint32_t fileType, uint32_t contentVersion) const {
    try {
        TOKFStreamWinTypes c(&stream, okfRaw);
        c.Header.FileType = fileType;
        c.Header.ContentVersion = contentVersion;
        const bool ok = WriteProperties(c);
        c.Close();
        return ok;
    } catch (const std::exception&) {
        return false;
    }
}

bool TProperties::ReadPropertiesSafely(TOKFStreamWinTypes& c) {
    const int depth = c.ReadBlockDepth();
    bool ok = false;
    try {
        TPluginPtr<TProperties> copy = Clone();
        if (copy) {
            ok = copy->ReadProperties(c);
            if (ok) Assign(*copy);
        }
    } catch (const std::exception&) {
        ok = false;
    }
    RestoreReadDepth(c, depth);
    return ok;
}

bool TProperties::LoadFromStream(TStream& stream, uint32_t fileType, uint32_t contentVersion) {
    try {
        TOKFStreamWinTypes c(&stream, okfRaw);
        c.Header.FileType = fileType;
        c.Header.ContentVersion = contentVersion;
        return ReadPropertiesSafely(c);
    } catch (const std::exception&) {
        return false;
    }
}

bool TProperties::SaveToRegistry(TRegistry& registry, const AnsiString& valueName, uint32_t fileType,
                                 uint32_t contentVersion) const {
    TMemoryStream m;
    if (!SaveToStream(m, fileType, contentVersion)) return false;
    const auto& b = m.Bytes();
    if (b.size() > static_cast<size_t>(INT32_MAX)) return false;
    try {
        registry.WriteBinaryData(valueName, b.data(), static_cast<int>(b.size()));
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool TProperties::LoadFromRegistry(TRegistry& registry, const AnsiString& valueName, uint32_t fileType,
                                   uint32_t contentVersion) {
    if (!registry.ValueExists(valueName)) return false;
    std::vector<uint8_t> bytes;
    try {
        bytes = registry.ReadBinary(valueName);
    } catch (const std::exception&) {
        return false;
    }
    TMemoryStream m(std::move(bytes));
    return LoadFromStream(m, fileType, contentVersion);
}

TPluginPtr<TProperties> TProperties::Clone() const {
    TPluginPtr<TProperties> copy = CreateAs<TProperties, TPluginDeleter>(ClassType());
    if (!copy) return nullptr;
    copy->Assign(*this);
    return copy;
}

void TProperties::Reset() {
    if (TPluginPtr<TProperties> fresh = CreateAs<TProperties, TPluginDeleter>(ClassType())) Assign(*fresh);
}

std::vector<const ClassInfo*> TProperties::GetEditorFrameClasses() const {
    std::vector<const ClassInfo*> list = CreateEditorFrameClassList();
    if (!list.empty()) return list;
    const AnsiString names = EditorFrameClassNames(ClassType());
    size_t i = 0;
    while (i < names.size()) {
        size_t j = names.find("\r\n", i);
        if (j == AnsiString::npos) j = names.size();
        const AnsiString name = names.substr(i, j - i);
        if (const ClassInfo* cls = FindClass(name))
            if (cls->InheritsFrom(TPropertyEditorFrame::StaticClassInfo())) list.push_back(cls);
        i = j + 2;
    }
    return list;
}

const ClassInfo* TProperties::GetEditorFrameClass() const {
    const std::vector<const ClassInfo*> list = GetEditorFrameClasses();
    return list.empty() ? nullptr : list.front();
}

AnsiString TProperties::GetEditorCaption() const {
    const ClassInfo* frame = GetEditorFrameClass();
    return frame ? PluginCaption(*frame) : AnsiString();
}

bool TProperties::Edit(const AnsiString& caption, int option, int frameIndex) {
    const std::vector<const ClassInfo*> frames = GetEditorFrameClasses();
    if (frameIndex < 0 || static_cast<size_t>(frameIndex) >= frames.size()) return false;
    IPropertyDialogHost* host = GetPropertyDialogHost();
    if (!host) return false;
    TPluginPtr<TProperties> copy = Clone();
    if (!copy) return false;
    TPluginPtr<TPropertyEditorFrame> frame =
        CreateAs<TPropertyEditorFrame, TPluginDeleter>(*frames[static_cast<size_t>(frameIndex)]);
    if (!frame) return false;
    frame->SetOption(option);
    frame->SetProperties(copy.get());
    frame->ShowValues();
    const bool ok = host->ShowModal(caption.empty() ? AnsiString("Einstellungen") : caption, *frame);
    frame.reset();  // it points at the copy
    if (ok) Assign(*copy);
    return ok;
}

// ---------------------------------------------------------------------------------

TPropertiesListItem::~TPropertiesListItem() {
    if (OwnsInstance) TPluginDeleter()(Instance);
}

TPropertiesList::~TPropertiesList() { Clear(); }

void TPropertiesList::Clear() {
    // Last first, as an object list frees its items.
    while (!items_.empty()) items_.pop_back();
}

TPropertiesListItem* TPropertiesList::FindItemByClass(const ClassInfo& cls) const {
    for (const auto& item : items_)
        if (item->Instance && &item->Instance->ClassType() == &cls) return item.get();
    return nullptr;
}

TPropertiesListItem* TPropertiesList::FindItemByClassName(std::string_view name) const {
    for (const auto& item : items_)
        if (item->Instance && SameText(item->Instance->ClassType().Name, name)) return item.get();
    return nullptr;
}

TProperties* TPropertiesList::GetPropertiesByClass(const ClassInfo& cls) const {
    TPropertiesListItem* item = FindItemByClass(cls);
    return item ? item->Instance : nullptr;
}

TProperties* TPropertiesList::GetPropertiesByClassName(std::string_view name) const {
    TPropertiesListItem* item = FindItemByClassName(name);
    return item ? item->Instance : nullptr;
}

TProperties* TPropertiesList::Add(int32_t key, const ClassInfo& cls, const AnsiString& name, bool ownsInstance) {
    TProperties* props = CreateAs<TProperties>(cls).release();
    if (!props) return nullptr;
    return AddInstance(key, props, name, ownsInstance);
}

TProperties* TPropertiesList::AddInstance(int32_t key, TProperties* instance, const AnsiString& name,
                                          bool ownsInstance) {
    items_.push_back(std::make_unique<TPropertiesListItem>(key, instance, name, ownsInstance));
    return instance;
}

void TPropertiesList::SetNameByClass(const ClassInfo& cls, const AnsiString& name) {
    if (TPropertiesListItem* item = FindItemByClass(cls)) item->Name = name;
}

void TPropertiesList::SetNameByClassName(std::string_view className, const AnsiString& name) {
    if (TPropertiesListItem* item = FindItemByClassName(className)) item->Name = name;
}

void TPropertiesList::ResetAll() {
    for (const auto& item : items_)
        if (item->Instance) item->Instance->Reset();
}

void TPropertiesList::AssignFrom(const TPropertiesList& other, bool clearA, bool clearB) {
    if (&other == this) return;
    if (clearA && clearB) Clear();
    for (const auto& src : other.items_) {
        if (!src->Instance) continue;
        try {
            const ClassInfo& cls = src->Instance->ClassType();
            TProperties* target = GetPropertiesByClass(cls);
            if (!target) target = Add(src->Key, cls, src->Name, true);
            if (target) target->Assign(*src->Instance);
        } catch (const std::exception&) {
            // One settings group that does not copy must not stop the others.
        }
    }
}

bool TPropertiesList::SaveToRegistry(const AnsiString& key, HKEY rootKey, uint32_t fileType,
                                     uint32_t contentVersion) {
    TRegistry reg;
    reg.RootKey = rootKey;
    if (!reg.OpenKey(key, true)) return false;
    bool all = true;
    for (const auto& item : items_)
        if (!item->Instance ||
            !item->Instance->SaveToRegistry(reg, item->Instance->ClassName(), fileType, contentVersion))
            all = false;
    return all;
}

bool TPropertiesList::LoadFromRegistry(const AnsiString& key, HKEY rootKey, uint32_t fileType,
                                       uint32_t contentVersion) {
    TRegistry reg(KEY_READ);
    reg.RootKey = rootKey;
    if (!reg.OpenKeyReadOnly(key)) return false;
    std::vector<AnsiString> names;
    reg.GetValueNames(names);
    for (const AnsiString& name : names)
        if (TProperties* p = GetPropertiesByClassName(name)) p->LoadFromRegistry(reg, name, fileType, contentVersion);
    return true;
}

bool TPropertiesList::SaveToStream(TOKFStreamWinTypes& c) {
    bool all = true;
    try {
        for (const auto& item : items_) {
            if (!item->Instance) continue;
            const int64_t start = c.BeginChunk();
            c.WriteString(item->Instance->ClassName());
            c.BeginWriteBlock();
            if (!item->Instance->WriteProperties(c)) all = false;
            c.EndWriteBlock();
            c.EndChunk(start, kPropertiesChunkType);
        }
    } catch (const std::exception&) {
        return false;
    }
    return all;
}

bool TPropertiesList::LoadFromStream(TOKFStreamWinTypes& c) {
    try {
        const uint32_t count = c.ChunkCount;
        for (uint32_t i = 0; i < count; ++i) {
            const int64_t start = c.GetPosition();
            TChunkHeader h;
            c.ReadChunkHeader(h);
            const int64_t end = start + h.Size;
            if (h.ChunkType == kPropertiesChunkType) {
                const int depth = c.ReadBlockDepth();
                try {
                    const AnsiString name = c.ReadStringValue();
                    if (TProperties* p = GetPropertiesByClassName(name)) {
                        c.BeginReadBlock();
                        p->ReadPropertiesSafely(c);
                    }
                } catch (const std::exception&) {
                    // A damaged chunk: its group keeps its values, the others still load.
                }
                RestoreReadDepth(c, depth);
            }
            c.SetPosition(end);
        }
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

bool TPropertiesList::LoadFromFileStream(TStream& stream, uint32_t fileType, uint32_t contentVersion) {
    TOKFStreamWinTypes c(&stream, okfRead);  // a bad magic raises, as for any container file
    // File type 0 keeps the type read from the header: any container file loads.
    if (fileType != 0) c.Header.FileType = fileType;
    if (contentVersion != 0) c.Header.ContentVersion = contentVersion;
    return LoadFromStream(c);
}

bool TPropertiesList::LoadFromFile(const AnsiString& fileName, uint32_t fileType, uint32_t contentVersion) {
    TFileStream f(fileName, fmOpenRead | fmShareDenyWrite);
    return LoadFromFileStream(f, fileType, contentVersion);
}

bool TPropertiesList::SaveToFile(const AnsiString& fileName) {
    try {
        TMemoryStream m;
        {
            TOKFStreamWinTypes c(&m, okfCreate);
            c.Header.FileType = kPropertiesFileType;
            c.Header.ContentVersion = kPropertiesFileVersion;
            if (!SaveToStream(c)) return false;
            c.Close();
        }
        m.SaveToFile(fileName);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}
