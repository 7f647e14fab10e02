#include "engine/rate_limiter.h"

#include <QMutexLocker>
#include <algorithm>
#include <cmath>

namespace {

// The bucket holds a tenth of a second of traffic: short bursts are smoothed
// without letting a paused connection save up a flood.
qint64 BucketSize(qint64 rate)
{
    return std::max<qint64>(rate / 10, 1024);
}

} // namespace

RateLimiter::RateLimiter()
{
    timer_.start();
}

void RateLimiter::SetRate(qint64 bytesPerSecond)
{
    QMutexLocker lock(&mutex_);
    rate_ = std::max<qint64>(0, bytesPerSecond);
    lastRefill_ = Now();
    tokens_ = double(rate_ > 0 ? BucketSize(rate_) : 0);
}

qint64 RateLimiter::Rate() const
{
    QMutexLocker lock(&mutex_);
    return rate_;
}

void RateLimiter::SetClockForTest(qint64 (*clock)())
{
    QMutexLocker lock(&mutex_);
    clock_ = clock;
    lastRefill_ = Now();
}

qint64 RateLimiter::Now() const
{
    return clock_ ? clock_() : timer_.elapsed();
}

void RateLimiter::Refill(qint64 now)
{
    const qint64 elapsed = now - lastRefill_;
    if (elapsed <= 0)
        return;
    lastRefill_ = now;
    tokens_ = std::min(double(BucketSize(rate_)), tokens_ + double(rate_) * double(elapsed) / 1000.0);
}

qint64 RateLimiter::Take(qint64 wanted, int *waitMs)
{
    *waitMs = 0;
    QMutexLocker lock(&mutex_);
    if (rate_ <= 0 || wanted <= 0)
        return std::max<qint64>(0, wanted);
    Refill(Now());
    const qint64 granted = std::min<qint64>(wanted, qint64(tokens_));
    if (granted > 0) {
        tokens_ -= double(granted);
        return granted;
    }
    // Long enough for a useful share to accrue, never a busy loop.
    const double needed = double(std::min<qint64>(wanted, BucketSize(rate_) / 4 + 1)) - tokens_;
    *waitMs = std::max(1, int(std::ceil(needed * 1000.0 / double(rate_))));
    return 0;
}

void RateLimiter::GiveBack(qint64 bytes)
{
    QMutexLocker lock(&mutex_);
    if (rate_ > 0 && bytes > 0)
        tokens_ = std::min(double(BucketSize(rate_)), tokens_ + double(bytes));
}
