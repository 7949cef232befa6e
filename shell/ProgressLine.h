#pragma once

#include "RunProgress.h"

#include <QString>

#include <chrono>
#include <cstdio>
#include <functional>

// The progress of an unattended run on standard error. On a terminal, one
// line that is written over in place as the run goes on (the updates left
// of the run's total, the rate, the time left), at most ten times a second;
// Clear takes it away so that a message can be printed in its place, and the
// next change draws it again below. Elsewhere (cron, a pipe) no line at all.
// The run's summary is a message of its own.
class ProgressLine final : public ProgressReport
{
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // out must outlive the line; terminal says whether it is one.
    ProgressLine(std::FILE *out, bool terminal, Clock now = std::chrono::steady_clock::now);

    void Changed(const RunProgress &progress) override;
    void Clear();

private:
    void Write(const QString &text);

    std::FILE *out_;
    const bool terminal_;
    const Clock now_;
    // When the first update was made: the rate counts from there.
    std::chrono::steady_clock::time_point writingAt_{};
    std::chrono::steady_clock::time_point drawnAt_{};
    bool drawn_ = false;
    qsizetype shownWidth_ = 0;
};
