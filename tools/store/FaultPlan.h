#pragma once

#include <QByteArray>
#include <QList>
#include <QtGlobal>

#include <optional>

// The ways the store misbehaves on purpose, and what is left of them: one
// plan is shared by every connection (all on the one event-loop thread).
class FaultPlan {
public:
    FaultPlan() = default;
    // `drops` lists where to cut successive responses.
    FaultPlan(QList<qint64> drops, bool chunked, std::optional<int> status, std::optional<qint64> rate,
              QByteArray pathPrefix = {})
        : drops_(std::move(drops)), chunked_(chunked), status_(status), rate_(rate),
          pathPrefix_(std::move(pathPrefix)) {}

    // Whether the faults touch a request for this path (without its query).
    bool covers(const QByteArray& path) const { return path.startsWith(pathPrefix_); }

    // Where to cut a response whose body has `bodySize` bytes, or nullopt to
    // send it whole. A body that ends before the next cut would be whole
    // anyway, so only the responses actually cut use up an entry.
    std::optional<qint64> claimDrop(qint64 bodySize);

    bool chunked() const { return chunked_; }
    std::optional<int> status() const { return status_; }
    // Bytes per second for each response.
    std::optional<qint64> rate() const { return rate_; }

private:
    QList<qint64> drops_;
    bool chunked_ = false;
    std::optional<int> status_;
    std::optional<qint64> rate_;
    QByteArray pathPrefix_;
};
