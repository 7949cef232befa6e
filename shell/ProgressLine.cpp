#include "ProgressLine.h"

#include <algorithm>
#include <utility>

namespace {

using namespace std::chrono_literals;

constexpr auto kRedrawEvery = 100ms;
// The first second of writing says too little of the rate to tell the time left.
constexpr double kRateAfterSeconds = 1.0;

double Seconds(std::chrono::steady_clock::duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

// h:mm:ss, or m:ss under an hour.
QString Duration(double seconds)
{
    const long long whole = static_cast<long long>(seconds + 0.5);
    const QString minutes = QStringLiteral("%1:%2").arg(whole / 60 % 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
    return whole < 3600 ? minutes
                        : QStringLiteral("%1:%2").arg(whole / 3600).arg(minutes.rightJustified(5, QLatin1Char('0')));
}

} // namespace

ProgressLine::ProgressLine(std::FILE *out, bool terminal, Clock now) : out_(out), terminal_(terminal), now_(std::move(now))
{
}

void ProgressLine::Changed(const RunProgress &progress)
{
    const auto now = now_();
    if (int(progress.recordsDone) == 0)
        writingAt_ = now;
    if (!terminal_ || !progress.begun || progress.progressMax <= 0 || (drawn_ && now - drawnAt_ < kRedrawEvery))
        return;
    drawn_ = true;
    drawnAt_ = now;

    const int left = std::max(0, int(progress.recordsLeft));
    const double writing = Seconds(now - writingAt_);
    const double rate = writing >= kRateAfterSeconds ? int(progress.recordsDone) / writing : 0;
    QString text = QStringLiteral("KVR_Bulkrun: %1 of %2 left, %3/s, ").arg(left).arg(progress.progressMax).arg(qRound(rate));
    text += rate > 0 ? Duration(left / rate) + QStringLiteral(" to go") : QStringLiteral("time left unknown");
    // Blanks over what a longer line before left behind.
    const qsizetype width = text.size();
    Write(QLatin1Char('\r') + text.leftJustified(shownWidth_));
    shownWidth_ = width;
}

void ProgressLine::Clear()
{
    if (shownWidth_ > 0)
        Write(QLatin1Char('\r') + QString(shownWidth_, QLatin1Char(' ')) + QLatin1Char('\r'));
    shownWidth_ = 0;
}

void ProgressLine::Write(const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), out_);
    std::fflush(out_);
}
