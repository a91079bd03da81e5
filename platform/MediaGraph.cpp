#include "platform/MediaGraph.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

bool IsNull(const TGUID& g) { return g == GUID_NULL; }

// A video media type of bottom-up RGB rows (24 or 32 bits) with a VIDEOINFOHEADER.
TAMMediaType RgbMediaType(int width, int height, int bits, double frameRate) {
    TVideoInfoHeader info;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biBitCount = uint16_t(bits);
    info.bmiHeader.biSizeImage = uint32_t(DIBRowStride(width, bits) * height);
    if (frameRate > 0) info.AvgTimePerFrame = int64_t(std::llround(1e7 / frameRate));
    TAMMediaType mt;
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = bits == 24 ? MEDIASUBTYPE_RGB24 : MEDIASUBTYPE_RGB32;
    mt.bFixedSizeSamples = true;
    mt.lSampleSize = info.bmiHeader.biSizeImage;
    mt.formattype = FORMAT_VideoInfo;
    mt.Format = EncodeVideoInfoHeader(info);
    return mt;
}

// The bitmap header of an RGB media type we can read rows of; false for anything else.
bool RgbHeader(const TAMMediaType& mt, TBitmapInfoHeader& header) {
    TVideoInfoHeader info;
    if (!(mt.majortype == MEDIATYPE_Video) || !(mt.formattype == FORMAT_VideoInfo) ||
        !DecodeVideoInfoHeader(mt.Format, info))
        return false;
    header = info.bmiHeader;
    const int bits = mt.subtype == MEDIASUBTYPE_RGB24 ? 24 : mt.subtype == MEDIASUBTYPE_RGB32 ? 32 : 0;
    return bits != 0 && header.biBitCount == bits && header.biCompression == BI_RGB && header.biWidth > 0 &&
           header.biHeight > 0;
}

// B, G, R, X rows top to bottom into bottom-up rows of 24 or 32 bits, padded to words.
void FrameToRows(const TVideoFrame& frame, int width, int height, int bits, std::vector<uint8_t>& rows) {
    const size_t stride = size_t(DIBRowStride(width, bits));
    // Every byte is written below: only the 24-bit rows' padding needs clearing.
    rows.resize(stride * size_t(height));
    for (int y = 0; y < height; ++y) {
        const uint8_t* src = frame.Pixels.data() + size_t(y) * size_t(width) * 4;
        uint8_t* dst = rows.data() + stride * size_t(height - 1 - y);
        if (bits == 32) {
            std::copy_n(src, size_t(width) * 4, dst);
        } else {
            uint8_t* const end = dst + stride;
            for (int x = 0; x < width; ++x, src += 4, dst += 3) {
                dst[0] = src[0];
                dst[1] = src[1];
                dst[2] = src[2];
            }
            std::fill(dst, end, 0);
        }
    }
}

}  // namespace

// ---- Pins and filters ----

HRESULT TPinBase::QueryDirection(TPinDirection& direction) {
    direction = direction_;
    return S_OK;
}

HRESULT TPinBase::ConnectedTo(IPin*& pin) {
    pin = partner_;
    return partner_ ? S_OK : VFW_E_NOT_CONNECTED;
}

HRESULT TPinBase::ConnectionMediaType(TAMMediaType& mediaType) {
    if (!partner_) return VFW_E_NOT_CONNECTED;
    mediaType = mediaType_;
    return S_OK;
}

HRESULT TPinBase::Disconnect() {
    if (owner_.Graph() && owner_.Graph()->State() != mpStopped) return VFW_E_NOT_STOPPED;
    if (!partner_) return S_FALSE;
    partner_ = nullptr;
    FreeMediaType(mediaType_);
    return S_OK;
}

IBaseFilter* TPinBase::Filter() { return &owner_; }

void TPinBase::Attach(TPinBase* partner, const TAMMediaType& mediaType) {
    partner_ = partner;
    mediaType_ = mediaType;
}

HRESULT TFilterBase::EnumPins(std::vector<IPin*>& pins) {
    pins.assign(pins_.begin(), pins_.end());
    return S_OK;
}

HRESULT TFilterBase::QueryFilterInfo(AnsiString& name) {
    name = name_;
    return S_OK;
}

void TFilterBase::Join(TMediaGraph* graph, const AnsiString& name) {
    graph_ = graph;
    name_ = name.substr(0, 128);
}

namespace {

// Both sides of every connection of the filter's pins go, so no partner keeps a pin
// that is about to be freed.
void DetachPins(const std::vector<TPinBase*>& pins) {
    for (TPinBase* pin : pins) {
        if (TPinBase* partner = pin->Partner(); partner && partner->Partner() == pin) partner->Attach(nullptr, {});
        pin->Attach(nullptr, {});
    }
}

class TDecoderFilter;

class TDecoderOutputPin : public TPinBase {
public:
    TDecoderOutputPin(TFilterBase& owner, const TVideoSource& source)
        : TPinBase(owner, PINDIR_OUTPUT), source_(source) {}
    std::vector<TAMMediaType> ProposedTypes() override {
        return {RgbMediaType(source_.Width(), source_.Height(), 32, source_.FrameRate()),
                RgbMediaType(source_.Width(), source_.Height(), 24, source_.FrameRate())};
    }

private:
    const TVideoSource& source_;
};

class TDecoderFilter : public TFilterBase {
public:
    explicit TDecoderFilter(const TVideoSource& source) : out_(*this, source) { pins_ = {&out_}; }
    ~TDecoderFilter() override { DetachPins(pins_); }
    TDecoderOutputPin& Out() { return out_; }

private:
    TDecoderOutputPin out_;
};

}  // namespace

// ---- The renderer ----

class TRendererInputPin : public TPinBase {
public:
    TRendererInputPin(TFilterBase& owner, TVideoRenderer& renderer, bool onlyRgb32)
        : TPinBase(owner, PINDIR_INPUT), renderer_(renderer), onlyRgb32_(onlyRgb32) {}
    bool Accepts(const TAMMediaType& mt) override {
        TBitmapInfoHeader h;
        return RgbHeader(mt, h) && (!onlyRgb32_ || h.biBitCount == 32);
    }
    void Receive(const TMediaSample& sample) override;

private:
    TVideoRenderer& renderer_;
    bool onlyRgb32_;
};

class TVideoRenderer : public TFilterBase {
public:
    explicit TVideoRenderer(bool onlyRgb32) : in_(*this, *this, onlyRgb32) { pins_ = {&in_}; }
    ~TVideoRenderer() override { DetachPins(pins_); }
    TRendererInputPin& In() { return in_; }

    // Keeps the frame as it is shown (GUI thread or streaming thread).
    void Present(TVideoFrame&& frame, int width, int height) {
        std::lock_guard lock(lock_);
        frame_ = std::move(frame.Pixels);
        width_ = width;
        height_ = height;
    }
    void PresentRows(const uint8_t* rows, size_t size, const TBitmapInfoHeader& h) {
        const int bits = h.biBitCount, w = h.biWidth, height = h.biHeight;
        const size_t stride = size_t(DIBRowStride(w, bits));
        if (size < stride * size_t(height)) return;  // a short sample shows nothing new
        std::lock_guard lock(lock_);
        frame_.resize(size_t(w) * size_t(height) * 4);
        for (int y = 0; y < height; ++y) {
            const uint8_t* src = rows + stride * size_t(height - 1 - y);
            uint8_t* dst = frame_.data() + size_t(y) * size_t(w) * 4;
            for (int x = 0; x < w; ++x, src += bits / 8, dst += 4) {
                dst[0] = src[0];
                dst[1] = src[1];
                dst[2] = src[2];
                dst[3] = 0;
            }
        }
        width_ = w;
        height_ = height;
    }

    HRESULT CurrentImage(int32_t& bufferSize, uint8_t* image, bool sizeZero);

private:
    TRendererInputPin in_;
    std::mutex lock_;
    TByteBuffer frame_;
    int width_ = 0, height_ = 0;
};

void TRendererInputPin::Receive(const TMediaSample& sample) {
    TBitmapInfoHeader h;
    if (RgbHeader(mediaType_, h)) renderer_.PresentRows(sample.Data, sample.Size, h);
}

namespace {

uint8_t Level(unsigned index, unsigned levels) { return uint8_t((index * 255 + (levels - 1) / 2) / (levels - 1)); }
// The nearest of the levels 0..top of a colour table's channel.
unsigned Nearest(uint8_t v, unsigned top) { return (v * top + 127) / 255; }

}  // namespace

HRESULT TVideoRenderer::CurrentImage(int32_t& bufferSize, uint8_t* image, bool sizeZero) {
    std::lock_guard lock(lock_);
    if (sizeZero) {
        bufferSize = 0;
        return S_OK;
    }
    if (frame_.empty() || width_ <= 0 || height_ <= 0) return E_UNEXPECTED;
    const TRendererImageFormat format = VideoFiles().RendererFormat();
    TBitmapInfoHeader h;
    h.biWidth = width_;
    h.biHeight = height_;
    size_t extra = 0;
    switch (format) {
    case TRendererImageFormat::Rgb32: h.biBitCount = 32; break;
    case TRendererImageFormat::Rgb24: h.biBitCount = 24; break;
    case TRendererImageFormat::Bitfields565: h.biBitCount = 16; h.biCompression = BI_BITFIELDS; extra = 12; break;
    case TRendererImageFormat::Bitfields32: h.biBitCount = 32; h.biCompression = BI_BITFIELDS; extra = 12; break;
    case TRendererImageFormat::Palette8: h.biBitCount = 8; extra = 256 * 4; break;  // biClrUsed 0: all 256
    }
    const size_t stride = size_t(DIBRowStride(width_, h.biBitCount));
    h.biSizeImage = uint32_t(stride * size_t(height_));
    const int64_t need = int64_t(kBitmapInfoHeaderSize + extra) + int64_t(h.biSizeImage);
    if (need > INT32_MAX) return E_OUTOFMEMORY;
    if (!image) {
        bufferSize = int32_t(need);
        return S_OK;
    }
    if (bufferSize < need) return E_OUTOFMEMORY;
    WriteBitmapInfoHeader(h, image);
    uint8_t* p = image + kBitmapInfoHeaderSize;
    if (format == TRendererImageFormat::Bitfields565) {
        PutLE32(p, 0xF800);
        PutLE32(p + 4, 0x07E0);
        PutLE32(p + 8, 0x001F);
    } else if (format == TRendererImageFormat::Bitfields32) {
        PutLE32(p, 0x00FF0000);
        PutLE32(p + 4, 0x0000FF00);
        PutLE32(p + 8, 0x000000FF);
    } else if (format == TRendererImageFormat::Palette8) {
        // 3-3-2 levels of red, green and blue.
        for (unsigned i = 0; i < 256; ++i) {
            p[4 * i] = Level(i & 3, 4);
            p[4 * i + 1] = Level((i >> 2) & 7, 8);
            p[4 * i + 2] = Level(i >> 5, 8);
            p[4 * i + 3] = 0;
        }
    }
    uint8_t* bits = p + extra;
    const size_t used = (size_t(width_) * h.biBitCount + 7) / 8;
    for (int y = 0; y < height_; ++y) {
        const uint8_t* src = frame_.data() + size_t(y) * size_t(width_) * 4;
        uint8_t* dst = bits + stride * size_t(height_ - 1 - y);
        std::fill(dst + used, dst + stride, 0);  // the row's padding
        switch (format) {
        case TRendererImageFormat::Rgb32:
        case TRendererImageFormat::Bitfields32:
            std::copy_n(src, size_t(width_) * 4, dst);
            break;
        case TRendererImageFormat::Rgb24:
            for (int x = 0; x < width_; ++x, src += 4, dst += 3) std::copy_n(src, 3, dst);
            break;
        case TRendererImageFormat::Bitfields565:
            for (int x = 0; x < width_; ++x, src += 4, dst += 2)
                PutLE16(dst, uint16_t(((src[2] >> 3) << 11) | ((src[1] >> 2) << 5) | (src[0] >> 3)));
            break;
        case TRendererImageFormat::Palette8:
            for (int x = 0; x < width_; ++x, src += 4)
                dst[x] = uint8_t((Nearest(src[2], 7) << 5) | (Nearest(src[1], 7) << 2) | Nearest(src[0], 3));
            break;
        }
    }
    bufferSize = int32_t(need);
    return S_OK;
}

// ---- The Sample Grabber ----

namespace {

class TSampleGrabberFilter;

class TGrabberInputPin : public TPinBase {
public:
    TGrabberInputPin(TFilterBase& owner, TSampleGrabberFilter& grabber) : TPinBase(owner, PINDIR_INPUT), grabber_(grabber) {}
    bool Accepts(const TAMMediaType& mt) override;
    void Receive(const TMediaSample& sample) override;

private:
    TSampleGrabberFilter& grabber_;
};

class TGrabberOutputPin : public TPinBase {
public:
    TGrabberOutputPin(TFilterBase& owner, TPinBase& input) : TPinBase(owner, PINDIR_OUTPUT), input_(input) {}
    // Passes on what comes in, in the same type.
    std::vector<TAMMediaType> ProposedTypes() override {
        if (!input_.Partner()) return {};
        return {input_.MediaType()};
    }

private:
    TPinBase& input_;
};

class TSampleGrabberFilter : public TFilterBase, public ISampleGrabber {
public:
    TSampleGrabberFilter() : in_(*this, *this), out_(*this, in_) { pins_ = {&in_, &out_}; }
    ~TSampleGrabberFilter() override { DetachPins(pins_); }

    HRESULT SetOneShot(bool oneShot) override {
        std::lock_guard lock(lock_);
        oneShot_ = oneShot;
        return S_OK;
    }
    HRESULT SetMediaType(const TAMMediaType& mediaType) override {
        std::lock_guard lock(lock_);
        wanted_ = mediaType;
        return S_OK;
    }
    HRESULT GetConnectedMediaType(TAMMediaType& mediaType) override {
        return in_.ConnectionMediaType(mediaType);
    }
    HRESULT SetBufferSamples(bool bufferThem) override {
        std::lock_guard lock(lock_);
        bufferSamples_ = bufferThem;
        return S_OK;
    }
    HRESULT SetCallback(ISampleGrabberCB* callback, int which) override {
        if (which != 0 && which != 1) return E_INVALIDARG;
        // Taken under the lock the streaming thread calls under: once this returns, the
        // old callback is called no more.
        std::lock_guard lock(lock_);
        callback_ = callback;
        which_ = which;
        return S_OK;
    }

    bool Accepts(const TAMMediaType& mt) {
        TAMMediaType wanted;
        {
            std::lock_guard lock(lock_);
            wanted = wanted_;
        }
        TBitmapInfoHeader h;
        if (!RgbHeader(mt, h)) return false;
        return (IsNull(wanted.majortype) || wanted.majortype == mt.majortype) &&
               (IsNull(wanted.subtype) || wanted.subtype == mt.subtype) &&
               (IsNull(wanted.formattype) || wanted.formattype == mt.formattype);
    }

    void Receive(const TMediaSample& sample) {
        {
            std::lock_guard lock(lock_);
            if (done_) return;
            if (bufferSamples_) buffered_.assign(sample.Data, sample.Data + sample.Size);
            if (callback_) {
                if (which_ == 1) callback_->BufferCB(sample.Time, sample.Data, int32_t(sample.Size));
                else callback_->SampleCB(sample.Time, sample.Data, int32_t(sample.Size));
            }
            if (oneShot_) done_ = true;
        }
        if (TPinBase* next = out_.Partner()) next->Receive(sample);
    }

private:
    TGrabberInputPin in_;
    TGrabberOutputPin out_;
    std::mutex lock_;
    TAMMediaType wanted_;
    ISampleGrabberCB* callback_ = nullptr;
    int which_ = 0;
    bool oneShot_ = false;
    bool done_ = false;
    bool bufferSamples_ = false;
    std::vector<uint8_t> buffered_;
};

bool TGrabberInputPin::Accepts(const TAMMediaType& mt) { return grabber_.Accepts(mt); }
void TGrabberInputPin::Receive(const TMediaSample& sample) { grabber_.Receive(sample); }

}  // namespace

HRESULT CreateSampleGrabber(std::shared_ptr<ISampleGrabber>& grabber) {
    grabber.reset();
    if (!VideoFiles().HasSampleGrabber()) return REGDB_E_CLASSNOTREG;
    grabber = std::make_shared<TSampleGrabberFilter>();
    return S_OK;
}

// ---- The graph ----

TMediaGraph::TMediaGraph(std::unique_ptr<TVideoSource> source, const TMediaGraphOptions& options)
    : source_(std::move(source)), options_(options) {}

TMediaGraph::~TMediaGraph() {
    StopStreaming();
    filters_.clear();
}

HRESULT TMediaGraph::Build() {
    if (!source_->HasVideo()) return S_OK;
    auto decoder = std::make_shared<TDecoderFilter>(*source_);
    renderer_ = std::make_shared<TVideoRenderer>(options_.RendererTakesOnlyRgb32);
    decoder_ = decoder;
    decoderOut_ = &decoder->Out();
    AddFilter(decoder_, source_->DecoderName());
    AddFilter(renderer_, "Video Renderer");
    const HRESULT hr = Connect(&decoder->Out(), &renderer_->In());
    if (Failed(hr)) return hr;
    // A fresh source starts at its first frame: the renderer shows it at position 0.
    TVideoFrame frame;
    if (source_->ReadFrame(frame)) {
        renderer_->Present(std::move(frame), source_->Width(), source_->Height());
        shown_ = 0;
    }
    return S_OK;
}

HRESULT TMediaGraph::AddFilter(std::shared_ptr<IBaseFilter> filter, const AnsiString& name) {
    auto* f = dynamic_cast<TFilterBase*>(filter.get());
    if (!f) return E_POINTER;
    if (f->Graph()) return E_INVALIDARG;
    f->Join(this, name);
    filters_.push_back(std::move(filter));
    return S_OK;
}

HRESULT TMediaGraph::RemoveFilter(IBaseFilter* filter) {
    auto* f = dynamic_cast<TFilterBase*>(filter);
    if (!f || f->Graph() != this) return VFW_E_NOT_IN_GRAPH;
    if (state_ != mpStopped) return VFW_E_NOT_STOPPED;
    std::vector<IPin*> pins;
    f->EnumPins(pins);
    std::vector<TPinBase*> own;
    for (IPin* p : pins) own.push_back(static_cast<TPinBase*>(p));
    DetachPins(own);
    f->Join(nullptr, "");
    // Dropped last, as the caller may hold the only other reference.
    std::shared_ptr<IBaseFilter> keep;
    for (auto it = filters_.begin(); it != filters_.end(); ++it)
        if (it->get() == filter) {
            keep = std::move(*it);
            filters_.erase(it);
            break;
        }
    return S_OK;
}

HRESULT TMediaGraph::EnumFilters(std::vector<IBaseFilter*>& filters) {
    filters.clear();
    for (const auto& f : filters_) filters.push_back(f.get());
    return S_OK;
}

HRESULT TMediaGraph::Connect(IPin* out, IPin* in) {
    auto* o = dynamic_cast<TPinBase*>(out);
    auto* i = dynamic_cast<TPinBase*>(in);
    if (!o || !i) return E_POINTER;
    TPinDirection od, id;
    o->QueryDirection(od);
    i->QueryDirection(id);
    if (od != PINDIR_OUTPUT || id != PINDIR_INPUT) return E_INVALIDARG;
    if (o->Owner().Graph() != this || i->Owner().Graph() != this) return VFW_E_NOT_IN_GRAPH;
    if (state_ != mpStopped) return VFW_E_NOT_STOPPED;
    if (o->Partner() || i->Partner()) return VFW_E_ALREADY_CONNECTED;
    for (const TAMMediaType& mt : o->ProposedTypes())
        if (i->Accepts(mt)) {
            o->Attach(i, mt);
            i->Attach(o, mt);
            return S_OK;
        }
    return VFW_E_NO_ACCEPTABLE_TYPES;
}

void TMediaGraph::SetState(int32_t state) {
    const int32_t old = state_;
    state_ = state;
    if (old != state && OnStateChange) OnStateChange(old, state);
}

HRESULT TMediaGraph::Run() {
    if (state_ == mpPlaying) return S_OK;
    if (Streaming()) {
        std::lock_guard lock(lock_);
        pauseRequested_ = false;
        rebase_ = true;
        wake_.notify_all();
    } else {
        if (source_->HasVideo() && !source_->Seek(position_.load())) return E_FAIL;
        StartStreaming();
    }
    SetState(mpPlaying);
    return S_OK;
}

HRESULT TMediaGraph::Pause() {
    if (state_ == mpPaused) return S_OK;
    if (Streaming()) {
        std::lock_guard lock(lock_);
        pauseRequested_ = true;
    }
    SetState(mpPaused);
    return S_OK;
}

HRESULT TMediaGraph::Stop() {
    StopStreaming();
    SetState(mpStopped);
    return S_OK;
}

void TMediaGraph::Complete() {
    StopStreaming();
    shown_ = -1;
    position_ = source_->Duration();
    SetState(mpStopped);
}

void TMediaGraph::StartStreaming() {
    {
        std::lock_guard lock(lock_);
        stopRequested_ = false;
        pauseRequested_ = false;
        rebase_ = false;
    }
    const uint32_t generation = ++runGeneration_;
    shown_ = -1;
    thread_ = std::thread([this, generation] { StreamLoop(generation); });
}

void TMediaGraph::StopStreaming() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard lock(lock_);
        stopRequested_ = true;
        wake_.notify_all();
    }
    thread_.join();
}

void TMediaGraph::StreamLoop(uint32_t generation) {
    using Clock = std::chrono::steady_clock;
    TVideoFrame frame;
    bool first = true;
    Clock::time_point base;
    double basePos = 0;
    for (;;) {
        if (!source_->HasVideo() || !source_->ReadFrame(frame)) {
            if (OnComplete) OnComplete(generation);
            return;
        }
        {
            std::unique_lock lock(lock_);
            if (first) {
                base = Clock::now();
                basePos = frame.Time;
                first = false;
            }
            for (;;) {
                if (stopRequested_) return;
                if (pauseRequested_) {
                    wake_.wait(lock);
                    continue;
                }
                if (rebase_) {
                    // After a pause or a new rate the clock starts again from here.
                    rebase_ = false;
                    base = Clock::now();
                    basePos = std::min(frame.Time, position_.load());
                }
                const auto due = base + std::chrono::duration_cast<Clock::duration>(
                                            std::chrono::duration<double>((frame.Time - basePos) / rate_));
                if (wake_.wait_until(lock, due) == std::cv_status::timeout && !stopRequested_ && !pauseRequested_ &&
                    !rebase_)
                    break;
            }
        }
        Deliver(frame);
        position_ = frame.Time;
    }
}

void TMediaGraph::Deliver(const TVideoFrame& frame) {
    TPinBase* next = decoderOut_ ? decoderOut_->Partner() : nullptr;
    TBitmapInfoHeader h;
    if (!next || !RgbHeader(decoderOut_->MediaType(), h)) return;
    FrameToRows(frame, source_->Width(), source_->Height(), h.biBitCount, scratch_);
    next->Receive(TMediaSample{frame.Time, scratch_.data(), scratch_.size()});
}

bool TMediaGraph::Cue(double seconds) {
    if (!renderer_) return false;
    TVideoFrame frame;
    if (!source_->Seek(seconds) || !source_->ReadFrame(frame)) return false;
    renderer_->Present(std::move(frame), source_->Width(), source_->Height());
    shown_ = seconds;
    return true;
}

void TMediaGraph::Seek(double seconds) {
    seconds = std::clamp(seconds, 0.0, std::max(source_->Duration(), 0.0));
    const bool running = state_ == mpPlaying;
    // The frame of a still graph's own position is shown already.
    if (!running && !Streaming() && seconds == position_.load() && seconds == shown_) return;
    StopStreaming();
    position_ = seconds;
    if (running) {
        if (source_->HasVideo()) source_->Seek(seconds);
        StartStreaming();
    } else {
        Cue(seconds);
    }
}

void TMediaGraph::SetRate(double rate) {
    std::lock_guard lock(lock_);
    rate_ = rate;
    rebase_ = true;
    wake_.notify_all();
}

HRESULT TMediaGraph::GetDuration(int64_t& duration) {
    duration = int64_t(std::llround(source_->Duration() * 1e7));
    return S_OK;
}

HRESULT TMediaGraph::GetCurrentPosition(int64_t& position) {
    position = int64_t(std::llround(position_.load() * 1e7));
    return S_OK;
}

HRESULT TMediaGraph::SetPositions(int64_t current) {
    Seek(double(current) / 1e7);
    return S_OK;
}

HRESULT TMediaGraph::GetVideoSize(int32_t& width, int32_t& height) {
    if (!source_->HasVideo()) return E_NOINTERFACE;
    width = source_->Width();
    height = source_->Height();
    return S_OK;
}

HRESULT TMediaGraph::GetCurrentImage(int32_t& bufferSize, uint8_t* image) {
    if (!renderer_) return E_NOINTERFACE;
    return renderer_->CurrentImage(bufferSize, image, options_.ImageSizeZero);
}
