#include "NetworkThread.h"

#include <QtGlobal>

#include <algorithm>
#include <cstdlib>

namespace platform {

namespace {

// libcurl's global state is set up once, before the first handle and before
// any transfer thread exists; it is never torn down, as transfers of other
// threads may still be closing when the process exits.
CURLM* makeMultiHandle() {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    return curl_multi_init();
}

// With nothing due, the thread sleeps until curl's own timers, a socket or
// posted work wake it; this only bounds a sleep that none of them ends.
constexpr std::chrono::milliseconds kLongestSleep{60 * 1000};

} // namespace

NetworkThread::NetworkThread() : multi_(makeMultiHandle()) {
    thread_ = std::thread([this] { run(); });
}

NetworkThread& NetworkThread::shared() {
    static NetworkThread* const instance = [] {
        auto* made = new NetworkThread;
        std::atexit([] { shared().stop(); });
        return made;
    }();
    return *instance;
}

void NetworkThread::post(std::function<void()> work) {
    {
        std::lock_guard lock(postedMutex_);
        posted_.push_back(std::move(work));
    }
    curl_multi_wakeup(multi_);
}

bool NetworkThread::isCurrent() const {
    return std::this_thread::get_id() == thread_.get_id();
}

void NetworkThread::add(std::unique_ptr<Transfer> transfer) {
    Q_ASSERT(isCurrent());
    Transfer* const raw = transfer.get();
    curl_easy_setopt(raw->handle(), CURLOPT_PRIVATE, raw);
    transfers_.emplace(raw, std::move(transfer));
    if (curl_multi_add_handle(multi_, raw->handle()) != CURLM_OK) {
        auto owned = std::move(transfers_.at(raw));
        transfers_.erase(raw);
        owned->finished(CURLE_FAILED_INIT);
        discarded_.push_back(std::move(owned));
    }
}

void NetworkThread::discard(Transfer* transfer) {
    Q_ASSERT(isCurrent());
    const auto found = transfers_.find(transfer);
    if (found == transfers_.end()) {
        return; // already finished: the thread lets it go itself
    }
    curl_multi_remove_handle(multi_, transfer->handle());
    discarded_.push_back(std::move(found->second));
    transfers_.erase(found);
}

void NetworkThread::run() {
    for (;;) {
        runPostedWork();
        {
            std::lock_guard lock(postedMutex_);
            if (stopping_) {
                break;
            }
        }
        int running = 0;
        curl_multi_perform(multi_, &running);
        takeFinishedTransfers();
        const std::chrono::milliseconds sleep = serveDeadlines();
        discarded_.clear();
        curl_multi_poll(multi_, nullptr, 0, static_cast<int>(sleep.count()), nullptr);
    }
    for (const auto& [transfer, owned] : transfers_) {
        curl_multi_remove_handle(multi_, transfer->handle());
    }
    transfers_.clear();
    discarded_.clear();
}

void NetworkThread::runPostedWork() {
    std::vector<std::function<void()>> work;
    {
        std::lock_guard lock(postedMutex_);
        if (stopping_) {
            return;
        }
        work.swap(posted_);
    }
    for (const auto& item : work) {
        item();
    }
}

void NetworkThread::takeFinishedTransfers() {
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
        if (message->msg != CURLMSG_DONE) {
            continue;
        }
        // The message goes with the handle's removal.
        CURL* const handle = message->easy_handle;
        const CURLcode result = message->data.result;
        char* privateData = nullptr;
        curl_easy_getinfo(handle, CURLINFO_PRIVATE, &privateData);
        const auto found = transfers_.find(reinterpret_cast<Transfer*>(privateData));
        curl_multi_remove_handle(multi_, handle);
        if (found == transfers_.end()) {
            continue;
        }
        auto owned = std::move(found->second);
        transfers_.erase(found);
        owned->finished(result);
        discarded_.push_back(std::move(owned));
    }
}

std::chrono::milliseconds NetworkThread::serveDeadlines() {
    const auto now = std::chrono::steady_clock::now();
    std::vector<Transfer*> due;
    for (const auto& [transfer, owned] : transfers_) {
        if (const auto deadline = transfer->deadline(); deadline && *deadline <= now) {
            due.push_back(transfer);
        }
    }
    for (Transfer* transfer : due) {
        if (transfers_.count(transfer) > 0) {
            transfer->deadlineReached();
        }
    }
    auto sleep = kLongestSleep;
    for (const auto& [transfer, owned] : transfers_) {
        if (const auto deadline = transfer->deadline()) {
            // Rounded up, so that the thread does not wake just before it.
            const auto until = std::chrono::ceil<std::chrono::milliseconds>(*deadline - now);
            sleep = std::clamp(until, std::chrono::milliseconds(0), sleep);
        }
    }
    return sleep;
}

// Transfers still running when the process exits are dropped, and their
// partial files with them.
void NetworkThread::stop() {
    if (isCurrent()) {
        return;
    }
    {
        std::lock_guard lock(postedMutex_);
        stopping_ = true;
    }
    curl_multi_wakeup(multi_);
    thread_.join();
}

} // namespace platform
