#pragma once
// A speed limit shared by every transfer in one direction: a token bucket that
// several connections (each in its own thread) draw from, so that together
// they stay under the limit however many run. Each taker that asked lately
// has a bucket of its own, filled with an even share of the rate: one that
// asks more often does not starve the others. What a taker cannot hold (it
// moves less than its share) goes to the others, so the limit is still used
// in full.

#include <QElapsedTimer>
#include <QHash>
#include <QMutex>
#include <QtGlobal>

class RateLimiter {
public:
    RateLimiter();

    // Bytes per second; 0 lifts the limit.
    void SetRate(qint64 bytesPerSecond);
    qint64 Rate() const;

    // How many of `wanted` bytes `taker` may move now (all of them without a
    // limit). 0 means none: try again after *waitMs.
    qint64 Take(qint64 wanted, int *waitMs, const void *taker = nullptr);

    // Bytes taken but not moved after all go back to the taker's bucket.
    void GiveBack(qint64 bytes, const void *taker = nullptr);

    // For tests: the clock in milliseconds; the default is a monotonic timer.
    void SetClockForTest(qint64 (*clock)());

private:
    struct Share {
        double tokens = 0;
        qint64 lastSeen = 0;
    };
    qint64 Now() const;
    void Refill(qint64 now);
    // The takers that asked within the last second; the others' tokens go to the common bucket.
    void ForgetIdleTakers(qint64 now);
    double ShareCap() const;

    mutable QMutex mutex_;
    qint64 rate_ = 0;
    double common_ = 0;
    QHash<const void *, Share> takers_;
    qint64 lastRefill_ = 0;
    QElapsedTimer timer_;
    qint64 (*clock_)() = nullptr;
};
