#include "AFXSchedulerClock.h"

#include "platform/DispatchSource.h"

namespace {

class SystemClock : public AFXSchedulerClock {
public:
    QDateTime now() const override { return QDateTime::currentDateTimeUtc(); }

    Timer scheduleAt(const QDateTime& date, std::chrono::milliseconds leeway,
                     const std::shared_ptr<platform::DispatchQueue>& queue,
                     std::function<void()> handler) override {
        auto source = platform::DispatchSource::makeTimer(queue);
        const auto start =
            platform::DispatchSource::WallClock::time_point(std::chrono::milliseconds(date.toMSecsSinceEpoch()));
        source->setTimer(start, std::nullopt, leeway);
        source->setEventHandler(std::move(handler));
        source->resume();
        // Dropping the source stops its timer; cancelling as well makes sure a
        // fire already on its way finds the source cancelled.
        return std::shared_ptr<void>(source.get(), [source](void*) { source->cancel(); });
    }
};

} // namespace

std::shared_ptr<AFXSchedulerClock> AFXSchedulerClock::systemClock() {
    static const auto clock = std::make_shared<SystemClock>();
    return clock;
}
