#include "engine/rate_limiter.h"

#include <QMutexLocker>
#include <algorithm>
#include <cmath>

namespace {

// The buckets together hold a tenth of a second of traffic: short bursts are
// smoothed without letting a paused connection save up a flood.
qint64 BucketSize(qint64 rate)
{
    return std::max<qint64>(rate / 10, 1024);
}

// A taker that has not asked for this long has stopped (its file ended).
constexpr qint64 kIdleTakerMs = 1000;

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
    takers_.clear();
    common_ = double(rate_ > 0 ? BucketSize(rate_) : 0);
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

double RateLimiter::ShareCap() const
{
    return double(BucketSize(rate_)) / double(std::max<qsizetype>(1, takers_.size()));
}

void RateLimiter::ForgetIdleTakers(qint64 now)
{
    for (auto it = takers_.begin(); it != takers_.end();) {
        if (now - it->lastSeen > kIdleTakerMs) {
            common_ += it->tokens;
            it = takers_.erase(it);
        } else {
            ++it;
        }
    }
}

void RateLimiter::Refill(qint64 now)
{
    const qint64 elapsed = now - lastRefill_;
    if (elapsed <= 0)
        return;
    lastRefill_ = now;
    ForgetIdleTakers(now);
    // Even shares; what a full bucket cannot hold goes to the takers that
    // can, and only what none can hold to the common bucket.
    double fresh = double(rate_) * double(elapsed) / 1000.0;
    const double cap = ShareCap();
    for (;;) {
        qsizetype open = 0;
        for (const Share &share : std::as_const(takers_))
            open += share.tokens < cap ? 1 : 0;
        if (open == 0 || fresh <= 0.5)
            break;
        const double each = fresh / double(open);
        fresh = 0;
        for (Share &share : takers_) {
            if (share.tokens >= cap)
                continue;
            share.tokens += each;
            if (share.tokens > cap) {
                fresh += share.tokens - cap;
                share.tokens = cap;
            }
        }
    }
    common_ = std::min(double(BucketSize(rate_)), common_ + fresh);
}

qint64 RateLimiter::Take(qint64 wanted, int *waitMs, const void *taker)
{
    *waitMs = 0;
    QMutexLocker lock(&mutex_);
    if (rate_ <= 0 || wanted <= 0)
        return std::max<qint64>(0, wanted);
    const qint64 now = Now();
    Refill(now);
    Share &share = takers_[taker];
    share.lastSeen = now;
    // Its own share first, then what others left.
    const qint64 fromOwn = std::min<qint64>(wanted, qint64(share.tokens));
    const qint64 fromCommon = std::min<qint64>(wanted - fromOwn, qint64(common_));
    const qint64 granted = fromOwn + fromCommon;
    if (granted > 0) {
        share.tokens -= double(fromOwn);
        common_ -= double(fromCommon);
        return granted;
    }
    // Long enough for a useful part of its share to accrue, never a busy loop.
    const double perTaker = double(rate_) / double(takers_.size());
    const double needed = std::min(double(wanted), ShareCap() / 4 + 1) - share.tokens;
    *waitMs = std::max(1, int(std::ceil(needed * 1000.0 / perTaker)));
    return 0;
}

void RateLimiter::GiveBack(qint64 bytes, const void *taker)
{
    QMutexLocker lock(&mutex_);
    if (rate_ <= 0 || bytes <= 0)
        return;
    const auto it = takers_.find(taker);
    if (it != takers_.end())
        it->tokens += double(bytes);
    else
        common_ = std::min(double(BucketSize(rate_)), common_ + double(bytes));
}
