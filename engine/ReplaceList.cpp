// The replacement list "\list.lst": field/value entries applied one after
// the other in place of the single replace pair.
#include "Engine.h"

#include "Failure.h"
#include "Items.h"

namespace {

const QString kFileValue = QStringLiteral("File Value__");

} // namespace

QString Engine::ListPath() const
{
    return s.folder.File(QStringLiteral("\\list.lst"));
}

void Engine::Check_ReplaceList()
{
    std::unique_ptr<LineReader> list = s.fs.OpenLines(ListPath());
    struct ClearList1
    {
        QStringList &items;
        ~ClearList1() { items.clear(); }
    } clearList1{v.List1};

    QString line;
    while (list->Next(line)) {
        // Entries that take their value from an import line mean nothing in a batch run.
        if (line.startsWith(kFileValue) && !v.Option_Import.Value)
            continue;
        v.List1 = SplitItems(line, v.Delimiter);
        v.Combo2.Text = ItemAt(v.List1, 1);
        if (ItemAt(v.List1, 0) == kFileValue) {
            const std::optional<long long> n = RoundToWholeNumber(ItemAt(v.List1, 2));
            if (!n || *n < Int16::kMin || *n > Int16::kMax)
                throw Failure(QStringLiteral("The replacement list entry \"%1\" has the item number \"%2\", "
                                             "which is not a number from -32768 to 32767.")
                                  .arg(line, ItemAt(v.List1, 2)));
            v.Text2.Text = ItemAt(v.List2, *n);
        } else {
            v.Text2.Text = ItemAt(v.List1, 2);
        }
        Load_Data();
        v.List1.clear();
    }
}

void Engine::Chk_RepFromLst_Click()
{
    v.ProgressBar1.Value = 0;
    if (v.Chk_RepFromLst.Value == 1) {
        v.Label3.Visible = false;
        v.Label4.Visible = false;
        v.Combo2.Visible = false;
        v.txtReplace_col.Visible = false;
        v.Text2.Visible = false;
        // A list that cannot be read shows as an empty view.
        try {
            v.txtshowlist.Text = s.fs.ReadWhole(ListPath()).text;
        } catch (const Failure &) {
            v.txtshowlist.Text.clear();
        }
        v.txtshowlist.Visible = true;
    } else {
        v.Label3.Visible = true;
        v.Label4.Visible = true;
        v.Combo2.Visible = true;
        if (v.Option_Import.Value)
            v.txtReplace_col.Visible = true;
        else
            v.Text2.Visible = true;
        v.txtshowlist.Visible = false;
    }
    v.Notify();
}

// Lines of the list file, every line counted. A list that cannot be read
// counts the lines read before; a count beyond 32,767 throws OverflowFailure.
void Engine::CountListLines()
{
    v.ListLineCount = 0;
    try {
        std::unique_ptr<LineReader> list = s.fs.OpenLines(ListPath());
        QString line;
        while (list->Next(line))
            v.ListLineCount += 1;
    } catch (const OverflowFailure &) {
        throw;
    } catch (const FileFailure &) {
        // A list that cannot be opened or read counts what was read: the
        // runs treat it as the empty list it shows as.
    }
}
