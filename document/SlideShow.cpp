#include "document/SlideShow.h"

#include "document/UndoHistory.h"
#include "foundation/SlideShowGlobals.h"
#include "foundation/Startup.h"
#include "platform/Random.h"

#include <algorithm>
#include <limits>

GC_IMPLEMENT_CLASS(TSlideShow, TObject)

namespace {

// The name of the music settings group, which the media layer registers.
constexpr const char* kMusicPropertiesClass = "TMusicProperties";
// Keys of the list's groups: the show's own, and those plug-ins add.
constexpr int32_t kShowGroupKey = 0;
constexpr int32_t kPluginGroupKey = 1;

TSlideShowObjectList* ChildList(TSlideShowObject* item) {
    ICollection* c = Supports<ICollection>(item);
    return c ? c->GetChildList() : nullptr;
}

// Every plug-in that adds a settings group to each show.
void AddPluginGroups(TPropertiesList& list) {
    if (!Plugins) return;
    std::unique_ptr<TPlugins> subset = Plugins->SubsetOf(TPropertyGroupPlugin::StaticClassInfo());
    if (!subset) return;
    for (int i = 0; i < subset->GetCount(); ++i) {
        TPluginListItem* entry = subset->GetItem(i);
        auto* group = dynamic_cast<IPropertyGroupPlugin*>(entry->GetInstance());
        if (!group) continue;
        const ClassInfo& cls = group->GetPropertiesClass();
        list.Add(kPluginGroupKey, cls, group->GetPropertyGroupName(), true);
    }
}

void ShuffleList(TSlideShowObjectList& list) {
    std::vector<TSlideShowObject*> pool;
    for (int i = 0; i < list.Count(); ++i) pool.push_back(list.GetItem(i));
    while (!pool.empty()) {
        const int k = Random(static_cast<int32_t>(pool.size()));
        TSlideShowObject* item = pool[static_cast<size_t>(k)];
        list.Move(list.IndexOf(item), 0);
        if (TSlideShowObjectList* c = ChildList(item)) ShuffleList(*c);
        pool.erase(pool.begin() + k);
    }
}

void RenumberList(TSlideShowObjectList& list) {
    list.Renumber(0);
    for (int i = 0; i < list.Count(); ++i)
        if (TSlideShowObjectList* c = ChildList(list.GetItem(i))) RenumberList(*c);
}

}  // namespace

// ---- update list ----

void TUpdateList::Add(TSlideShowObject* object, uint8_t kind, int32_t data, uint16_t flags, const TPath& path) {
    auto r = std::make_unique<TUpdateItem>();
    r->Object = object;
    r->Kind = kind;
    r->Data = data;
    r->Flags = flags;
    r->Path.Assign(path);
    records_.push_back(std::move(r));
}

void TUpdateList::Clear() {
    while (!records_.empty()) records_.pop_back();
}

// ---- links ----

TSlideShowObjectLink* TSlideShowObjectLinkList::Get(int i) const {
    if (i < 0 || i >= Count()) return nullptr;
    return links_[static_cast<size_t>(i)].get();
}

int TSlideShowObjectLinkList::Add(std::unique_ptr<TSlideShowObjectLink> link) {
    links_.push_back(std::move(link));
    return Count() - 1;
}

void TSlideShowObjectLinkList::Insert(int i, std::unique_ptr<TSlideShowObjectLink> link) {
    if (i < 0 || i > Count()) i = Count();
    links_.insert(links_.begin() + i, std::move(link));
}

int TSlideShowObjectLinkList::Remove(TSlideShowObjectLink* link) {
    for (int i = 0; i < Count(); ++i) {
        if (links_[static_cast<size_t>(i)].get() == link) {
            links_.erase(links_.begin() + i);
            return i;
        }
    }
    return -1;
}

void TSlideShowObjectLinkList::Sort() {
    // Compared, never subtracted: keys span the whole 32-bit range.
    std::stable_sort(links_.begin(), links_.end(), [](const auto& a, const auto& b) { return a->Key < b->Key; });
}

void TSlideShowObjectLinkList::Assign(const TSlideShowObjectLinkList& source) {
    if (&source == this) return;
    links_.clear();
    for (const auto& l : source.links_) {
        auto copy = std::make_unique<TSlideShowObjectLink>();
        copy->Key = l->Key;
        copy->Item = l->Item;
        links_.push_back(std::move(copy));
    }
}

// ---- the show ----

TSlideShow::TSlideShow() {
    propertiesList_ = std::make_unique<TPropertiesList>();
    SlideShowProperties = dynamic_cast<TSlideShowProperties*>(
        propertiesList_->Add(kShowGroupKey, TSlideShowProperties::StaticClassInfo(), "Lumivor", true));
    if (const ClassInfo* music = FindClass(kMusicPropertiesClass);
        music && music->InheritsFrom(TProperties::StaticClassInfo()))
        MusicProperties = propertiesList_->Add(kShowGroupKey, *music, "Lumivor", true);
    InfoProperties = dynamic_cast<TSlideShowInfoProperties*>(
        propertiesList_->Add(kShowGroupKey, TSlideShowInfoProperties::StaticClassInfo(), "Lumivor", true));
    AddPluginGroups(*propertiesList_);
    AttachGroups();
    rootList_ = std::make_unique<TSlideShowObjectList>(static_cast<TSlideShowHost*>(this));
    links_ = std::make_unique<TSlideShowObjectLinkList>(this);
    updateList_ = std::make_unique<TUpdateList>();
    undoList_ = std::make_unique<TSlideShowUndoList>(this);
}

TSlideShow::~TSlideShow() {
    updateList_->Clear();
    links_.reset();
    rootList_.reset();
    if (auto* m = dynamic_cast<IShowMusicProperties*>(MusicProperties)) m->SetSlideShow(nullptr);
    propertiesList_.reset();
    undoList_.reset();
    updateList_.reset();
}

// The groups that know their show are told which one it is.
void TSlideShow::AttachGroups() {
    if (auto* m = dynamic_cast<IShowMusicProperties*>(MusicProperties)) m->SetSlideShow(this);
    if (LogoProperties) LogoProperties->Owner = this;
}

void TSlideShow::SetFileName(const AnsiString& name) {
    fileName_ = name;
    if (OnFileNameChange) OnFileNameChange(this);
}

void TSlideShow::SetModified(bool value) {
    if (OnBeforeModify) OnBeforeModify(this);
    if (value == modified_) return;
    modified_ = value;
    if (OnModifiedChange) OnModifiedChange(this);
}

void TSlideShow::DoChange() {
    if (updateCount_ == 0 && OnChange) OnChange(this);
}

void TSlideShow::ObjectChanged(TSlideShowObject* sender, uint16_t flags, int32_t data) {
    SetModified(true);
    if (updateCount_ != 0) return;
    updateList_->Add(sender, urChanged, data, flags, sender ? sender->GetPath() : TPath());
    if (OnChange) OnChange(this);
}

int32_t TSlideShow::GetTotalObjectCount() const { return rootList_->GetTotalCount(); }

int32_t TSlideShow::GetDuration() const {
    int64_t d = rootList_->GetEnabledDuration();
    // The player appends the closing fade of the music at the show's end.
    if (auto* m = dynamic_cast<const IShowMusicProperties*>(MusicProperties); m && m->HasMusic())
        d += std::max<int32_t>(m->GetEndFadeTime(), 0);
    return SaturateInt32(d);
}

void TSlideShow::Assign(const TSlideShow& source) {
    if (&source == this) return;
    fileName_ = source.fileName_;
    modified_ = source.modified_;
    propertiesList_->AssignFrom(*source.propertiesList_, true, false);
    // A logo group the source holds arrives as a group of the list: find it by class,
    // so the copy keeps its logo.
    LogoProperties = propertiesList_->Get<TSlideShowLogoProperties>();
    AttachGroups();
    rootList_->Assign(*source.rootList_);
}

std::unique_ptr<TSlideShow> TSlideShow::Clone() const {
    std::unique_ptr<TSlideShow> copy = CreateAs<TSlideShow>(ClassType());
    if (!copy) return nullptr;
    copy->Assign(*this);
    return copy;
}

void TSlideShow::BeginUpdate() { ++updateCount_; }

void TSlideShow::EndUpdate() {
    if (updateCount_ > 0) --updateCount_;
}

void TSlideShow::Renumber() { RenumberList(*rootList_); }

TSlideShowObject* TSlideShow::GetNextObject(const TSlideShowObject* item) const {
    return rootList_->GetNextObject(item);
}

TSlideShowObject* TSlideShow::GetPriorObject(const TSlideShowObject* item) const {
    return rootList_->GetPriorObject(item);
}

void TSlideShow::Shuffle() { ShuffleList(*rootList_); }

// ---- saving ----

bool TSlideShow::SaveToOKF(TOKFStreamWinTypes& stream) {
    try {
        for (int i = 0; i < propertiesList_->GetCount(); ++i) {
            TProperties* group = propertiesList_->GetItem(i)->Instance;
            const int64_t start = stream.BeginChunk();
            stream.WriteString(group->ClassName());
            const bool ok = group->WriteProperties(stream);
            stream.EndChunk(start, kPropertyGroupChunk);
            if (!ok) return false;
        }
        return rootList_->WriteObjects(stream);
    } catch (const std::exception&) {
        return false;
    }
}

bool TSlideShow::SaveToStream(TStream& stream) {
    try {
        TOKFStreamWinTypes c(&stream, okfCreate);
        StampShowFormat(c);
        if (!SaveToOKF(c)) return false;
        c.Close();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool TSlideShow::SaveToFile(const AnsiString& fileName) {
    try {
        DoChange();
        // The whole show is made in memory and written beside the target, then renamed
        // over it: a failure part way leaves the old file as it was.
        TMemoryStream m;
        if (!SaveToStream(m)) return false;
        m.SaveToFile(fileName);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// ---- loading ----

int TSlideShow::LoadFromOKF(TOKFStreamWinTypes& stream) {
    droppedItemCount_ = 0;
    try {
        if (stream.Header.FileType != kSlideShowFileType) return slFailed;
        if (stream.Header.ContentVersion < kSlideShowMinContentVersion) return slTooOld;
        int32_t skip = 0;
        const uint32_t chunks = stream.ChunkCount;
        for (uint32_t i = 0; i < chunks; ++i) {
            const int64_t pos = stream.GetPosition();
            TChunkHeader h;
            stream.ReadChunkHeader(h);
            if (skip > 0) {
                --skip;
            } else if (h.ChunkType == kObjectListChunk) {
                int32_t consumed = 0;
                rootList_->ReadObjects(stream, int64_t(h.Size) - kChunkHeaderSize, TSlideShowObjectList::kAtEnd, {},
                                       consumed);
                droppedItemCount_ = static_cast<int32_t>(std::min<int64_t>(
                    int64_t(droppedItemCount_) + rootList_->DroppedCount(), std::numeric_limits<int32_t>::max()));
                // Framing that cannot be followed: what was read stays, but the show is
                // not whole. A run cut short (by the stream's end or a foreign chunk) is
                // not that: its missing items are counted as dropped and the rest plays.
                if (rootList_->LastReadFailed()) return slFailed;
                skip = consumed;
            } else if (h.ChunkType == kPropertyGroupChunk) {
                const AnsiString className = stream.ReadStringValue();
                if (TProperties* group = propertiesList_->GetPropertiesByClassName(className)) {
                    // A group that does not read keeps its values, and the show is damaged.
                    if (!group->ReadPropertiesSafely(stream)) return slFailed;
                }
            }
            // 0x403 thumbnails, groups without an entry and unknown chunks are passed over.
            stream.SetPosition(pos + h.Size);
        }
        return slLoaded;
    } catch (const std::exception&) {
        return slFailed;
    }
}

int TSlideShow::LoadFromStream(TStream& stream) {
    TOKFStreamWinTypes c(&stream, okfRead);  // no container at all: its error goes to the caller
    return LoadFromOKF(c);
}

int TSlideShow::LoadFromFile(const AnsiString& fileName) {
    // A show is parsed field by field: one read of the whole file instead of a read per
    // field (a show of 150 pictures loads in a quarter of the time). A large file (with
    // what it holds inside) is read where it lies.
    constexpr int64_t kReadWholeUpTo = int64_t(16) << 20;
    try {
        TFileStream f(fileName, fmOpenRead | fmShareDenyWrite);
        const int64_t size = f.GetSize();
        int result;
        if (size <= kReadWholeUpTo) {
            std::vector<uint8_t> bytes(static_cast<size_t>(size));
            f.ReadBuffer(bytes.data(), size);
            TMemoryStream whole(std::move(bytes));
            result = LoadFromStream(whole);
        } else {
            result = LoadFromStream(f);
        }
        if (result == slLoaded) SetFileName(fileName);
        return result;
    } catch (const std::exception&) {
        return slFailed;
    }
}

// ---- host services for the items ----

int32_t TSlideShow::GetDefaultDuration() const {
    return SlideShowProperties ? SlideShowProperties->DefaultDuration : 5000;
}

AnsiString TSlideShow::ResolveFileName(const AnsiString& name) const { return GetFileResolver().Resolve(name, fileName_); }

bool TSlideShow::BeginUndoStep(int kind) { return undoList_->BeginStep(AnsiString(), kind); }
void TSlideShow::RecordInsertedObject(TSlideShowObject* item) { undoList_->RecordObject(item, false); }
void TSlideShow::RecordMoveSource(TSlideShowObject* item) { undoList_->BeginMove(item); }
void TSlideShow::RecordMoveTarget(TSlideShowObject* item) { undoList_->EndMove(item); }
void TSlideShow::EndUndoStep() { undoList_->EndStep(); }
void TSlideShow::CancelUndoStep() { undoList_->CancelStep(); }

void TSlideShow::AddUpdate(TSlideShowObject* item, int kind, uint16_t flags, const TPath& path) {
    updateList_->Add(item, static_cast<uint8_t>(kind), 0, flags, path);
}

namespace SlideShowDocument {

void Initialize() { SlideShowProperties::Initialize(); }
void Finalize() { SlideShowProperties::Finalize(); }

}  // namespace SlideShowDocument

void AddSlideShowDocumentModules() {
    AddStartupModule(TStartupStage::Plugins, "SlideShowProperties", SlideShowDocument::Initialize,
                     SlideShowDocument::Finalize);
}
