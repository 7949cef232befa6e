// Hostile input files read by whole runs: sizes far beyond any real import
// file, bytes no editor would write, settings files mangled by hand, item
// numbers and search values that try to break the rules. Every case ends with
// a clear outcome, within a bound on memory and time, and never with a crash.
#include "EngineRig.h"
#include "HostileProgram.h"
#include "HostileWindow.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <sys/statvfs.h>

namespace {

// Literals with embedded NULs keep every byte.
template <qsizetype N>
QByteArray Bytes(const char (&s)[N])
{
    return QByteArray(s, N - 1);
}

const QByteArray kImportSettings = "Option=Import\nSearch_Field=REFERENCE\nReplace_Field=TITLE\nSearch_Col=0\nReplace_Col=1\n";

double Seconds(const QElapsedTimer &clock)
{
    return double(clock.nsecsElapsed()) / 1e9;
}

double Mb(long kb)
{
    return double(kb) / 1024.0;
}

// The built program over a small card table, importing the file at path.
HostileProgram::Outcome Import(HostileProgram &program, const QString &path)
{
    program.Settings(kImportSettings + "Import_File=" + path.toUtf8() + "\n");
    return program.Run();
}

// The built program over two cards, A1 and A2.
struct Cards : HostileProgram
{
    Cards() : HostileProgram("REFERENCE TEXT(20), TITLE TEXT(50)")
    {
        db->Exec("INSERT INTO CARD_DATA VALUES ('A1', 'one'), ('A2', 'two')");
    }
};

// The messages of the log's entries, newest first, without their date and time.
QStringList Messages(const QByteArray &log)
{
    QStringList messages;
    for (const QString &entry : QString::fromUtf8(log).split("\r\n", Qt::SkipEmptyParts))
        messages << entry.section(' ', 3).prepend(' ');
    return messages;
}

// One MiB of import lines: `valued` lines with a search value that matches
// no card, then lines of about 4 KiB whose search item is empty.
QByteArray Block(int valued)
{
    QByteArray block;
    for (int i = 0; i < valued; ++i)
        block += "NOMATCH,x\r\n";
    while (block.size() < 1024 * 1024) {
        const qsizetype length = std::min<qsizetype>(4096, 1024 * 1024 - block.size());
        block += ',' + QByteArray(length - 3, 'f') + "\r\n";
    }
    return block;
}

// An import of 1 GiB whose lines with a search value pass 32,767 only in its
// last MiB: the counting pass reads the whole file, refuses the run before
// any update, and holds no more than a line at a time.
TEST(HostileInputTest, GigabyteImportIsRefusedInOneCountingPassWithBoundedMemory)
{
    Cards program;
    struct statvfs disk {};
    ASSERT_EQ(statvfs(QFile::encodeName(program.tmp.Path()).constData(), &disk), 0);
    const double freeGb = double(disk.f_bavail) * double(disk.f_frsize) / 1e9;
    if (freeGb < 3)
        GTEST_SKIP() << "needs 3 GB free in " << program.tmp.Path().toStdString() << " for a 1 GiB import file, has "
                     << freeGb << " GB";

    // 32 lines per MiB: the 32,768th line with a search value opens the last MiB.
    const QByteArray block = Block(32);
    const HostileProgram::Outcome small = Import(program, program.tmp.Write("small.csv", block));
    ASSERT_EQ(small.status, 0) << small.err.toStdString();

    QElapsedTimer clock;
    clock.start();
    const QString path = program.tmp.File("huge.csv");
    {
        QFile huge(path);
        ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
        for (int i = 0; i < 1024; ++i)
            ASSERT_EQ(huge.write(block), block.size());
    }
    const double written = Seconds(clock);
    QFile::remove(program.LogPath());

    const HostileProgram::Outcome big = Import(program, path);
    QFile::remove(path);
    EXPECT_EQ(big.status, 1) << big.err.toStdString();
    EXPECT_TRUE(big.err.contains("too large for one run") && big.err.contains("nothing was updated")) << big.err.toStdString();
    EXPECT_EQ(program.db->Column("TITLE"), QStringList({"one", "two"}));
    EXPECT_EQ(program.LogBytes(), "<missing>");
    const long growthKb = big.peakRssKb - small.peakRssKb;
    EXPECT_LT(growthKb, 16 * 1024) << "peak memory grew with the file";
    std::printf("[figures] HostileInputTest 1 GiB import: written in %.1f s, refused by the program %.1f s after its start "
                "(1 s of it the start-up timer); peak memory %.1f MB against %.1f MB for a 1 MiB file (%+.1f MB)\n",
                written, big.seconds, Mb(big.peakRssKb), Mb(small.peakRssKb), Mb(growthKb));
}

// Writes a one-line import file: head, 100 MB of 'x', tail. The test holds
// no more than a MB of it, so that the program's peak memory is its own.
constexpr qsizetype kLine = 100 * 1000 * 1000;

QString WriteLine(const QString &path, const QByteArray &head, const QByteArray &tail)
{
    QFile file(path);
    const QByteArray mb(1000 * 1000, 'x');
    bool written = file.open(QIODevice::WriteOnly) && file.write(head) == head.size();
    for (qsizetype n = 0; written && n < kLine; n += mb.size())
        written = file.write(mb) == mb.size();
    if (!written || file.write(tail) != tail.size())
        ADD_FAILURE() << "cannot write " << path.toStdString();
    return path;
}

// A single line of 100 MB, as the replace value or as the search value: the
// run completes, the value meets the field's rules or matches nothing, and
// memory stays within a small multiple of the line.
TEST(HostileInputTest, HundredMegabyteLineCompletesWithinASmallMultipleOfItsSize)
{
    const struct
    {
        const char *name;
        QByteArray head, tail;  // around the 100 MB of the line
        QStringList log;        // the messages of the log's entries
        int bound;              // peak memory growth, in times the line
    } cases[] = {
        // TITLE TEXT(50) refuses the value: one failed update, then the end.
        // The line is held decoded and split, two bytes a character for each
        // text, and the refusal need not quote more of the value than a
        // reader can take in.
        {"replace value", "A1,", "", {" Card data import complete.", " Cancel update - Error in Record A1 of field TITLE"}, 6},
        // The search matches nothing. On top of the texts of the line and of
        // the criteria, the compiled pattern takes 12 bytes a character (its
        // token, and its code point while it is compiled): about 20 times
        // the line, a tenth more in a sanitizer build.
        {"search value", "", ",v", {" Card data import complete."}, 28},
    };
    Cards program;
    const HostileProgram::Outcome small = Import(program, program.tmp.Write("small.csv", "A1,one\r\n"));
    ASSERT_EQ(small.status, 0) << small.err.toStdString();
    QString figures;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(program.LogPath());
        const HostileProgram::Outcome out = Import(program, WriteLine(program.tmp.File("line.csv"), c.head, c.tail));
        EXPECT_EQ(out.status, 0) << out.err.toStdString();
        EXPECT_EQ(program.db->Column("TITLE"), QStringList({"one", "two"}));
        EXPECT_EQ(Messages(program.LogBytes()), c.log);
        const long growthKb = out.peakRssKb - small.peakRssKb;
        EXPECT_LT(growthKb * 1024, c.bound * kLine) << "peak memory beyond " << c.bound << " times the line";
        figures += QStringLiteral("; as the %1, completed in %2 s, peak memory %3 MB (+%4 MB, %5x the line)")
                       .arg(QLatin1String(c.name))
                       .arg(out.seconds, 0, 'f', 1)
                       .arg(Mb(out.peakRssKb), 0, 'f', 0)
                       .arg(Mb(growthKb), 0, 'f', 0)
                       .arg(double(growthKb) * 1024 / double(kLine), 0, 'f', 1);
    }
    std::printf("[figures] HostileInputTest 100 MB line: %.0f MB for a one-line file%s\n", Mb(small.peakRssKb),
                qPrintable(figures));
}

// A field's values in rowid order as the database holds them, every byte of
// their UTF-8 (a NUL included); NULL reads as "<NULL>".
QList<QByteArray> Values(EngineRig &rig, const char *field)
{
    rig.store.Flush();
    sqlite3 *db = nullptr;
    sqlite3_stmt *stmt = nullptr;
    QList<QByteArray> values;
    if (sqlite3_open(rig.dbPath.toUtf8().constData(), &db) == SQLITE_OK
        && sqlite3_prepare_v2(db, QByteArray("SELECT ") + field + " FROM CARD_DATA ORDER BY rowid", -1, &stmt, nullptr) == SQLITE_OK) {
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0));
            values << (text ? QByteArray(text, sqlite3_column_bytes(stmt, 0)) : QByteArray("<NULL>"));
        }
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return values;
}

// An engine over cards A1, A2, Müller and B1, set for import runs that write
// TITLE.
struct ImportRig : EngineRig
{
    ImportRig()
    {
        for (const char *values : {"'A1', 't1', 1", "'A2', 't2', 2", "'Müller', 't3', 3", "'B1', 't4', 4"})
            Add(values);
        Import("REFERENCE", "", "TITLE", "", 0);
        tmp.Write("list.lst", "");
    }
    void Run(const QByteArray &import, const QByteArray &list = {})
    {
        run.importFile = tmp.Write("import.csv", import);
        if (!list.isEmpty())
            tmp.Write("list.lst", list);
        run.useList = !list.isEmpty();
        engine.Command3_Click();
    }
};

// Every line end, NUL bytes, Windows-1252 and broken UTF-8 in import and list
// files, through whole runs: a line ends at CR LF or a lone CR, a lone LF is a
// character, a file is UTF-8 only when all of it is, and every byte is kept.
TEST(HostileInputTest, BytesAndLineEndsOfImportAndListFilesAreReadByTheRules)
{
    const struct
    {
        const char *name;
        QByteArray import, list;  // the list is applied when not empty
        QList<QByteArray> titles, qtys;  // of A1, A2, Müller, B1
        QByteArray logged;        // a failed update's entry in the log
    } cases[] = {
        {"CR LF, lone CR, LF CR, none at the end", "A1,one\r\nA2,two\rM\xc3\xbcller,drei\n\rB1,four", "",
         {"one", "two", "drei\n", "four"}, {"1", "2", "3", "4"}, ""},
        {"Windows-1252", "M\xfcller,caf\xe9\r\nA1,\x80\x81\x8d\r\n", "",
         {"\xe2\x82\xac\xc2\x81\xc2\x8d", "t2", "caf\xc3\xa9", "t4"}, {"1", "2", "3", "4"}, ""},
        {"UTF-8 spoilt by one byte", "A1,caf\xc3\xa9\r\nA2,\xff\r\n", "",
         {"caf\xc3\x83\xc2\xa9", "\xc3\xbf", "t3", "t4"}, {"1", "2", "3", "4"}, ""},
        {"UTF-8 of a surrogate", "A1,\xed\xa0\x80", "",
         {"\xc3\xad\xc2\xa0\xe2\x82\xac", "t2", "t3", "t4"}, {"1", "2", "3", "4"}, ""},
        {"NUL bytes", Bytes("A1,a\0b\r\nA\0,z\r\n\0\r\n"), "",
         {Bytes("a\0b"), "t2", "t3", "t4"}, {"1", "2", "3", "4"}, ""},
        // A byte order mark marks the encoding; it is not part of the first item.
        {"byte order mark", "\xef\xbb\xbf" "A1,bom\r\nA2,x\r\n", "",
         {"bom", "x", "t3", "t4"}, {"1", "2", "3", "4"}, ""},
        {"list in Windows-1252, LF CR", "A1,7\r\n", "Fixed Value_,TITLE,caf\xe9\n\rFile Value__,QTY,1\r\n",
         {"caf\xc3\xa9\n", "t2", "t3", "t4"}, {"7", "2", "3", "4"}, ""},
        {"list naming a field with a NUL", "A1,7\r\n", Bytes("Fixed Value_,TI\0TLE,v\r\n"),
         {"t1", "t2", "t3", "t4"}, {"1", "2", "3", "4"}, Bytes(" Cancel update - Error in Record A1 of field TI\0TLE\r\n")},
    };
    QElapsedTimer clock;
    clock.start();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ImportRig rig;
        rig.Run(c.import, c.list);
        EXPECT_EQ(Values(rig, "TITLE"), c.titles);
        EXPECT_EQ(Values(rig, "QTY"), c.qtys);
        EXPECT_EQ(rig.progress.errorCount, c.logged.isEmpty() ? 0 : 1);
        EXPECT_TRUE(rig.LogBytes().startsWith("12-04-2026 3:07:09 PM Card data import complete.\r\n")) << rig.LogBytes().toStdString();
        EXPECT_TRUE(rig.LogBytes().contains(c.logged)) << rig.LogBytes().toStdString();
        EXPECT_TRUE(rig.msg.shown.empty());
    }
    std::printf("[figures] HostileInputTest bytes and line ends: %zu import runs in %.2f s\n", std::size(cases), Seconds(clock));
}

// A list of 10,000 entries is applied whole for every import line as long as
// the run stays within 32,767 updates; beyond that the run is refused before
// any update.
TEST(HostileInputTest, TenThousandEntryListRunsWhileTheUpdatesFitSixteenBits)
{
    QByteArray list;
    for (int i = 0; i < 10000; ++i)
        list += i % 2 ? QByteArray("File Value__,QTY,1\r\n") : "Fixed Value_,TITLE,v" + QByteArray::number(i) + "\r\n";
    const struct
    {
        const char *name;
        QByteArray import;
        bool runs;
    } cases[] = {
        {"3 lines, 30,000 updates", "A1,7\r\nA2,8\r\nB1,9\r\n", true},
        {"4 lines, 40,000 updates", "A1,7\r\nA2,8\r\nB1,9\r\nM*,6\r\n", false},
    };
    QElapsedTimer clock;
    double runSeconds = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ImportRig rig;
        clock.start();
        rig.Run(c.import, list);
        if (c.runs)
            runSeconds = Seconds(clock);
        EXPECT_EQ(Values(rig, "TITLE"), c.runs ? QList<QByteArray>({"v9998", "v9998", "t3", "v9998"})
                                               : QList<QByteArray>({"t1", "t2", "t3", "t4"}));
        EXPECT_EQ(Values(rig, "QTY"), c.runs ? QList<QByteArray>({"7", "8", "3", "9"}) : QList<QByteArray>({"1", "2", "3", "4"}));
        EXPECT_EQ(rig.progress.errorCount, 0);
        if (c.runs) {
            EXPECT_EQ(rig.progress.progressMax, 30000);
            EXPECT_EQ(rig.LogLines(), QStringList({"12-04-2026 3:07:09 PM Card data import complete."}));
            EXPECT_TRUE(rig.msg.shown.empty());
        } else {
            ASSERT_EQ(rig.msg.shown.size(), 1u);
            EXPECT_TRUE(rig.msg.shown[0].text.contains("32767")) << rig.msg.shown[0].text.toStdString();
            EXPECT_EQ(rig.LogBytes(), "<missing>");
        }
    }
    EXPECT_LT(runSeconds, 20) << "30,000 updates from a 10,000-entry list";
    std::printf("[figures] HostileInputTest 10,000-entry list: 3 import lines, 30,000 updates in %.1f s\n", runSeconds);
}

// A settings file mangled by hand: lines of garbage and NULs, keys twice in
// different letter case, a value of 1 MiB, no section header at all. The
// tool starts, reads what it can, and its own Save keeps every other byte.
TEST(HostileInputTest, MangledSettingsFileIsReadAsFarAsItCanBeAndKeptBySave)
{
    const QByteArray huge(1024 * 1024, 'q');
    const QByteArray mangled = Bytes("garbage without an equals sign\n\0\x01\x7f binary=\xc3\xa9\n=no key\n[Bulkrun\n"
                                     "[Bulkrun]\nsearch_field=TITLE\nSEARCH_FIELD=REFERENCE\nSearch_Criteria=")
                               + huge
                               + "\r\nREPLACE_field=QTY\nReplace_Value=x\nReplace_Col=1\nSearch_Col=0\nImport_File=\n"
                                 "Option=Batch\noption=Import\nData_List=No\n;Data_List=Yes\n[KVRFennic]\nfile_register=1\n"
                                 "File_Register=\ntrailing garbage";
    const QByteArray noSections = "Search_Field=TITLE\nOption=Import\ngarbage\n";
    const struct
    {
        const char *name;
        QByteArray ini;
        bool firstStart;        // nothing registered: the first start records it and ends
        QString combo1, combo2;  // as read
        qsizetype text1;        // length of Text1 as read
    } cases[] = {
        {"garbage, duplicates, 1 MiB value", mangled, false, "TITLE", "QTY", huge.size()},
        {"no section header", noSections, true, "", "", 0},
    };
    QElapsedTimer clock;
    clock.start();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        HostileWindow w("REFERENCE TEXT, TITLE TEXT, QTY INTEGER");
        w.tmp.Write("Tavrin.ini", c.ini);
        if (c.firstStart) {
            EXPECT_THROW(w.Start(), ProgramEnded);
            ASSERT_EQ(w.msg.shown.size(), 1u);
            EXPECT_TRUE(w.msg.shown[0].text.startsWith("This is the first time"));
        }
        w.Start();
        w.window->show();
        EXPECT_EQ(w.v.Combo1.Text, c.combo1);
        EXPECT_EQ(w.v.Combo2.Text, c.combo2);
        EXPECT_EQ(w.v.Text1.Text.size(), c.text1);
        EXPECT_EQ(w.Ctl<QLineEdit>("Text1")->text().size(), c.text1);
        EXPECT_TRUE(w.v.Option_Batch.Value);
        const QByteArray before = w.Ini();
        w.Click("Command2");
        // Every key saved holds what was read: a file with all of them stays
        // as it was; one with none only grows.
        const QByteArray after = w.Ini();
        EXPECT_TRUE(c.firstStart ? after.startsWith(c.ini) : after == before)
            << "file of " << before.size() << " bytes saved as " << after.size() << " bytes";
        EXPECT_EQ(w.msg.shown.size(), c.firstStart ? 1u : 0u);
    }
    std::printf("[figures] HostileInputTest mangled settings: 2 starts and saves, one with a 1 MiB value, in %.1f s\n",
                Seconds(clock));
}

// The item number boxes as typed: a whole number of 0 or more (blanks and a
// sign allowed) is taken, even one far beyond any line; anything else stops
// the run before it starts with a message naming the box and its text.
TEST(HostileInputTest, ItemNumberBoxesTakeWholeNumbersAndNameAnythingElse)
{
    HostileWindow w("REFERENCE TEXT, TITLE TEXT");
    w.db->Exec("INSERT INTO CARD_DATA VALUES ('A1', 'in'), ('A2', 'in'), ('B1', 'in')");
    const QString import = w.tmp.Write("import.csv", "A1,out,third\r\nA2,gone\r\n");
    w.tmp.Write("Tavrin.ini", "[Bulkrun]\nSearch_Field=REFERENCE\nReplace_Field=TITLE\nOption=Import\nImport_File="
                                  + import.toUtf8() + "\n[KVRFennic]\nFile_register=1\n");
    w.Start();
    QElapsedTimer clock;
    clock.start();
    const struct
    {
        QString search, replace;
        const char *refused;  // the frame of the box named by the message
        QStringList titles;
    } cases[] = {
        {"1e3", "1", "Search For", {"in", "in", "in"}},
        {"0", "1e3", "Replace With", {"in", "in", "in"}},
        {"99999999999999999999", "1", "Search For", {"in", "in", "in"}},
        {"-1", "1", "Search For", {"in", "in", "in"}},
        {QStringLiteral(u"\u0663"), "1", "Search For", {"in", "in", "in"}},  // an Arabic-Indic three
        {"-0", "1", nullptr, {"out", "gone", "in"}},
        {"0", " 2", nullptr, {"third", "", "in"}},
        {"99999999999", "1", nullptr, {"in", "in", "in"}},  // no line has such an item: nothing to do
        {"0", "99999999999", nullptr, {"", "", "in"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE((c.search + " / " + c.replace).toStdString());
        w.db->Exec("UPDATE CARD_DATA SET TITLE = 'in'");
        w.msg.shown.clear();
        w.Ctl<QLineEdit>("txtSearch_col")->setText(c.search);
        w.Ctl<QLineEdit>("txtReplace_col")->setText(c.replace);
        w.Click("Command3");
        EXPECT_EQ(w.db->Column("TITLE"), c.titles);
        if (c.refused) {
            ASSERT_EQ(w.msg.shown.size(), 1u);
            EXPECT_EQ(w.msg.shown[0].icon, MsgIcon::Critical);
            const QString text = QStringLiteral("%1, Item No From File: \"%2\" is not an item number.")
                                     .arg(QLatin1String(c.refused), c.refused == QLatin1String("Search For") ? c.search : c.replace);
            EXPECT_TRUE(w.msg.shown[0].text.startsWith(text)) << w.msg.shown[0].text.toStdString();
        } else {
            EXPECT_TRUE(w.msg.shown.empty()) << w.msg.shown[0].text.toStdString();
        }
    }
    std::printf("[figures] HostileInputTest item numbers: %zu Import clicks in %.2f s\n", std::size(cases), Seconds(clock));
}

// Search values full of the Like pattern's special characters and of quotes,
// in a batch run and in an import run: each matches by the Like rules, a
// quote makes a value that cannot be searched (the update fails and is
// logged, nothing else happens), and a quote in a replace value is data.
TEST(HostileInputTest, SpecialCharactersAndQuotesMatchByTheLikeRulesAndNeverReachSql)
{
    const char *const refs[] = {"'[A]'", "'A*1'", "'#5'", "'?'", "'it''s'", "'a_b'", "'axb'",
                                "'100%'", "'1000'", "'*'", "NULL", "'[]'", "'x'' OR ''1''=''1'"};
    const int kCards = int(std::size(refs));
    const int kAll[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12};
    const struct
    {
        const char *pattern;
        std::vector<int> hits;  // the cards it matches
        bool refused = false;
    } cases[] = {
        {"*", {std::begin(kAll), std::end(kAll)}},
        {"[[]*", {0, 11}},
        {"*[*]*", {1, 9}},
        {"[#]#", {2}},
        {"[?]", {3}},
        {"?", {3, 9}},
        {"a_b", {5}},  // an underscore is itself
        {"100%", {7, 8}},
        {"[[]]", {11}},
        {"[!a-z0-9]*", {0, 2, 3, 9, 11}},
        {"]", {}},
        {"it's", {}, true},
        {"x' OR '1'='1", {}, true},
        {"*'; DROP TABLE CARD_DATA; --", {}, true},
        {"[z-a]", {}, true},
        {"[A", {}, true},
    };
    const auto NewRig = [&] {
        auto rig = std::make_unique<EngineRig>("REFERENCE TEXT(40), TITLE TEXT(80), QTY INTEGER");
        for (int i = 0; i < kCards; ++i)
            rig->Add(QStringLiteral("%1, 't%2', %2").arg(QLatin1String(refs[i])).arg(i));
        rig->tmp.Write("list.lst", "");
        return rig;
    };
    const auto Failed = [](const char *pattern) {
        return QStringLiteral("12-04-2026 3:07:09 PM Cancel update - Error in Record %1 of field TITLE").arg(QLatin1String(pattern));
    };

    QElapsedTimer clock;
    clock.start();
    QStringList imported;  // what the import run below leaves in TITLE
    for (int i = 0; i < kCards; ++i)
        imported << QStringLiteral("t%1").arg(i);
    QByteArray import;
    QStringList importLog;
    for (std::size_t row = 0; row < std::size(cases); ++row) {
        const auto &c = cases[row];
        SCOPED_TRACE(c.pattern);
        const auto rig = NewRig();
        rig->Batch("REFERENCE", c.pattern, "TITLE", "hit", 0);
        rig->engine.cmdexeNow_Click();
        QStringList titles;
        for (int i = 0; i < kCards; ++i) {
            const bool hit = std::find(c.hits.begin(), c.hits.end(), i) != c.hits.end();
            titles << (hit ? QStringLiteral("hit") : QStringLiteral("t%1").arg(i));
            if (hit)
                imported[i] = QStringLiteral("L%1").arg(row);
        }
        EXPECT_EQ(rig->Column("TITLE"), titles);
        EXPECT_EQ(rig->progress.errorCount, c.refused ? 1 : 0);
        if (c.refused) {
            EXPECT_EQ(rig->LogLines(), QStringList({Failed(c.pattern)}));
            importLog.prepend(Failed(c.pattern));
        }
        import += QByteArray(c.pattern) + ",L" + QByteArray::number(row) + "\r\n";
    }

    // One import run through all of them, searching the same field line after
    // line, and a replace value that tries to end the statement.
    const QString quoted = QStringLiteral("O'Brien'); DROP TABLE CARD_DATA; --");
    import += "axb," + quoted.toUtf8() + "\r\n";
    imported[6] = quoted;
    const auto rig = NewRig();
    rig->run.importFile = rig->tmp.Write("import.csv", import);
    rig->Import("REFERENCE", "", "TITLE", "", 0);
    rig->engine.Command3_Click();
    EXPECT_EQ(rig->Column("TITLE"), imported);
    EXPECT_EQ(rig->progress.errorCount, 5);
    importLog.prepend("12-04-2026 3:07:09 PM Card data import complete.");
    EXPECT_EQ(rig->LogLines(), importLog);
    EXPECT_TRUE(rig->msg.shown.empty());
    std::printf("[figures] HostileInputTest Like patterns and quotes: %zu batch runs and one import run in %.2f s\n",
                std::size(cases), Seconds(clock));
}

} // namespace
