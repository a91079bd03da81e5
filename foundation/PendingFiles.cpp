#include "foundation/PendingFiles.h"

#include <mutex>

namespace {

std::mutex waiterLock;
// Shared, so a wait in progress keeps its waiter alive while the writer goes away.
std::shared_ptr<IPendingFileWaiter> installed;

}  // namespace

void SetPendingFileWaiter(std::shared_ptr<IPendingFileWaiter> waiter) {
    std::lock_guard<std::mutex> guard(waiterLock);
    installed = std::move(waiter);
}

void RemovePendingFileWaiter(const IPendingFileWaiter* waiter) {
    std::lock_guard<std::mutex> guard(waiterLock);
    if (installed.get() == waiter) installed.reset();
}

void WaitForPendingFile(const AnsiString& path) {
    std::shared_ptr<IPendingFileWaiter> waiter;
    {
        std::lock_guard<std::mutex> guard(waiterLock);
        waiter = installed;
    }
    // Never under the lock: the wait can be long, and other threads resolve meanwhile.
    if (waiter) waiter->WaitForFile(path);
}
