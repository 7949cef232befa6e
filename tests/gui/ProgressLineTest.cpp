// An unattended run's progress on standard error, on a clock the test sets.
#include "ProgressLine.h"

#include <gtest/gtest.h>

namespace {

// On a terminal the line is written over in place, at most ten times a
// second, and makes way for a message; elsewhere nothing is written.
TEST(ProgressLineTest, OnATerminalOneLineInPlaceAtMostTenTimesASecond)
{
    const QByteArray first = "\rKVR_Bulkrun: 100 of 100 left, 0/s, time left unknown", second = "\rKVR_Bulkrun: 80 of 100 left, 20/s, 0:04 to go",
                     third = "\rKVR_Bulkrun: 70 of 100 left, 25/s, 0:03 to go";
    const auto wipe = [](const QByteArray &line) { return "\r" + QByteArray(line.size() - 1, ' ') + "\r"; };
    for (const bool terminal : {true, false}) {
        std::FILE *out = std::tmpfile();
        std::chrono::steady_clock::time_point now;
        ProgressLine line(out, terminal, [&] { return now; });
        RunProgress progress;
        line.Changed(progress);  // no run yet
        progress.begun = true;
        progress.progressMax = 100;
        // Drawn at 100 ms, then not before 200 ms; a message clears the line at 1150 ms.
        for (const auto &[ms, done] : {std::pair{100, 0}, {150, 10}, {1100, 20}, {1150, 25}, {1300, 30}}) {
            now = std::chrono::steady_clock::time_point(std::chrono::milliseconds(ms));
            progress.recordsDone = Int16::Checked(done);
            progress.recordsLeft = Int16::Checked(100 - done);
            line.Changed(progress);
            if (ms == 1150)
                line.Clear();
        }
        line.Clear();
        QByteArray written(4096, '\0');
        std::rewind(out);
        written.truncate(qsizetype(std::fread(written.data(), 1, written.size(), out)));
        std::fclose(out);
        EXPECT_EQ(written, terminal ? first + second.leftJustified(first.size()) + wipe(second) + third + wipe(third) : QByteArray());
    }
}

} // namespace
