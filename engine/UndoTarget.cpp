#include "UndoTarget.h"

#include "JournalUndo.h"

#include <QFileInfo>

bool SameCardDatabase(const JournalSummary &journal, const QString &cardDatabase)
{
    if (!journal.cardTable.isEmpty())
        return SameServer(journal, cardDatabase);
    const QString canonical = QFileInfo(journal.cardDatabase).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(cardDatabase).canonicalFilePath();
}

std::unique_ptr<UndoTarget> OpenUndoTarget(const JournalSummary &journal, const QString &cardDatabase)
{
    if (journal.cardTable.isEmpty())
        return OpenSqliteUndoTarget(journal);
    return OpenPgUndoTarget(journal, SameServer(journal, cardDatabase) ? cardDatabase : journal.cardDatabase);
}
