// The Import command: updates the card records line by line from a delimited
// text file.
#include "Engine.h"

#include "Failure.h"
#include "Items.h"

#include <QScopeGuard>

#include <algorithm>

namespace {

// The search values the counting pass keeps for the store, which can find
// all their matches in one pass over the card table: no longer ones, and no
// more in all, so that a file of long lines costs no more memory for them.
constexpr qsizetype kLongestExpected = 1000;
constexpr qsizetype kExpectedChars = 8 * 1024 * 1024;

// An item number box must hold a whole number of 0 or more.
std::optional<long long> ItemNumber(const QString &text)
{
    const std::optional<long long> n = ParseWholeNumber(text);
    if (n && *n < 0)
        return std::nullopt;
    return n;
}

} // namespace

void Engine::Command3_Click()
{
    StartRun();
    const QString path = run.importFile;

    const std::optional<long long> searchItem = ItemNumber(run.searchItem);
    const std::optional<long long> replaceItem = ItemNumber(run.replaceItem);
    const struct
    {
        std::optional<long long> number;
        const char *frame; // the caption of the box's frame on the main window
        const QString &text;
    } boxes[] = {{searchItem, "Search For", run.searchItem}, {replaceItem, "Replace With", run.replaceItem}};
    for (const auto &box : boxes) {
        if (!box.number) {
            s.msg.Show(QStringLiteral("%1, Item No From File: \"%2\" is not an item number. "
                                      "Enter a whole number of 0 or more (0 is the first item of a line).")
                           .arg(QLatin1String(box.frame), box.text),
                       MsgIcon::Critical);
            return;
        }
    }

    // Counting pass: the lines that will be updated, those with a search value.
    Int16 lines;
    QStringList searches;
    // And, without a list, the updates in order, each line's search value
    // and text, for a store that writes ahead, within the same bounds: of
    // the lines up to the first that would pass them.
    QStringList writeSearches, writeValues;
    qsizetype searchChars = 0, writeChars = 0;
    try {
        std::unique_ptr<LineReader> file = s.fs.OpenLines(path);
        QString line;
        bool writesKept = !run.useList;
        while (file->Next(line)) {
            const QStringList items = SplitItems(line, run.delimiter);
            QString search = ItemAt(items, *searchItem);
            if (search.isEmpty())
                continue;
            lines += 1;
            QString value = writesKept ? ItemAt(items, *replaceItem) : QString();
            writesKept = writesKept && std::max(search.size(), value.size()) <= kLongestExpected
                && (writeChars += search.size() + value.size()) <= kExpectedChars;
            if (writesKept) {
                writeSearches << search;
                writeValues << std::move(value);
            }
            if (search.size() <= kLongestExpected && (searchChars += search.size()) <= kExpectedChars)
                searches << std::move(search);
        }
    } catch (const OverflowFailure &) {
        TooLargeForOneRun();
        return;
    } catch (const Failure &) {
        s.msg.Show(QStringLiteral("Cannot find import file ") + path
                       + QStringLiteral("\r Make sure file exist or Import new file."),
                   MsgIcon::Information);
        return;
    }
    progress.recordsLeft = lines;

    try {
        CountListLines();
        if (run.useList)
            progress.recordsLeft *= progress.listLineCount;
    } catch (const OverflowFailure &) {
        TooLargeForOneRun();
        return;
    }
    progress.progressMax = progress.recordsLeft;
    progress.progressValue = 0;
    progress.recordsDone = 0;
    progress.busy = true;
    Changed();

    store.ExpectSearches(run.searchField, searches);
    searches.clear();
    store.ExpectWrites(run.replaceField, writeSearches, writeValues);

    progress.begun = true;
    RunEnd runEnd(*this);
    const auto clearItems = qScopeGuard([this] { lineItems_.clear(); });

    try {
        std::unique_ptr<LineReader> file = s.fs.OpenLines(path);
        QString line;
        while (file->Next(line)) {
            lineItems_ = SplitItems(line, run.delimiter);
            run.searchValue = ItemAt(lineItems_, *searchItem);
            run.replaceValue = ItemAt(lineItems_, *replaceItem);
            if (report)
                report->LineRead(run.searchValue);
            if (!run.searchValue.isEmpty()) {
                line_ = {true, false, false};
                if (run.useList)
                    Check_ReplaceList();
                else
                    Load_Data();
                EndLine();
            }
            lineItems_.clear();
        }
    } catch (const Failure &error) {
        s.msg.Show(QStringLiteral("The import stopped at the line for \"%1\": %2\rThe records updated before it keep their new values.")
                       .arg(run.searchValue, error.message()),
                   MsgIcon::Critical);
    }
}

// A line can end inside its last update, where the run's completion is
// logged; whichever comes first counts it.
void Engine::EndLine()
{
    if (line_.open && line_.updated && !line_.matched)
        ++progress.linesWithoutMatch;
    line_ = {};
}

void Engine::TooLargeForOneRun()
{
    progress.overLimit = true;
    s.msg.Show(QStringLiteral("The import is too large for one run: it would make more than 32767 updates "
                              "(lines with a search value, times the lines of the replacement list when it is used), "
                              "or the replacement list has more than 32767 lines. "
                              "Split the import file or the list; nothing was updated."),
               MsgIcon::Critical);
}
