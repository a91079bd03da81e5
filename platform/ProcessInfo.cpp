#include "platform/ProcessInfo.h"

#include "platform/Charset.h"
#include "platform/Paths.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <thread>

namespace {

std::mutex argsLock;
bool argsGiven = false;
std::vector<std::string> givenArgs;

}  // namespace

void SetProcessArguments(int argc, const char* const* argv) {
    std::lock_guard<std::mutex> g(argsLock);
    givenArgs.clear();
    for (int i = 0; i < argc; ++i) givenArgs.emplace_back(argv[i] ? argv[i] : "");
    argsGiven = true;
}

std::vector<std::string> ProcessArguments() {
    {
        std::lock_guard<std::mutex> g(argsLock);
        if (argsGiven) return givenArgs;
    }
    std::ifstream f("/proc/self/cmdline", std::ios::binary);
    const std::string all((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    std::vector<std::string> args;
    size_t i = 0;
    while (i < all.size()) {
        size_t j = all.find('\0', i);
        if (j == std::string::npos) j = all.size();
        args.push_back(all.substr(i, j - i));
        i = j + 1;
    }
    return args;
}

AnsiString BuildCommandLine(const std::vector<std::string>& args) {
    AnsiString line;
    for (size_t i = 0; i < args.size(); ++i) {
        if (i) line += ' ';
        const AnsiString a = Utf8ToAnsi(args[i]);
        if (a.empty() || a.find(' ') != AnsiString::npos)
            line += '"' + a + '"';
        else
            line += a;
    }
    return line;
}

AnsiString GetCommandLineText() { return BuildCommandLine(ProcessArguments()); }

AnsiString GetExecutablePath() {
    std::string buf(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n <= 0 || static_cast<size_t>(n) >= buf.size()) return AnsiString();
    buf.resize(static_cast<size_t>(n));
    return FromPosixPath(buf);
}

int ProcessCores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
    return int(std::max(1u, std::thread::hardware_concurrency()));
}

namespace {

// One call's jobs. Every thread, the caller among them, takes the next job number left,
// so the caller finishes the call alone when no helper is free: a job that itself runs
// jobs (or a child after fork, which has no helpers) never waits on a helper.
struct TJobBatch {
    const std::function<void(int)>* Job;
    int Count;
    std::atomic<int> Next{0};
    std::atomic<int> Done{0};
    std::vector<std::exception_ptr> Failures;
    std::mutex Lock;
    std::condition_variable Finished;

    TJobBatch(const std::function<void(int)>& job, int count) : Job(&job), Count(count), Failures(size_t(count)) {}
    // Runs jobs until none is left to take.
    void Work() {
        for (int k; (k = Next.fetch_add(1)) < Count;) {
            try {
                (*Job)(k);
            } catch (...) {
                Failures[size_t(k)] = std::current_exception();
            }
            if (Done.fetch_add(1) + 1 == Count) {
                std::lock_guard<std::mutex> guard(Lock);
                Finished.notify_all();
            }
        }
    }
};

// Helper threads kept for the process's life, waiting when idle: a transition's frame
// splits its work several times, and starting threads for each split cost more than the
// work they share. Never torn down, so that no static's destructor at exit finds them
// gone.
class THelperThreads {
public:
    // Offers the batch to up to helpers threads, starting threads as needed (as many as
    // can be had).
    void Offer(const std::shared_ptr<TJobBatch>& batch, int helpers) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            while (int(threads_.size()) < helpers) {
                try {
                    threads_.emplace_back([this] { Serve(); });
                } catch (...) {
                    break;
                }
            }
            helpers = std::min(helpers, int(threads_.size()));
            for (int k = 0; k < helpers; ++k) offers_.push_back(batch);
        }
        if (helpers == 1) wake_.notify_one();
        else wake_.notify_all();
    }

private:
    void Serve() {
        std::unique_lock<std::mutex> guard(lock_);
        for (;;) {
            wake_.wait(guard, [this] { return !offers_.empty(); });
            std::shared_ptr<TJobBatch> batch = std::move(offers_.front());
            offers_.pop_front();
            guard.unlock();
            batch->Work();
            batch.reset();
            guard.lock();
        }
    }

    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<std::shared_ptr<TJobBatch>> offers_;
    std::vector<std::thread> threads_;
};

}  // namespace

void RunOnThreads(int count, const std::function<void(int)>& job) {
    if (count <= 1) {
        if (count == 1) job(0);
        return;
    }
    static THelperThreads* const helpers = new THelperThreads;
    const auto batch = std::make_shared<TJobBatch>(job, count);
    helpers->Offer(batch, count - 1);
    batch->Work();
    {
        std::unique_lock<std::mutex> guard(batch->Lock);
        batch->Finished.wait(guard, [&] { return batch->Done.load() == count; });
    }
    for (const std::exception_ptr& f : batch->Failures)
        if (f) std::rethrow_exception(f);
}
