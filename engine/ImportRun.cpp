// The Import command: updates the card records line by line from a delimited
// text file.
#include "Engine.h"

#include "Failure.h"
#include "Items.h"

namespace {

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
    const QString path = v.txtImportFile.Text;

    const std::optional<long long> searchItem = ItemNumber(v.txtSearch_col.Text);
    const std::optional<long long> replaceItem = ItemNumber(v.txtReplace_col.Text);
    for (const auto &[number, box] : {std::pair{searchItem, &v.txtSearch_col}, std::pair{replaceItem, &v.txtReplace_col}}) {
        if (!number) {
            const QString frame = box == &v.txtSearch_col ? QStringLiteral("Search For") : QStringLiteral("Replace With");
            s.msg.Show(QStringLiteral("%1, Item No From File: \"%2\" is not an item number. "
                                      "Enter a whole number of 0 or more (0 is the first item of a line).")
                           .arg(frame, box->Text),
                       MsgIcon::Critical);
            return;
        }
    }

    // Counting pass: the lines that will be updated, those with a search value.
    Int16 lines;
    try {
        std::unique_ptr<LineReader> file = s.fs.OpenLines(path);
        QString line;
        while (file->Next(line)) {
            if (!ItemAt(SplitItems(line, v.Delimiter), *searchItem).isEmpty())
                lines += 1;
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
    v.RecordsLeft = lines;

    try {
        CountListLines();
        if (v.Chk_RepFromLst.Value == 1)
            v.RecordsLeft *= v.ListLineCount;
    } catch (const OverflowFailure &) {
        TooLargeForOneRun();
        return;
    }
    v.ProgressBar1.Max = v.RecordsLeft;
    v.ProgressBar1.Value = 0;
    v.RecordsDone = 0;
    v.MousePointer = kBusyPointer;
    v.Notify();

    v.RunBegun = true;
    RunEnd runEnd(*this);
    struct ClearList2
    {
        QStringList &items;
        ~ClearList2() { items.clear(); }
    } clearList2{v.List2};

    try {
        std::unique_ptr<LineReader> file = s.fs.OpenLines(path);
        QString line;
        while (file->Next(line)) {
            v.List2 = SplitItems(line, v.Delimiter);
            v.Text1.Text = ItemAt(v.List2, *searchItem);
            v.Text2.Text = ItemAt(v.List2, *replaceItem);
            if (!v.Text1.Text.isEmpty()) {
                if (v.Chk_RepFromLst.Value == 1)
                    Check_ReplaceList();
                else
                    Load_Data();
            }
            v.List2.clear();
        }
    } catch (const Failure &error) {
        s.msg.Show(QStringLiteral("The import stopped at the line for \"%1\": %2\rThe records updated before it keep their new values.")
                       .arg(v.Text1.Text, error.message()),
                   MsgIcon::Critical);
    }
}

void Engine::TooLargeForOneRun()
{
    s.msg.Show(QStringLiteral("The import is too large for one run: it would make more than 32767 updates "
                              "(lines with a search value, times the lines of the replacement list when it is used), "
                              "or the replacement list has more than 32767 lines. "
                              "Split the import file or the list; nothing was updated."),
               MsgIcon::Critical);
}
