#pragma once
// A speed limit shared by every transfer in one direction: a token bucket that
// several connections (each in its own thread) draw from, so that together
// they stay under the limit however many run.

#include <QElapsedTimer>
#include <QMutex>
#include <QtGlobal>

class RateLimiter {
public:
    RateLimiter();

    // Bytes per second; 0 lifts the limit.
    void SetRate(qint64 bytesPerSecond);
    qint64 Rate() const;

    // How many of `wanted` bytes may move now (all of them without a limit).
    // 0 means none: try again after *waitMs.
    qint64 Take(qint64 wanted, int *waitMs);

    // Bytes taken but not moved after all go back to the bucket.
    void GiveBack(qint64 bytes);

    // For tests: the clock in milliseconds; the default is a monotonic timer.
    void SetClockForTest(qint64 (*clock)());

private:
    qint64 Now() const;
    void Refill(qint64 now);

    mutable QMutex mutex_;
    qint64 rate_ = 0;
    double tokens_ = 0;
    qint64 lastRefill_ = 0;
    QElapsedTimer timer_;
    qint64 (*clock_)() = nullptr;
};
