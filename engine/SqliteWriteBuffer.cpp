#include "SqliteWriteBuffer.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <mutex>

// SQLite writes a rollback journal record as three writes (the page number,
// the page, a checksum) and, at commit, every changed page of the database
// with a write of its own: some 80,000 system calls for 30,000 updates at
// random places in a large table, each a trip through the file system for a
// few bytes or one page. This VFS passes everything to the system's own,
// except that the writes of a rollback journal and of a main database that
// continue one another are gathered in memory and handed on as one write.
//
// What SQLite relies on stays true, because a file's gathered writes are
// handed on before anything that could see or order them: a read, a sync, a
// lock released or a shared-memory call of that file, a file control, the
// close, and, for a database file, any write to the database itself, before
// which its journal's gathered records are handed on. The connections that
// use it never turn synchronous off, so SQLite syncs a journal before it
// overwrites the pages the journal keeps, and a database before a commit
// counts as done; a process killed while writes are gathered loses no more
// than writes not yet synced. A write that the system refuses (a full disk)
// is reported by the call that handed it on (at the latest the sync of a
// commit, which then fails and is rolled back) and stays gathered, so that
// the file reads as SQLite wrote it, as the system's own cache would have
// it.
namespace sqlite {

namespace {

// The system's VFS writes at most 128 KiB less one byte in one call.
constexpr int kGatherBytes = 120 * 1024;

struct GatheredFile
{
    sqlite3_file base;
    sqlite3_file *real;
    bool journal;
    char *buffer;
    sqlite3_int64 start;
    int length;
    const char *journalName; // a database's: the name of its rollback journal
    const char *name;         // a journal's own
    GatheredFile *nextJournal;
};

sqlite3_vfs *Real(sqlite3_vfs *vfs)
{
    return static_cast<sqlite3_vfs *>(vfs->pAppData);
}

GatheredFile *Gathered(sqlite3_file *file)
{
    return reinterpret_cast<GatheredFile *>(file);
}

// The open journals, whose records must reach the file system before a page
// of their database does. A journal is written only by the connection that
// holds its database's write lock, the one about to write the page; the
// lock keeps connections on other threads from racing over the list.
std::mutex journalsLock;
GatheredFile *journals = nullptr;

// A write the system refuses stays gathered: SQLite took it as done, and a
// rollback reads it back (see Read).
int HandOn(GatheredFile *f)
{
    if (f->length == 0)
        return SQLITE_OK;
    const int rc = f->real->pMethods->xWrite(f->real, f->buffer, f->length, f->start);
    if (rc == SQLITE_OK)
        f->length = 0;
    return rc;
}

int HandOnJournalOf(const GatheredFile *database)
{
    const std::lock_guard<std::mutex> hold(journalsLock);
    for (GatheredFile *j = journals; j; j = j->nextJournal) {
        if (std::strcmp(j->name, database->journalName) == 0) {
            if (const int rc = HandOn(j); rc != SQLITE_OK)
                return rc;
        }
    }
    return SQLITE_OK;
}

int Close(sqlite3_file *file)
{
    GatheredFile *f = Gathered(file);
    const int handed = HandOn(f);
    if (f->journal) {
        const std::lock_guard<std::mutex> hold(journalsLock);
        for (GatheredFile **j = &journals; *j; j = &(*j)->nextJournal) {
            if (*j == f) {
                *j = f->nextJournal;
                break;
            }
        }
    }
    sqlite3_free(f->buffer);
    f->buffer = nullptr;
    const int closed = f->real->pMethods ? f->real->pMethods->xClose(f->real) : SQLITE_OK;
    return handed != SQLITE_OK ? handed : closed;
}

// Gathered writes that cannot be handed on (a full disk) are read from
// memory, over what the file holds: the rollback after a failed commit
// reads the journal's records back to restore the pages they kept.
int Read(sqlite3_file *file, void *out, int amount, sqlite3_int64 offset)
{
    GatheredFile *f = Gathered(file);
    if (HandOn(f) == SQLITE_OK)
        return f->real->pMethods->xRead(f->real, out, amount, offset);
    sqlite3_int64 size = 0;
    if (const int rc = f->real->pMethods->xFileSize(f->real, &size); rc != SQLITE_OK)
        return rc;
    const int rc = f->real->pMethods->xRead(f->real, out, amount, offset);
    if (rc != SQLITE_OK && rc != SQLITE_IOERR_SHORT_READ)
        return rc;
    const sqlite3_int64 from = std::max(offset, f->start);
    const sqlite3_int64 to = std::min(offset + amount, f->start + f->length);
    if (from < to)
        std::memcpy(static_cast<char *>(out) + (from - offset), f->buffer + (from - f->start), size_t(to - from));
    return offset + amount <= std::max(size, f->start + f->length) ? SQLITE_OK : SQLITE_IOERR_SHORT_READ;
}

int Write(sqlite3_file *file, const void *data, int amount, sqlite3_int64 offset)
{
    GatheredFile *f = Gathered(file);
    if (!f->journal) {
        if (const int rc = HandOnJournalOf(f); rc != SQLITE_OK)
            return rc;
    }
    if (f->length > 0 && offset == f->start + f->length && f->length + amount <= kGatherBytes) {
        std::memcpy(f->buffer + f->length, data, size_t(amount));
        f->length += amount;
        return SQLITE_OK;
    }
    if (const int rc = HandOn(f); rc != SQLITE_OK)
        return rc;
    if (amount >= kGatherBytes || !f->buffer)
        return f->real->pMethods->xWrite(f->real, data, amount, offset);
    std::memcpy(f->buffer, data, size_t(amount));
    f->start = offset;
    f->length = amount;
    return SQLITE_OK;
}

int Truncate(sqlite3_file *file, sqlite3_int64 size)
{
    GatheredFile *f = Gathered(file);
    if (size <= f->start)
        f->length = 0;
    else if (size < f->start + f->length)
        f->length = int(size - f->start);
    return f->real->pMethods->xTruncate(f->real, size);
}

int Sync(sqlite3_file *file, int flags)
{
    GatheredFile *f = Gathered(file);
    if (const int rc = HandOn(f); rc != SQLITE_OK)
        return rc;
    return f->real->pMethods->xSync(f->real, flags);
}

int FileSize(sqlite3_file *file, sqlite3_int64 *size)
{
    GatheredFile *f = Gathered(file);
    const int rc = f->real->pMethods->xFileSize(f->real, size);
    if (rc == SQLITE_OK && f->length > 0)
        *size = std::max(*size, f->start + f->length);
    return rc;
}

int Lock(sqlite3_file *file, int level)
{
    return Gathered(file)->real->pMethods->xLock(Gathered(file)->real, level);
}

int Unlock(sqlite3_file *file, int level)
{
    GatheredFile *f = Gathered(file);
    if (const int rc = HandOn(f); rc != SQLITE_OK)
        return rc;
    return f->real->pMethods->xUnlock(f->real, level);
}

int CheckReservedLock(sqlite3_file *file, int *reserved)
{
    return Gathered(file)->real->pMethods->xCheckReservedLock(Gathered(file)->real, reserved);
}

int FileControl(sqlite3_file *file, int op, void *arg)
{
    GatheredFile *f = Gathered(file);
    if (const int rc = HandOn(f); rc != SQLITE_OK)
        return rc;
    return f->real->pMethods->xFileControl(f->real, op, arg);
}

int SectorSize(sqlite3_file *file)
{
    return Gathered(file)->real->pMethods->xSectorSize(Gathered(file)->real);
}

int DeviceCharacteristics(sqlite3_file *file)
{
    return Gathered(file)->real->pMethods->xDeviceCharacteristics(Gathered(file)->real);
}

int ShmMap(sqlite3_file *file, int region, int size, int extend, void volatile **out)
{
    GatheredFile *f = Gathered(file);
    if (const int rc = HandOn(f); rc != SQLITE_OK)
        return rc;
    return f->real->pMethods->xShmMap(f->real, region, size, extend, out);
}

int ShmLock(sqlite3_file *file, int offset, int n, int flags)
{
    GatheredFile *f = Gathered(file);
    if (const int rc = HandOn(f); rc != SQLITE_OK)
        return rc;
    return f->real->pMethods->xShmLock(f->real, offset, n, flags);
}

void ShmBarrier(sqlite3_file *file)
{
    GatheredFile *f = Gathered(file);
    HandOn(f);
    f->real->pMethods->xShmBarrier(f->real);
}

int ShmUnmap(sqlite3_file *file, int deleteFlag)
{
    GatheredFile *f = Gathered(file);
    if (const int rc = HandOn(f); rc != SQLITE_OK)
        return rc;
    return f->real->pMethods->xShmUnmap(f->real, deleteFlag);
}

int Fetch(sqlite3_file *file, sqlite3_int64 offset, int amount, void **out)
{
    GatheredFile *f = Gathered(file);
    if (const int rc = HandOn(f); rc != SQLITE_OK)
        return rc;
    return f->real->pMethods->xFetch(f->real, offset, amount, out);
}

int Unfetch(sqlite3_file *file, sqlite3_int64 offset, void *page)
{
    return Gathered(file)->real->pMethods->xUnfetch(Gathered(file)->real, offset, page);
}

const sqlite3_io_methods kMethods = {
    3, Close, Read, Write, Truncate, Sync, FileSize, Lock, Unlock, CheckReservedLock, FileControl, SectorSize,
    DeviceCharacteristics, ShmMap, ShmLock, ShmBarrier, ShmUnmap, Fetch, Unfetch,
};

constexpr int RealOffset()
{
    return int((sizeof(GatheredFile) + alignof(std::max_align_t) - 1) / alignof(std::max_align_t) * alignof(std::max_align_t));
}

// Other files (temporary files, a WAL, a statement journal) are opened
// as the system's VFS opens them, with its own methods.
int Open(sqlite3_vfs *vfs, const char *name, sqlite3_file *file, int flags, int *outFlags)
{
    sqlite3_vfs *real = Real(vfs);
    const bool journal = flags & SQLITE_OPEN_MAIN_JOURNAL;
    if (!journal && !(flags & SQLITE_OPEN_MAIN_DB))
        return real->xOpen(real, name, file, flags, outFlags);
    GatheredFile *f = Gathered(file);
    std::memset(f, 0, sizeof(GatheredFile));
    f->real = reinterpret_cast<sqlite3_file *>(reinterpret_cast<char *>(file) + RealOffset());
    f->journal = journal;
    f->name = name;
    f->journalName = journal ? "" : sqlite3_filename_journal(name);
    const int rc = real->xOpen(real, name, f->real, flags, outFlags);
    if (f->real->pMethods && f->real->pMethods->iVersion >= 3)
        f->base.pMethods = &kMethods;
    else if (f->real->pMethods)
        return (f->real->pMethods->xClose(f->real), SQLITE_CANTOPEN);
    if (rc != SQLITE_OK)
        return rc;
    f->buffer = static_cast<char *>(sqlite3_malloc(kGatherBytes)); // none: every write goes through
    if (journal) {
        const std::lock_guard<std::mutex> hold(journalsLock);
        f->nextJournal = journals;
        journals = f;
    }
    return SQLITE_OK;
}

int Delete(sqlite3_vfs *vfs, const char *name, int syncDir)
{
    return Real(vfs)->xDelete(Real(vfs), name, syncDir);
}

int Access(sqlite3_vfs *vfs, const char *name, int flags, int *result)
{
    return Real(vfs)->xAccess(Real(vfs), name, flags, result);
}

int FullPathname(sqlite3_vfs *vfs, const char *name, int size, char *out)
{
    return Real(vfs)->xFullPathname(Real(vfs), name, size, out);
}

void *DlOpen(sqlite3_vfs *vfs, const char *name)
{
    return Real(vfs)->xDlOpen(Real(vfs), name);
}

void DlError(sqlite3_vfs *vfs, int size, char *out)
{
    Real(vfs)->xDlError(Real(vfs), size, out);
}

void (*DlSym(sqlite3_vfs *vfs, void *handle, const char *symbol))(void)
{
    return Real(vfs)->xDlSym(Real(vfs), handle, symbol);
}

void DlClose(sqlite3_vfs *vfs, void *handle)
{
    Real(vfs)->xDlClose(Real(vfs), handle);
}

int Randomness(sqlite3_vfs *vfs, int size, char *out)
{
    return Real(vfs)->xRandomness(Real(vfs), size, out);
}

int Sleep(sqlite3_vfs *vfs, int microseconds)
{
    return Real(vfs)->xSleep(Real(vfs), microseconds);
}

int CurrentTime(sqlite3_vfs *vfs, double *now)
{
    return Real(vfs)->xCurrentTime(Real(vfs), now);
}

int GetLastError(sqlite3_vfs *vfs, int size, char *out)
{
    return Real(vfs)->xGetLastError(Real(vfs), size, out);
}

int CurrentTimeInt64(sqlite3_vfs *vfs, sqlite3_int64 *now)
{
    return Real(vfs)->xCurrentTimeInt64(Real(vfs), now);
}

sqlite3_vfs MakeVfs(sqlite3_vfs *real)
{
    sqlite3_vfs vfs{};
    vfs.iVersion = 2;
    vfs.szOsFile = RealOffset() + real->szOsFile;
    vfs.mxPathname = real->mxPathname;
    vfs.zName = kWriteBufferVfs;
    vfs.pAppData = real;
    vfs.xOpen = Open;
    vfs.xDelete = Delete;
    vfs.xAccess = Access;
    vfs.xFullPathname = FullPathname;
    vfs.xDlOpen = DlOpen;
    vfs.xDlError = DlError;
    vfs.xDlSym = DlSym;
    vfs.xDlClose = DlClose;
    vfs.xRandomness = Randomness;
    vfs.xSleep = Sleep;
    vfs.xCurrentTime = CurrentTime;
    vfs.xGetLastError = GetLastError;
    vfs.xCurrentTimeInt64 = CurrentTimeInt64;
    return vfs;
}

} // namespace

void RegisterWriteBufferVfs()
{
    static sqlite3_vfs vfs = MakeVfs(sqlite3_vfs_find(nullptr));
    sqlite3_vfs_register(&vfs, 0);
}

} // namespace sqlite
