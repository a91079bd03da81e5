// The filter graph behind the media-player stand-in (platform/MediaPlayer.h): the decoder
// filter, the video renderer, the Sample Grabber, and the streaming thread that moves
// frames from the one to the others. Only the control uses this header.
#pragma once

#include "platform/MediaPlayer.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

class TMediaGraph;
class TFilterBase;

// One frame travelling downstream: the bytes in the connection's media type.
struct TMediaSample {
    double Time = 0;
    const uint8_t* Data = nullptr;
    size_t Size = 0;
};

class TPinBase : public IPin {
public:
    TPinBase(TFilterBase& owner, TPinDirection direction) : owner_(owner), direction_(direction) {}

    HRESULT QueryDirection(TPinDirection& direction) override;
    HRESULT ConnectedTo(IPin*& pin) override;
    HRESULT ConnectionMediaType(TAMMediaType& mediaType) override;
    HRESULT Disconnect() override;
    IBaseFilter* Filter() override;

    // Output pins: the media types offered, best first.
    virtual std::vector<TAMMediaType> ProposedTypes() { return {}; }
    // Input pins: whether the type is taken.
    virtual bool Accepts(const TAMMediaType&) { return false; }
    // Input pins, on the streaming thread.
    virtual void Receive(const TMediaSample&) {}

    void Attach(TPinBase* partner, const TAMMediaType& mediaType);
    TPinBase* Partner() const { return partner_; }
    const TAMMediaType& MediaType() const { return mediaType_; }
    TFilterBase& Owner() const { return owner_; }

protected:
    TFilterBase& owner_;
    TPinDirection direction_;
    TPinBase* partner_ = nullptr;
    TAMMediaType mediaType_;
};

class TFilterBase : public IBaseFilter {
public:
    HRESULT EnumPins(std::vector<IPin*>& pins) override;
    HRESULT QueryFilterInfo(AnsiString& name) override;

    TMediaGraph* Graph() const { return graph_; }
    void Join(TMediaGraph* graph, const AnsiString& name);

protected:
    std::vector<TPinBase*> pins_;

private:
    TMediaGraph* graph_ = nullptr;
    AnsiString name_;
};

// The renderer's frame, handed out as a packed DIB.
class TVideoRenderer;

class TMediaGraph : public IGraphBuilder, public IMediaControl, public IMediaSeeking, public IBasicVideo {
public:
    TMediaGraph(std::unique_ptr<TVideoSource> source, const TMediaGraphOptions& options);
    ~TMediaGraph() override;

    // Adds the decoder filter and the renderer, connects them and shows the first frame.
    HRESULT Build();

    // IFilterGraph / IGraphBuilder
    HRESULT AddFilter(std::shared_ptr<IBaseFilter> filter, const AnsiString& name) override;
    HRESULT RemoveFilter(IBaseFilter* filter) override;
    HRESULT EnumFilters(std::vector<IBaseFilter*>& filters) override;
    HRESULT Connect(IPin* out, IPin* in) override;
    // IMediaControl
    HRESULT Run() override;
    HRESULT Pause() override;
    HRESULT Stop() override;
    // IMediaSeeking
    HRESULT GetDuration(int64_t& duration) override;
    HRESULT GetCurrentPosition(int64_t& position) override;
    HRESULT SetPositions(int64_t current) override;
    // IBasicVideo
    HRESULT GetVideoSize(int32_t& width, int32_t& height) override;
    HRESULT GetCurrentImage(int32_t& bufferSize, uint8_t* image) override;

    int32_t State() const { return state_; }
    // True while frames may flow (the streaming thread lives).
    bool Streaming() const { return thread_.joinable(); }
    // Seconds: the time of the frame shown last.
    double Position() const { return position_.load(); }
    // Shows the frame at the time; a running graph streams on from there.
    void Seek(double seconds);
    void SetRate(double rate);
    const TVideoSource& Source() const { return *source_; }
    uint32_t RunGeneration() const { return runGeneration_; }
    // After the end of the stream has been reported: stopped at the end.
    void Complete();

    // GUI thread: state changes (stopped, paused, playing) as the control reports them.
    std::function<void(int32_t oldState, int32_t newState)> OnStateChange;
    // Streaming thread: the stream of this run has ended.
    std::function<void(uint32_t runGeneration)> OnComplete;

private:
    void SetState(int32_t state);
    void StartStreaming();
    void StopStreaming();
    void StreamLoop(uint32_t generation);
    void Deliver(const TVideoFrame& frame);
    bool Cue(double seconds);

    std::unique_ptr<TVideoSource> source_;
    TMediaGraphOptions options_;
    std::vector<std::shared_ptr<IBaseFilter>> filters_;
    std::shared_ptr<TFilterBase> decoder_;
    TPinBase* decoderOut_ = nullptr;
    std::shared_ptr<TVideoRenderer> renderer_;
    int32_t state_ = mpStopped;
    std::atomic<double> position_{0};
    double shown_ = -1;  // the position whose frame the renderer shows; -1 once frames flow
    uint32_t runGeneration_ = 0;

    std::thread thread_;
    std::mutex lock_;
    std::condition_variable wake_;
    bool stopRequested_ = false;
    bool pauseRequested_ = false;
    bool rebase_ = false;
    double rate_ = 1.0;
    std::vector<uint8_t> scratch_;  // streaming thread: the frame in the connection's type
};
