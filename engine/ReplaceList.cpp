// The replacement list "\list.lst": field/value entries applied one after
// the other in place of the single replace pair.
#include "Engine.h"

#include "Failure.h"
#include "Items.h"

namespace {

const QString kFileValue = QStringLiteral("File Value__");

} // namespace

void Engine::Check_ReplaceList()
{
    std::unique_ptr<LineReader> list = s.fs.OpenLines(s.folder.ListFile());
    QString line;
    while (list->Next(line)) {
        // Entries that take their value from an import line mean nothing in a batch run.
        if (line.startsWith(kFileValue) && run.mode != RunMode::Import)
            continue;
        const QStringList entry = SplitItems(line, run.delimiter);
        run.replaceField = ItemAt(entry, 1);
        if (ItemAt(entry, 0) == kFileValue) {
            const std::optional<long long> n = RoundToWholeNumber(ItemAt(entry, 2));
            if (!n || *n < Int16::kMin || *n > Int16::kMax)
                throw Failure(QStringLiteral("The replacement list entry \"%1\" has the item number \"%2\", "
                                             "which is not a number from -32768 to 32767.")
                                  .arg(line, ItemAt(entry, 2)));
            run.replaceValue = ItemAt(lineItems_, *n);
        } else {
            run.replaceValue = ItemAt(entry, 2);
        }
        Load_Data();
    }
}

// Lines of the list file, every line counted. A list that cannot be read
// counts the lines read before; a count beyond 32,767 throws OverflowFailure.
void Engine::CountListLines()
{
    progress.listLineCount = 0;
    try {
        std::unique_ptr<LineReader> list = s.fs.OpenLines(s.folder.ListFile());
        QString line;
        while (list->Next(line))
            progress.listLineCount += 1;
    } catch (const OverflowFailure &) {
        throw;
    } catch (const FileFailure &) {
        // A list that cannot be opened or read counts what was read: the
        // runs treat it as the empty list it shows as.
    }
}
