#pragma once
// The render thread's frame schedule. Frames start at fixed points one frame
// interval apart (16.666 ms is kept as it is, not cut to 16), so the period
// stays steady. A frame that is a little late runs at once and the schedule
// holds; one more than a whole interval late resynchronises the schedule to
// now instead of firing a burst of catch-up frames.
//
// Between two scheduled frames a few more may be let in at once: records
// committed while the screen stands still (a click's answer, the first
// picture) need not wait for the next start. They move no scheduled start, so
// the frames of whatever they set moving keep their period; and however often
// scripts commit and wait, no more than kPromptFramesPerInterval come in one
// interval.

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
        promptFrames_ = 0;
        return wait;
    }

    static constexpr int kPromptFramesPerInterval = 4;

    // Whether a frame asked for now, before the next scheduled start, may run.
    bool TakePromptFrame() {
        if (promptFrames_ >= kPromptFramesPerInterval) return false;
        ++promptFrames_;
        return true;
    }

    double Interval() const { return interval_; }

private:
    double interval_;
    double next_ = 0;
    bool started_ = false;
    int promptFrames_ = 0;  // let in since the last scheduled start
};
