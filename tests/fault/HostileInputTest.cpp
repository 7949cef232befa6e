// Hostile input files: import files far beyond any real one, read by whole
// runs of the built program. Every case ends with a clear outcome, within a
// bound on memory, and never with a crash. (A settings file mangled by hand
// is the old file of the settings' Save in DiskFullTest.)
#include "CardDb.h"
#include "ProgramUnderTest.h"

#include <gtest/gtest.h>

#include <string>

#include <sys/statvfs.h>

namespace {

using namespace std::string_literals;

// One MiB of import lines: 32 with a search value that matches no card, then
// lines of about 4 KiB whose search item is empty.
QByteArray Block()
{
    QByteArray block = QByteArray("NOMATCH,x\r\n").repeated(32);
    while (block.size() < 1024 * 1024)
        block += ',' + QByteArray(std::min<qsizetype>(4096, 1024 * 1024 - block.size()) - 3, 'f') + "\r\n";
    return block;
}

// Imports with a search value on 32,768 lines, the last of them in the last
// of 1,024 MiB, one line of 100 MB, or NUL bytes. The test holds no more
// than a MiB of a file, so that the program's peak memory is its own.
TEST(HostileInputTest, HugeImportFilesEndClearlyWithinBoundedMemory)
{
    ProgramUnderTest program;
    struct statvfs disk{};
    if (statvfs(QFile::encodeName(program.tmp.Path()).constData(), &disk) != 0 || double(disk.f_bavail) * double(disk.f_frsize) < 3e9)
        GTEST_SKIP() << "needs 3 GB free in " << program.tmp.Path().toStdString() << " for a 1 GiB import file";
    CardDb(program.DatabasePath()).Exec("CREATE TABLE CARD_DATA (REFERENCE TEXT(20), TITLE TEXT(50));"
                                        "INSERT INTO CARD_DATA VALUES ('A1', 'one'), ('A2', 'two')");
    program.WriteSettings("Replace_Field=TITLE\n");
    const QByteArray mb(1000 * 1000, 'x');
    const struct
    {
        const char *name;
        QByteArray head, chunk;  // the file is head, then 1,024 or 100 chunks, then tail
        int chunks;
        QByteArray tail;
        int status;
        QStringList logged;
        double boundMb;  // peak memory beyond that of a one-line import
        QString title = QStringLiteral("one");  // of A1 afterwards
    } cases[] = {
        {"one line", "A1,one\r\n", "", 0, "", 0, {kImportDone}, 1},
        // Counted in one pass and refused before any update. The counted
        // lines' search values and texts are held for the store meanwhile:
        // 32,767 short texts, twice their size under a sanitizer.
        {"1 GiB of lines", "", Block(), 1024, "", 1, {}, 24},
        // TITLE TEXT(50) refuses the value. The line is held decoded and
        // split, two bytes a character for each text.
        {"100 MB line, the replace value", "A1,", mb, 100, "", 0, {FailedUpdate("A1", "TITLE"), kImportDone}, 600},
        // The search matches nothing. On top of the texts of the line and of
        // the criteria, the compiled pattern takes 12 bytes a character (its
        // token, and its code point while it is compiled): about 20 times the
        // line, a tenth more in a sanitizer build.
        {"100 MB line, the search value", "", mb, 100, ",v", 0, {kImportDone}, 2800},
        // Every byte is kept; a search value with a NUL matches nothing.
        {"NUL bytes", QByteArray::fromStdString("A1,a\0b\r\nA\0,z\r\n\0\r\n"s), "", 0, "", 0, {kImportDone}, 1, QStringLiteral("a\0b")},
    };
    long baseKb = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QFile file(program.ImportPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(c.head) == c.head.size());
        for (int i = 0; i < c.chunks; ++i)
            ASSERT_EQ(file.write(c.chunk), c.chunk.size());
        ASSERT_EQ(file.write(c.tail), c.tail.size());
        file.close();
        QFile::remove(program.LogPath());
        const ProgramOutcome out = program.Run();

        EXPECT_EQ(out.status, c.status) << out.output.toStdString();
        EXPECT_EQ(out.status == 1, out.output.contains("too large for one run") && out.output.contains("nothing was updated"))
            << out.output.toStdString();
        EXPECT_EQ(CardDb(program.DatabasePath()).Column("TITLE"), QStringList({c.title, "two"}));
        EXPECT_EQ(program.LogMessages(), c.logged);
        baseKb = baseKb ? baseKb : out.peakRssKb;
        EXPECT_LT(double(out.peakRssKb - baseKb) / 1024, c.boundMb) << "peak memory grew beyond its bound: " << out.peakRssKb / 1024 << " MB";
    }
}

} // namespace
