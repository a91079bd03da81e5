#include "media/MusicPlayList.h"

#include "foundation/FileTools.h"
#include "foundation/SlideShowGlobals.h"
#include "media/SlideShowSoundSystem.h"
#include "platform/AtomicFile.h"
#include "platform/Names.h"
#include "platform/Paths.h"
#include "platform/Stream.h"

#include <algorithm>
#include <filesystem>

GC_IMPLEMENT_CLASS(TMusicPlayListItem, TObject)
GC_IMPLEMENT_CLASS(TMusicPlayList, TObject)
GC_IMPLEMENT_PLUGIN(TMusicProperties, TProperties)

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }


bool ContainsHttp(const AnsiString& s) { return AnsiUpperCase(s).find("HTTP://") != AnsiString::npos; }

// A leading separator or a drive ("C:") makes a path absolute.
bool IsAbsolutePath(const AnsiString& s) {
    if (!s.empty() && IsSeparator(s[0]))
        return true;
    return s.size() >= 2 && s[1] == ':' && ((s[0] >= 'A' && s[0] <= 'Z') || (s[0] >= 'a' && s[0] <= 'z'));
}

AnsiString ExpandFileName(const AnsiString& name) {
    if (IsAbsolutePath(name))
        return name;
    std::error_code ec;
    std::string cwd = std::filesystem::current_path(ec).string();
    if (ec)
        return name;
    return IncludeTrailingBackslash(FromPosixPath(cwd)) + name;
}

std::vector<AnsiString> SplitPath(const AnsiString& path) {
    std::vector<AnsiString> parts;
    AnsiString current;
    for (char c : path) {
        if (IsSeparator(c)) {
            parts.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty())
        parts.push_back(current);
    return parts;
}

// Text lines as a list file holds them: CR LF, LF or CR ends a line; a last line
// without an end still counts.
std::vector<AnsiString> LoadLines(const AnsiString& fileName) {
    TMemoryStream mem;
    mem.LoadFromFile(fileName);
    const auto& bytes = mem.Bytes();
    std::vector<AnsiString> lines;
    AnsiString line;
    for (size_t i = 0; i < bytes.size(); ++i) {
        char c = static_cast<char>(bytes[i]);
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
        } else {
            line += c;
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

// Writes beside the target and renames it into place, so a failed write leaves the old file.
void SaveBytesSafely(const AnsiString& fileName, const std::vector<uint8_t>& bytes) {
    TAtomicFile out(ResolvePath(fileName));
    if (!bytes.empty())
        out.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    try {
        out.Commit();
    } catch (const EWriteError&) {
        throw EFCreateError("Datei kann nicht erstellt werden: " + fileName);
    }
}

}  // namespace

AnsiString ExtractRelativePath(const AnsiString& baseFolder, const AnsiString& targetFolder) {
    std::vector<AnsiString> base = SplitPath(baseFolder);
    std::vector<AnsiString> target = SplitPath(targetFolder);
    // Different roots (drives, or one path relative and one absolute): no relative way.
    if (base.empty() || target.empty() || !AnsiSameText(base[0], target[0]))
        return targetFolder;
    size_t common = 0;
    while (common < base.size() && common < target.size() && AnsiSameText(base[common], target[common]))
        ++common;
    AnsiString result;
    for (size_t i = common; i < base.size(); ++i)
        result += "..\\";
    for (size_t i = common; i < target.size(); ++i) {
        if (!result.empty() && result.back() != '\\')
            result += '\\';
        result += target[i];
    }
    return result;
}

// ---- TMusicPlayListItem ---------------------------------------------------------

TMusicPlayListItem::~TMusicPlayListItem() {
    Close();
    PlayerData.reset();
    FreeVolumeCurve();
}

bool TMusicPlayListItem::SaveToStream(TOKFStream& stream) const {
    try {
        stream.WriteString(FileName);
        stream.WriteCardinal(static_cast<uint32_t>(Volume));
        stream.WriteCardinal(static_cast<uint32_t>(StartPoint));
        stream.WriteCardinal(static_cast<uint32_t>(EndPoint));
        stream.WriteCardinal(static_cast<uint32_t>(FadeInTime));
        stream.WriteCardinal(static_cast<uint32_t>(FadeOutTime));
        stream.WriteCardinal(static_cast<uint32_t>(Gap));
        stream.WriteCardinal(static_cast<uint32_t>(Length));
        stream.WriteCardinal(static_cast<uint32_t>(Delay));
        stream.BeginWriteBlock();
        if (VolumeCurve && VolumeCurve->KeyCount() > 0 && !VolumeCurve->WriteData(stream))
            return false;
        stream.EndWriteBlock();
        stream.BeginWriteBlock();
        stream.EndWriteBlock();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool TMusicPlayListItem::LoadFromStream(TOKFStream& stream, uint32_t contentVersion) {
    try {
        FileName = stream.ReadStringValue();
        if (contentVersion <= kMusicOldRecordVersion) {
            Volume = stream.ReadByteValue();
        } else {
            Volume = static_cast<int32_t>(stream.ReadCardinalValue());
        }
        StartPoint = static_cast<int32_t>(stream.ReadCardinalValue());
        EndPoint = static_cast<int32_t>(stream.ReadCardinalValue());
        FadeInTime = static_cast<int32_t>(stream.ReadCardinalValue());
        FadeOutTime = static_cast<int32_t>(stream.ReadCardinalValue());
        Gap = static_cast<int32_t>(stream.ReadCardinalValue());
        Length = static_cast<int32_t>(stream.ReadCardinalValue());
        if (contentVersion <= kMusicOldRecordVersion)
            return true;
        Delay = static_cast<int32_t>(stream.ReadCardinalValue());
        FreeVolumeCurve();
        uint32_t size = stream.BeginReadBlock();
        if (size > 0) {
            CreateVolumeCurve();
            if (!VolumeCurve->ReadData(stream))
                return false;
        }
        stream.EndReadBlock();
        stream.BeginReadBlock();
        stream.EndReadBlock();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

std::unique_ptr<TMusicPlayListItem> TMusicPlayListItem::Clone() const {
    std::unique_ptr<TMusicPlayListItem> copy = CreateAsOrNew<TMusicPlayListItem>(ClassType());
    copy->Assign(*this);
    return copy;
}

void TMusicPlayListItem::Assign(const TMusicPlayListItem& source) {
    if (&source == this)
        return;
    FileName = source.FileName;
    Volume = source.Volume;
    StartPoint = source.StartPoint;
    EndPoint = source.EndPoint;
    FadeInTime = source.FadeInTime;
    FadeOutTime = source.FadeOutTime;
    Gap = source.Gap;
    Delay = source.Delay;
    Length = source.Length;
    FreeVolumeCurve();
    if (source.VolumeCurve) {
        CreateVolumeCurve();
        VolumeCurve->Assign(*source.VolumeCurve);
    }
}

void TMusicPlayListItem::Open(const AnsiString& fileName) {
    Close();
    Sound = NewSlideShowSound(SoundSystem(), 255);
    // No name: nothing the run may open (the item fails as a missing file does).
    if (!fileName.empty()) {
        FileName = fileName;
        Sound->Open(FileName);
    }
    if (Length < 0)
        Length = Sound->GetLength();
}

void TMusicPlayListItem::Close() {
    if (!Sound)
        return;
    if (TSoundSystem* system = SoundSystem()) {
        system->MusicList->Remove(Sound.get());
        system->ObjectList->Remove(Sound.get());
    }
    Sound.reset();
}

int TMusicPlayListItem::GetLength() const {
    if (Length >= 0)
        return Length;
    if (Sound) {
        int length = Sound->GetLength();
        return length == -1 ? Length : length;
    }
    return Length == -2 ? -1 : Length;
}

int TMusicPlayListItem::GetPlayDuration() const {
    int length = GetLength();
    if (length == -1)
        return EndPoint == 0 ? -1 : EndPoint - StartPoint;
    return (EndPoint != 0 ? EndPoint : length) - StartPoint;
}

void TMusicPlayListItem::CreateVolumeCurve() {
    if (!VolumeCurve) {
        VolumeCurve = std::make_unique<TTimeToIntegerValue>();
        envelope_.Curve = VolumeCurve.get();
    }
}

void TMusicPlayListItem::FreeVolumeCurve() {
    // A sound that follows the curve must not keep the freed one.
    if (Sound && Sound->EnvelopeCurve == &envelope_)
        Sound->SetEnvelopeCurve(nullptr);
    envelope_.Curve = nullptr;
    VolumeCurve.reset();
}

ISlideShowSound* TMusicPlayListItem::GetSound() const { return Sound.get(); }

// ---- TMusicPlayList ----------------------------------------------------------------

TMusicPlayList::~TMusicPlayList() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    Items.clear();
}

TMusicPlayListItem* TMusicPlayList::Item(int index) const {
    if (index < 0 || index >= Count())
        return nullptr;
    return Items[static_cast<size_t>(index)].get();
}

int TMusicPlayList::Add(std::unique_ptr<TMusicPlayListItem> item) {
    Items.push_back(std::move(item));
    return Count() - 1;
}

void TMusicPlayList::Delete(int index) {
    if (index >= 0 && index < Count())
        Items.erase(Items.begin() + index);
}

void TMusicPlayList::Clear() { Items.clear(); }

int TMusicPlayList::GetTotalDuration() const {
    int total = 0;
    for (size_t i = 0; i < Items.size(); ++i) {
        if (i > 0)
            total += Items[i - 1]->Gap;
        total += Items[i]->Delay + Items[i]->GetPlayDuration();
    }
    return total;
}

bool TMusicPlayList::LoadFromM3U(const AnsiString& fileName) {
    try {
        std::vector<AnsiString> lines = LoadLines(fileName);
        AnsiString folder = ExtractFilePath(fileName);
        for (size_t i = lines.size(); i-- > 0;) {
            const AnsiString& line = lines[i];
            if (line.size() >= 4 && AnsiUpperCase(line.substr(0, 4)) == "#EXT")
                lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
        }
        for (const AnsiString& line : lines) {
            // A blank line names no file.
            if (line.empty())
                continue;
            auto item = std::make_unique<TMusicPlayListItem>();
            if (ContainsHttp(line) || IsAbsolutePath(line))
                item->FileName = line;
            else
                item->FileName = folder + line;
            Add(std::move(item));
        }
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool TMusicPlayList::SaveToM3U(const AnsiString& fileName) {
    try {
        AnsiString folder = IncludeTrailingBackslash(ExtractFilePath(ExpandFileName(fileName)));
        AnsiString text = "#EXTM3U\r\n";
        for (const auto& item : Items) {
            // An address is no file: it is written as it stands.
            if (ContainsHttp(item->FileName)) {
                text += item->FileName + "\r\n";
                continue;
            }
            AnsiString relative = ExtractRelativePath(folder, ExtractFilePath(item->FileName));
            if (!relative.empty() && !IsSeparator(relative.back()))
                relative += '\\';
            text += relative + ExtractFileName(item->FileName) + "\r\n";
        }
        SaveBytesSafely(fileName, std::vector<uint8_t>(text.begin(), text.end()));
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void TMusicPlayList::WriteItems(TOKFStream& stream) const {
    stream.WriteCardinal(static_cast<uint32_t>(Items.size()));
    stream.BeginWriteBlock();
    for (const auto& item : Items)
        if (!item->SaveToStream(stream))
            throw EWriteError("Eintrag der Playliste kann nicht geschrieben werden");
    stream.EndWriteBlock();
}

void TMusicPlayList::ReadItems(TOKFStream& stream, uint32_t contentVersion) {
    uint32_t count = stream.ReadCardinalValue();
    stream.BeginReadBlock();
    for (uint32_t i = 0; i < count; ++i) {
        auto item = std::make_unique<TMusicPlayListItem>();
        // A damaged record ends the list; the items before it stay.
        if (!item->LoadFromStream(stream, contentVersion))
            throw EReadError("Eintrag der Playliste kann nicht gelesen werden");
        Add(std::move(item));
    }
    stream.EndReadBlock();
}

void TMusicPlayList::SaveToOKF(TOKFStream& stream) const {
    int64_t start = stream.BeginChunk();
    WriteItems(stream);
    stream.EndChunk(start, kMusicPlayListChunkType);
}

bool TMusicPlayList::LoadFromOKF(TOKFStream& stream) {
    // Another kind of file is no play list: loading nothing from it is no success.
    if (stream.Header.FileType != kMusicPlayListFileType || stream.Header.ContentVersion > kMusicPlayListFileVersion)
        return false;
    stream.SeekToFirstChunk();
    while (!stream.Eof()) {
        int64_t start = stream.GetPosition();
        TChunkHeader chunk;
        stream.ReadChunkHeader(chunk);
        // Play-list files hold the items in the form this program writes.
        if (chunk.ChunkType == kMusicPlayListChunkType)
            ReadItems(stream, kMusicCurrentRecordVersion);
        stream.SetPosition(start + chunk.Size);
    }
    return true;
}

bool TMusicPlayList::SaveToFile(const AnsiString& fileName) {
    try {
        TMemoryStream mem;
        {
            TOKFStream out(&mem, okfCreate);
            out.InitHeader(kMusicPlayListFileType);
            out.Header.ContentVersion = kMusicPlayListFileVersion;
            out.WriteHeader();
            SaveToOKF(out);
            out.Close();
        }
        SaveBytesSafely(fileName, mem.Bytes());
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool TMusicPlayList::LoadFromFile(const AnsiString& fileName) {
    try {
        TOKFFile in(fileName, okfRead);
        // Read into a copy first, so a damaged file adds nothing.
        TMusicPlayList loaded;
        if (!loaded.LoadFromOKF(in)) return false;
        for (auto& item : loaded.Items)
            Add(std::move(item));
        loaded.Items.clear();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void TMusicPlayList::Assign(const TMusicPlayList& source) {
    if (&source == this)
        return;
    Clear();
    for (const auto& item : source.Items)
        Add(item->Clone());
}

std::unique_ptr<TMusicPlayList> TMusicPlayList::Clone() const {
    std::unique_ptr<TMusicPlayList> copy = CreateAsOrNew<TMusicPlayList>(ClassType());
    copy->Assign(*this);
    return copy;
}

// ---- TMusicProperties -----------------------------------------------------------------

TMusicProperties::TMusicProperties() : PlayList(std::make_unique<TMusicPlayList>()) {}

TMusicProperties::~TMusicProperties() = default;

AnsiString TMusicProperties::GetEditorFrameClassNames() {
    return TProperties::GetEditorFrameClassNames() + "\r\nTSlideShowPropertiesMusicPropertiesFrame" +
           "\r\nTSlideShowPropertiesMusicEditorFrame";
}

bool TMusicProperties::WriteOwnProperties(TOKFStreamWinTypes& c) const {
    c.WriteBoolean(MusicOn);
    c.WriteBoolean(PlayListOn);
    c.WriteCardinal(static_cast<uint32_t>(EndFadeTime));
    c.WriteBoolean(RepeatPlayList);
    c.WriteCardinal(static_cast<uint32_t>(MusicVolume));
    c.WriteBoolean(FollowShowTime);
    c.WriteCardinal(static_cast<uint32_t>(SoundFadeTime));
    c.WriteCardinal(static_cast<uint32_t>(VolumeDuringSound));
    c.BeginWriteBlock();
    PlayList->WriteItems(c);
    c.EndWriteBlock();
    c.WriteBoolean(LowerObjectSounds);
    return true;
}

bool TMusicProperties::ReadOwnProperties(TOKFStreamWinTypes& c) {
    const uint32_t version = c.Header.ContentVersion;
    MusicOn = c.ReadBooleanValue();
    PlayListOn = c.ReadBooleanValue();
    EndFadeTime = static_cast<int32_t>(c.ReadCardinalValue());
    RepeatPlayList = c.ReadBooleanValue();
    MusicVolume = version <= kMusicOldRecordVersion ? c.ReadByteValue() : static_cast<int32_t>(c.ReadCardinalValue());
    FollowShowTime = c.ReadBooleanValue();
    SoundFadeTime = static_cast<int32_t>(c.ReadCardinalValue());
    VolumeDuringSound = static_cast<int32_t>(c.ReadCardinalValue());
    c.BeginReadBlock();
    PlayList->Clear();
    PlayList->ReadItems(c, version);
    c.EndReadBlock();
    LowerObjectSounds = c.ReadBooleanValue();
    return true;
}

bool TMusicProperties::HasMusic() const { return MusicOn && PlayListOn && PlayList->Count() > 0; }

void TMusicProperties::SetSlideShow(TSlideShow* show) { Show = show; }

AnsiString TMusicProperties::Resolved(const AnsiString& name) const {
    if (!Show)
        return name;
    return Show->FileToOpen(name);
}

int32_t TMusicProperties::QueryInterface(const TGUID& iid, void** obj) {
    if (iid == IID_IFileReferences) {
        *obj = static_cast<IFileReferences*>(this);
        _AddRef();
        return S_OK;
    }
    return TProperties::QueryInterface(iid, obj);
}

std::vector<AnsiString> TMusicProperties::GetFileNames() const {
    std::vector<AnsiString> names;
    for (const auto& item : PlayList->Items)
        names.push_back(item->FileName);
    return names;
}

std::vector<AnsiString> TMusicProperties::GetResolvedFileNames() const {
    std::vector<AnsiString> names;
    for (const auto& item : PlayList->Items)
        names.push_back(Resolved(item->FileName));
    return names;
}

void TMusicProperties::ReplaceFileName(const AnsiString& oldName, const AnsiString& newName) {
    for (const auto& item : PlayList->Items)
        if (item->FileName == oldName || (Show && Resolved(item->FileName) == oldName))
            item->FileName = newName;
}

namespace MusicPlayListUnit {

void Initialize() {
    if (Plugins)
        Plugins->Register<TMusicProperties>();
}

void Finalize() {
    if (Plugins)
        Plugins->Unregister<TMusicProperties>();
}

}  // namespace MusicPlayListUnit
