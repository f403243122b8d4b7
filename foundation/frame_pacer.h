#pragma once
// The render thread's frame schedule. Frames start at fixed points one frame
// interval apart (16.666 ms is kept as it is, not cut to 16), so the period
// stays steady. A frame that is a little late runs at once and the schedule
// holds; one more than a whole interval late resynchronises the schedule to
// now instead of firing a burst of catch-up frames.

class classFramePacer {
public:
    explicit classFramePacer(double intervalMs) : interval_(intervalMs > 0 ? intervalMs : 16.666666) {}

    // `nowMs` on any steady scale; the milliseconds to wait before starting
    // the next frame (0: start it now).
    double Schedule(double nowMs) {
        if (!started_) {
            started_ = true;
            next_ = nowMs;
        }
        double wait = 0;
        if (nowMs < next_) {
            wait = next_ - nowMs;
        } else if (nowMs - next_ >= interval_) {
            next_ = nowMs;
        }
        next_ += interval_;
        return wait;
    }

    double Interval() const { return interval_; }

private:
    double interval_;
    double next_ = 0;
    bool started_ = false;
};
