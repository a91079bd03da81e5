#include "media/SlideShowSoundSystem.h"

#include "foundation/FileTools.h"
#include "foundation/OKFStream.h"
#include "media/SoundSystemProperties.h"
#include "platform/Charset.h"
#include "platform/Names.h"
#include "platform/Paths.h"
#include "platform/ProcessInfo.h"
#include "soundapi/FSoundTypes.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <mutex>

namespace SlideShowSoundSystem {
GC_IMPLEMENT_PLUGIN(TSoundSystemProperties, TProperties)
}
GC_IMPLEMENT_CLASS(TSlideShowSound, TObject)
GC_IMPLEMENT_CLASS(TSlideShowSoundList, TObject)
GC_IMPLEMENT_CLASS(TSoundSystem, TObject)
GC_IMPLEMENT_CLASS(TSoundWaveData, TObject)

namespace {

TSoundSystem* gSoundSystem = nullptr;
int gRefCount = 0;
AnsiString gProgramFolder;
std::mutex gWaveLock;

AnsiString ExecutableFolder() { return ExtractFilePath(GetExecutablePath()); }

// The library sees file-system names: program paths are mapped (with the case-insensitive
// fallback), addresses pass as they are.
std::string LibraryFileName(const AnsiString& name) {
    if (name.find("://") != AnsiString::npos)
        return AnsiToUtf8(name);
    return ResolvePath(name);
}

}  // namespace

bool SoundSystemNoSound() { return gSoundSystem && gSoundSystem->Settings->NoSound; }
TSoundSystem* SoundSystem() { return gSoundSystem; }
int SoundSystemRefCount() { return gRefCount; }

AnsiString SoundProgramFolder() {
    if (gProgramFolder.empty())
        gProgramFolder = ExecutableFolder();
    return gProgramFolder;
}

void SetSoundProgramFolder(const AnsiString& folder) {
    gProgramFolder = IncludeTrailingBackslash(folder);
}

bool IsMidiFileName(const AnsiString& fileName) {
    AnsiString ext = AnsiUpperCase(ExtractFileExt(fileName));
    return ext == ".MID" || ext == ".RMI";
}

// ---- TSlideShowSound ----------------------------------------------------------

TSlideShowSound::TSlideShowSound(TFMOD* binding, int volume) : Volume(volume), Binding(binding) {}

TSlideShowSound::~TSlideShowSound() {
    Stop();
    Close();
    // A freed sound must not stay behind in its list.
    if (OwningList)
        OwningList->Remove(this);
}

ISlideShowSoundList* TSlideShowSound::GetOwningList() const { return OwningList; }

bool TSlideShowSound::Open(const AnsiString& fileName) {
    // A second Open would otherwise leave the first stream or song open in the library.
    Close();
    Volume = 255;
    EnvelopeVolume = 255;
    // Nothing to open: the library would take an empty name for the current folder.
    if (fileName.empty()) {
        UpdateCapabilities(fileName);
        return false;
    }
    std::string name = LibraryFileName(fileName);
    try {
        if (Has(Binding->FSOUND_Stream_Open)) {
            Stream = Binding->FSOUND_Stream_Open(name.c_str(), kFSoundStreamOpenMode, 0, 0);
            if (Stream && Has(Binding->FSOUND_Sample_SetMode))
                Binding->FSOUND_Sample_SetMode(Stream, kFSoundStreamSampleMode);
        }
    } catch (...) {
        Stream = nullptr;
    }
    if (!Stream) {
        try {
            if (Has(Binding->FMUSIC_LoadSong))
                Song = Binding->FMUSIC_LoadSong(name.c_str());
        } catch (...) {
            Song = nullptr;
        }
    }
    UpdateCapabilities(fileName);
    return IsOpen();
}

void TSlideShowSound::Close() {
    if (Song) {
        if (Has(Binding->FMUSIC_FreeSong))
            Binding->FMUSIC_FreeSong(Song);
        Song = nullptr;
    }
    if (Stream) {
        if (Has(Binding->FSOUND_Stream_Close))
            Binding->FSOUND_Stream_Close(Stream);
        Stream = nullptr;
    }
    Channel = -1;
}

void TSlideShowSound::Play() {
    if (Song && Has(Binding->FMUSIC_PlaySong)) {
        if (Binding->FMUSIC_PlaySong(Song))
            ApplyVolume();
    }
    if (Stream && Has(Binding->FSOUND_Stream_Play)) {
        Channel = Binding->FSOUND_Stream_Play(kFSoundFreeChannel, Stream);
        ApplyVolume();
    }
}

void TSlideShowSound::Stop() {
    if (Song && Has(Binding->FMUSIC_StopSong))
        Binding->FMUSIC_StopSong(Song);
    if (Stream && Has(Binding->FSOUND_Stream_Stop))
        Binding->FSOUND_Stream_Stop(Stream);
    // A stopped sound is never left paused.
    if (IsPaused())
        Resume();
}

void TSlideShowSound::Pause() {
    if (Song && Has(Binding->FMUSIC_SetPaused))
        Binding->FMUSIC_SetPaused(Song, -1);
    if (Stream && Channel >= 0 && Has(Binding->FSOUND_SetPaused))
        Binding->FSOUND_SetPaused(Channel, -1);
}

void TSlideShowSound::Resume() {
    if (Song && Has(Binding->FMUSIC_SetPaused))
        Binding->FMUSIC_SetPaused(Song, 0);
    if (Stream && Channel >= 0 && Has(Binding->FSOUND_SetPaused))
        Binding->FSOUND_SetPaused(Channel, 0);
}

bool TSlideShowSound::IsOpen() const { return Stream != nullptr || Song != nullptr; }

bool TSlideShowSound::IsPlaying() const {
    if (Stream && Channel >= 0 && Has(Binding->FSOUND_IsPlaying))
        return Binding->FSOUND_IsPlaying(Channel) != 0;
    if (Song && Has(Binding->FMUSIC_IsPlaying))
        return Binding->FMUSIC_IsPlaying(Song) != 0;
    return false;
}

bool TSlideShowSound::IsPaused() const {
    if (Stream && Channel >= 0 && Has(Binding->FSOUND_GetPaused))
        return Binding->FSOUND_GetPaused(Channel) != 0;
    if (Song && Has(Binding->FMUSIC_GetPaused))
        return Binding->FMUSIC_GetPaused(Song) != 0;
    return false;
}

int TSlideShowSound::GetPosition() const {
    if (Stream && Has(Binding->FSOUND_Stream_GetTime))
        return Binding->FSOUND_Stream_GetTime(Stream);
    if (Song && Has(Binding->FMUSIC_GetTime))
        return Binding->FMUSIC_GetTime(Song);
    return 0;
}

void TSlideShowSound::SetPosition(int ms) {
    if (Stream && Has(Binding->FSOUND_Stream_SetTime))
        Binding->FSOUND_Stream_SetTime(Stream, ms);
}

int TSlideShowSound::GetLength() const {
    if (Stream && Has(Binding->FSOUND_Stream_GetLengthMs))
        return Binding->FSOUND_Stream_GetLengthMs(Stream);
    return -1;
}

int TSlideShowSound::GetVolume() const {
    if (Song || (Stream && Channel >= 0))
        return Volume;
    return 0;
}

void TSlideShowSound::SetVolume(int volume) {
    Volume = volume;
    ApplyVolume();
}

void TSlideShowSound::SetEnvelopeVolume(int volume) {
    EnvelopeVolume = volume;
    ApplyVolume();
}

void TSlideShowSound::SetMasterVolume(int volume) {
    MasterVolume = volume;
    ApplyVolume();
}

void TSlideShowSound::ApplyVolume() {
    int v = static_cast<int>(std::nearbyint((MasterVolume / 255.0) * (Volume / 255.0) * EnvelopeVolume));
    if (OwningList && OwningList->Muted)
        v = 0;
    v = std::clamp(v, 0, 255);
    if (Song && Has(Binding->FMUSIC_SetMasterVolume))
        Binding->FMUSIC_SetMasterVolume(Song, v);
    if (Stream && Channel >= 0 && Has(Binding->FSOUND_SetVolume))
        Binding->FSOUND_SetVolume(Channel, v);
}

void TSlideShowSound::UpdateCapabilities(const AnsiString& fileName) {
    Capabilities = kSoundCapOpened;
    if (Stream)
        Capabilities |= kSoundCapStream1 | kSoundCapStream2;
    if (!IsMidiFileName(fileName) && IsOpen())
        Capabilities |= kSoundCapNotMidi3 | kSoundCapNotMidi4;
}

void TSlideShowSound::UpdateEnvelope(int time) {
    if (!EnvelopeCurve || EnvelopeCurve->GetVolumeKeyCount() < 1)
        return;
    int t = EnvelopeStart == -1 ? time : time - EnvelopeStart;
    int v = EnvelopeCurve->GetVolumeAt(t);
    if (v != EnvelopeVolume) {
        EnvelopeVolume = v;
        ApplyVolume();
    }
}

// ---- TSlideShowSoundList ------------------------------------------------------

TSlideShowSoundList::TSlideShowSoundList(bool ownsObjects) : OwnsObjects(ownsObjects) {}

TSlideShowSoundList::~TSlideShowSoundList() { ClearSounds(false); }

int TSlideShowSoundList::Add(ISlideShowSound* sound) {
    return AddSound(dynamic_cast<TSlideShowSound*>(sound));
}

int TSlideShowSoundList::AddSound(TSlideShowSound* sound) {
    if (!sound)
        return -1;
    Items.push_back(sound);
    sound->SetMasterVolume(ListVolume);
    sound->OwningList = this;
    // The master volume was applied before the list was known: muting counts too.
    if (Muted)
        sound->ApplyVolume();
    return static_cast<int>(Items.size()) - 1;
}

void TSlideShowSoundList::Insert(int index, TSlideShowSound* sound) {
    index = std::clamp(index, 0, Count());
    Items.insert(Items.begin() + index, sound);
    if (sound)
        sound->SetMasterVolume(ListVolume);
}

bool TSlideShowSoundList::Remove(ISlideShowSound* sound) {
    auto it = std::find_if(Items.begin(), Items.end(),
                           [sound](TSlideShowSound* s) { return static_cast<ISlideShowSound*>(s) == sound; });
    if (it == Items.end())
        return false;
    TSlideShowSound* s = *it;
    Items.erase(it);
    if (s && s->OwningList == this)
        s->OwningList = nullptr;
    if (OwnsObjects)
        delete s;
    return true;
}

ISlideShowSound* TSlideShowSoundList::GetSound(int index) const { return Item(index); }

TSlideShowSound* TSlideShowSoundList::Item(int index) const {
    if (index < 0 || index >= Count())
        return nullptr;
    return Items[static_cast<size_t>(index)];
}

TSlideShowSound* TSlideShowSoundList::First() const { return Item(0); }
TSlideShowSound* TSlideShowSoundList::Last() const { return Item(Count() - 1); }

void TSlideShowSoundList::SetVolume(int volume) {
    ListVolume = volume;
    ApplyListVolume();
}

void TSlideShowSoundList::SetVolumeFactor(int factor) {
    VolumeFactor = factor;
    ApplyListVolume();
}

void TSlideShowSoundList::SetMuted(bool muted) {
    Muted = muted;
    ApplyListVolume();
}

void TSlideShowSoundList::ApplyListVolume() {
    int m = Muted ? 0 : static_cast<int>(std::nearbyint(ListVolume * (VolumeFactor / 255.0)));
    for (TSlideShowSound* s : Items)
        if (s)
            s->SetMasterVolume(m);
}

void TSlideShowSoundList::StopAll() {
    for (TSlideShowSound* s : Items)
        if (s)
            s->Stop();
}

void TSlideShowSoundList::SetPaused(bool paused) {
    for (TSlideShowSound* s : Items) {
        if (!s)
            continue;
        if (paused)
            s->Pause();
        else
            s->Resume();
    }
}

void TSlideShowSoundList::UpdateAll(int time) {
    for (TSlideShowSound* s : Items)
        if (s)
            s->UpdateEnvelope(time);
}

void TSlideShowSoundList::ClearSounds(bool closeFirst) {
    std::vector<TSlideShowSound*> items;
    items.swap(Items);
    for (TSlideShowSound* s : items) {
        if (!s)
            continue;
        if (closeFirst)
            s->Close();
        if (s->OwningList == this)
            s->OwningList = nullptr;
        if (OwnsObjects)
            delete s;
    }
}

// ---- TSoundSystem -------------------------------------------------------------

TSoundSystem::TSoundSystem()
    : Binding(std::make_unique<TFMOD>()),
      Settings(new SlideShowSoundSystem::TSoundSystemProperties()),
      ObjectList(std::make_unique<TSlideShowSoundList>(false)),
      MusicList(std::make_unique<TSlideShowSoundList>(false)) {}

TSoundSystem::~TSoundSystem() {
    MusicList->ClearSounds(true);
    ObjectList->ClearSounds(true);
    CloseOutput();
}

bool TSoundSystem::Init(bool nonRealtime, const AnsiString& fmodPath) {
    NonRealtime = nonRealtime;
    if (Binding->IsLoaded() && Started)
        return true;
    if (Settings->NoSound) {
        Started = true;
        return false;
    }
    AnsiString path = fmodPath;
    if (path.empty())
        path = SoundProgramFolder() + "fmod.dll";
    else if (path.find_first_of("\\/:") == AnsiString::npos)
        path = SoundProgramFolder() + path;
    if (!Binding->Load(path))
        return false;
    if (!SelectOutput(nonRealtime))
        return false;
    unsigned int flags;
    if (nonRealtime) {
        if (Binding->FSOUND_SetBufferSize)
            Binding->FSOUND_SetBufferSize(kFSoundNonRealtimeBufferSize);
        flags = kFSoundInitNonRealtime;
    } else {
        flags = Settings->StartFlags ? kFSoundInitStartFlag : 0;
    }
    if (Binding->FSOUND_SetMixer)
        Binding->FSOUND_SetMixer(nonRealtime ? kFSoundMixerNonRealtime : kFSoundMixerRealtime);
    if (Binding->FSOUND_SetHWND)
        Binding->FSOUND_SetHWND(nullptr);  // audio needs no window here
    if (Binding->FSOUND_Init && Binding->FSOUND_Init(Settings->MixRate, Settings->ChannelCount, flags))
        Started = true;
    if (Started && Binding->FSOUND_DSP_GetBufferLength && Settings->MixRate > 0)
        Latency = static_cast<int32_t>(
            std::nearbyint(Binding->FSOUND_DSP_GetBufferLength() / static_cast<double>(Settings->MixRate) * 1000.0));
    return Binding->IsLoaded() && Started;
}

bool TSoundSystem::SelectOutput(bool nonRealtime) {
    std::vector<int> candidates;
    const SoundSystemPropertiesUnit::TSoundSystemProperties* user = SoundSystemPropertiesUnit::SoundProperties();
    bool automatic = !user || user->AutomaticOutput;
    if (nonRealtime)
        candidates = {FSOUND_OUTPUT_NOSOUND_NONREALTIME};
    else if (automatic)
        candidates = IsWindowsNT4OrEarlier()
                         ? std::vector<int>{kFSoundOutputAuto, FSOUND_OUTPUT_WINMM, FSOUND_OUTPUT_DSOUND, FSOUND_OUTPUT_NOSOUND}
                         : std::vector<int>{kFSoundOutputAuto, FSOUND_OUTPUT_DSOUND, FSOUND_OUTPUT_WINMM, FSOUND_OUTPUT_NOSOUND};
    else if (user->OutputKind == FSOUND_OUTPUT_WINMM)
        candidates = {FSOUND_OUTPUT_WINMM, FSOUND_OUTPUT_DSOUND, FSOUND_OUTPUT_NOSOUND};
    else if (user->OutputKind == FSOUND_OUTPUT_DSOUND)
        candidates = {FSOUND_OUTPUT_DSOUND, FSOUND_OUTPUT_WINMM, FSOUND_OUTPUT_NOSOUND};
    else
        candidates = {FSOUND_OUTPUT_NOSOUND};
    TriedOutputs.clear();
    if (!Binding->FSOUND_SetOutput || !Binding->FSOUND_SetDriver || !Binding->FSOUND_GetNumDrivers)
        return false;
    for (int output : candidates) {
        TriedOutputs.push_back(output);
        Binding->FSOUND_SetOutput(output);
        if (nonRealtime)
            return true;
        if (Binding->FSOUND_GetNumDrivers() > 0 && Binding->FSOUND_SetDriver(0))
            return true;
    }
    return Binding->FSOUND_SetDriver(-1) != 0;
}

void TSoundSystem::CloseOutput() {
    if (!Binding->IsLoaded())
        return;
    MusicList->ClearSounds(true);
    ObjectList->ClearSounds(true);
    if (!Settings->NoSound) {
        if (Binding->FSOUND_Close)
            Binding->FSOUND_Close();
        Binding->Unload();
    }
    Started = false;
}

bool TSoundSystem::IsActive() const { return Binding->IsLoaded() && Started; }

std::unique_ptr<ISlideShowSound> TSoundSystem::CreateSound(int volume) { return NewSlideShowSound(this, volume); }

std::unique_ptr<TSlideShowSound> NewSlideShowSound(TSoundSystem* system, int volume) {
    if (!system || system->Silent)
        return std::make_unique<TSilentSlideShowSound>(volume);
    return std::make_unique<TSlideShowSound>(system->Binding.get(), volume);
}

void TSoundSystem::StopAll() {
    MusicList->StopAll();
    ObjectList->StopAll();
    if (!Binding->IsLoaded())
        return;
    if (Binding->FMUSIC_StopAllSongs)
        Binding->FMUSIC_StopAllSongs();
    if (Binding->FSOUND_StopSound)
        Binding->FSOUND_StopSound(kFSoundAllChannels);
}

void TSoundSystem::PauseAll() {
    MusicList->SetPaused(true);
    ObjectList->SetPaused(true);
}

void TSoundSystem::ResumeAll() {
    MusicList->SetPaused(false);
    ObjectList->SetPaused(false);
}

// ---- Process-wide start and shutdown ----------------------------------------------

void InitSoundSystem(const TSoundSystemStart& start) {
    if (gSoundSystem && !start.ForceNew) {
        ++gRefCount;
        return;
    }
    ShutdownSoundSystem(start.ForceNew);
    gSoundSystem = new TSoundSystem();
    gSoundSystem->Settings->NoSound = start.Silent;
    if (start.MixRate != 0)
        gSoundSystem->Settings->MixRate = start.MixRate;
    gSoundSystem->Init(start.NonRealtime, start.FmodPath);
    gSoundSystem->Silent = start.Silent || !gSoundSystem->Binding->IsLoaded();
    SetSoundSystem(gSoundSystem);
    ++gRefCount;
}

void ShutdownSoundSystem(bool force) {
    --gRefCount;
    if (gRefCount <= 0 || force) {
        if (gSoundSystem) {
            SetSoundSystem(nullptr);
            delete gSoundSystem;
            gSoundSystem = nullptr;
        }
        gRefCount = 0;
    }
}

TSoundSystemHold::TSoundSystemHold(const TSoundSystemStart& start) { InitSoundSystem(start); }

TSoundSystemHold::~TSoundSystemHold() { ShutdownSoundSystem(false); }

// ---- TSoundWaveData ---------------------------------------------------------------

namespace {

struct TWaveContext {
    int64_t bytes = 0;
    int rate = 4000;
    int64_t length = 0;
    int points = 0;
    uint8_t* data = nullptr;
};

double MixedTime(const TWaveContext& c) { return static_cast<double>(c.bytes) / (c.rate * 4.0) * 1000.0; }

void* PeakCallback(void*, void* newBuffer, int length, void* user) {
    auto* c = static_cast<TWaveContext*>(user);
    const auto* frames = static_cast<const int16_t*>(newBuffer);
    const int n = std::max(length, 0);
    if (c->length <= 0 || c->points <= 0) {
        c->bytes += 4 * static_cast<int64_t>(n);
        return newBuffer;
    }
    int64_t first = static_cast<int64_t>(MixedTime(*c) / c->length * c->points);
    c->bytes += 4 * static_cast<int64_t>(n);
    int64_t last = std::min<int64_t>(c->points,
                                     std::max<int64_t>(first + 1, static_cast<int64_t>(MixedTime(*c) / c->length * c->points)));
    for (int64_t i = first; i < last && n > 0; ++i) {
        double span = static_cast<double>(last - first);
        int64_t stretch = static_cast<int64_t>(std::nearbyint(n / span));
        int64_t start = static_cast<int64_t>(std::nearbyint((i - first) / span * n));
        int lo = 0, hi = 0;
        for (int64_t f = start; f < std::min<int64_t>(start + stretch, n); ++f) {
            for (int ch = 0; ch < 2; ++ch) {
                int v = frames[f * 2 + ch];
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
        }
        int peak = std::abs(hi) >= std::abs(lo) ? hi : lo;
        // A full-scale positive peak rounds to 128, which as a signed byte would read as
        // the loudest negative peak: it stays at 127.
        int value = std::clamp(static_cast<int>(std::nearbyint(peak / 32768.0 * 128.0)), -128, 127);
        c->data[i] = static_cast<uint8_t>(static_cast<int8_t>(value));
    }
    return newBuffer;
}

}  // namespace

void TSoundWaveData::Clear() {
    Data.Clear();
    Points = 0;
    LengthMs = 0;
}

void TSoundWaveData::SetSize(int points) {
    points = std::max(points, 0);
    Data.Clear();
    Data.Bytes().assign(static_cast<size_t>(points), 0);
    Points = points;
}

bool TSoundWaveData::Compute(const AnsiString& fileName, int lengthMs) {
    std::lock_guard<std::mutex> guard(gWaveLock);
    if (IsMidiFileName(fileName))
        return false;
    TSoundSystem system;
    system.Settings->MixRate = 4000;
    system.Init(true, SoundProgramFolder() + "Data\\fmod.dll");
    TFMOD& fmod = *system.Binding;

    TWaveContext context;
    context.rate = system.Settings->MixRate;
    FSoundDSPUnit unit = nullptr;
    if (system.IsActive() && fmod.FSOUND_DSP_Create)
        unit = fmod.FSOUND_DSP_Create(&PeakCallback, 300, &context);
    bool result = false;
    {
        TSlideShowSound sound(&fmod, 255);
        sound.Open(fileName);
        int length = lengthMs != -1 ? lengthMs : sound.GetLength();
        if (length > 0 && unit && sound.IsOpen()) {
            LengthMs = length;
            int points = static_cast<int>(std::min<long long>(
                std::llround(length * 4000.0 / 1000.0),
                std::max<long long>(1000, std::llround(length / 1000.0 * 100.0))));
            SetSize(points);
            context.length = length;
            context.points = points;
            context.data = Data.Bytes().data();
            if (fmod.FSOUND_DSP_SetActive)
                fmod.FSOUND_DSP_SetActive(unit, -1);
            sound.Play();
            // Mix until the mixed time reaches the length. Once the sound has ended the
            // points left stay 0, as silence would give them; a library whose mixed time
            // stops advancing ends the computation instead of spinning forever.
            int stalled = 0;
            bool ended = false;
            while (MixedTime(context) < length && fmod.FSOUND_Update && stalled < 16) {
                int64_t before = context.bytes;
                fmod.FSOUND_Update();
                stalled = context.bytes == before ? stalled + 1 : 0;
                if (!sound.IsPlaying()) {
                    ended = true;
                    break;
                }
            }
            result = ended || MixedTime(context) >= length;
        }
        sound.Close();
    }
    if (unit && fmod.IsLoaded() && fmod.FSOUND_DSP_Free)
        fmod.FSOUND_DSP_Free(unit);
    return result;
}

void TSoundWaveData::WriteData(TOKFStream& stream) {
    stream.BeginWriteBlock();
    stream.WriteCardinal(static_cast<uint32_t>(LengthMs));
    stream.WriteCardinal(static_cast<uint32_t>(Points));
    stream.EndWriteBlock();
    stream.BeginWriteBlock();
    if (!Data.Bytes().empty())
        stream.WriteBuffer(Data.Bytes().data(), static_cast<int64_t>(Data.Bytes().size()));
    stream.EndWriteBlock();
}

void TSoundWaveData::ReadData(TOKFStream& stream) {
    Clear();
    stream.BeginReadBlock();
    int32_t length = static_cast<int32_t>(stream.ReadCardinalValue());
    int32_t points = static_cast<int32_t>(stream.ReadCardinalValue());
    stream.EndReadBlock();
    uint32_t size = stream.BeginReadBlock();
    // The point bytes are the block's content; a count that disagrees takes the block's size.
    std::vector<uint8_t> bytes(size);
    if (size > 0)
        stream.ReadBuffer(bytes.data(), size);
    stream.EndReadBlock();
    LengthMs = length;
    Points = static_cast<int32_t>(bytes.size());
    (void)points;
    Data.Bytes() = std::move(bytes);
}

std::unique_ptr<TSoundWaveData> TSoundWaveData::Clone() const {
    std::unique_ptr<TSoundWaveData> copy = CreateAsOrNew<TSoundWaveData>(ClassType());
    copy->Assign(*this);
    return copy;
}

void TSoundWaveData::Assign(const TSoundWaveData& source) {
    if (&source == this)
        return;
    if (source.Data.Bytes().empty()) {
        Clear();
        return;
    }
    Data.Clear();
    Data.Bytes() = source.Data.Bytes();
    Points = source.Points;
    LengthMs = source.LengthMs;
}

namespace SlideShowSoundSystem {

void Initialize() {
    if (gProgramFolder.empty())
        gProgramFolder = ExecutableFolder();
}

void Finalize() { ShutdownSoundSystem(false); }

}  // namespace SlideShowSoundSystem
