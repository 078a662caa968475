// The Paradox check and repair against real tables (BDE wrote them), damaged one way each; pxlib
// reads what a repair leaves.
#include "tables/Error.h"
#include "tables/check/TableCheck.h"
#include "tables/check/TableRepair.h"
#include "tables/paradox/ParadoxTable.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

using namespace quillora;
using namespace quillora::test;

namespace {

int le16(const QByteArray& b, int at)
{
    return uchar(b[at]) | (uchar(b[at + 1]) << 8);
}

void patch(const QString& path, int at, std::initializer_list<int> bytes)
{
    QByteArray b = readFile(path);
    int i = at;
    for (int v : bytes)
        b[i++] = char(v);
    writeFile(path, b);
}

// The records as pxlib reads them (px_dump's lines); empty with *why when pxlib is absent or fails.
bool pxlibRecords(const QString& path, QStringList* records, QString* why)
{
    const QString program = QStringLiteral(QUILLORA_PX_DUMP);
    if (program.isEmpty()) {
        *why = QStringLiteral("pxlib is not installed");
        return false;
    }
    QString out, err;
    if (const int rc = runProgram(program, {path}, &out, &err); rc != 0) {
        *why = QStringLiteral("px_dump exit %1: %2").arg(rc).arg(err);
        return false;
    }
    records->clear();
    for (const QString& line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        if (!line.startsWith(QLatin1String("records ")) && !line.startsWith(QLatin1String("field ")))
            records->append(line);
    return true;
}

QStringList faultLines(const check::CheckReport& report)
{
    QStringList lines;
    for (const check::Fault& f : report.faults)
        lines << check::formatFault(f);
    return lines;
}

const char* const kOrders = "paradox/paradoxdriver/db/ORDERS";
const char* const kCustomer = "paradox/paradoxdriver/db/CUSTOMER";
const char* const kMemo = "paradox/paradoxdriver/fields/memo";

QStringList family(const char* base, std::initializer_list<const char*> exts)
{
    QStringList files;
    for (const char* ext : exts)
        files << sample(QLatin1String(base) + QLatin1String(ext));
    return files;
}

// Data block n of ORDERS.DB (2 KiB header, 2 KiB blocks, 8 blocks of 28 records of 71 bytes).
int ordersBlock(int n)
{
    return 2048 + (n - 1) * 2048;
}

struct Damage {
    const char* name;
    QStringList files;                           // the family, the table first
    std::function<void(const QString& table)> apply;
    const char* file;                            // the file the fault names ends so
    const char* place;
    const char* text;                            // a piece of the fault's text
    bool onlyCopy;                               // the records are hurt: only a copy mends it
    int savedRecords;                            // records the copy keeps (-1: all of them)
};

QString sibling(const QString& table, const QString& name)
{
    return QFileInfo(table).dir().filePath(name);
}

std::vector<Damage> damages()
{
    const QStringList orders = family(kOrders, {".DB", ".PX"});
    return {
        {"truncated", orders, [](const QString& t) { QFile(t).resize(ordersBlock(7) + 1000); },
         "ORDERS.DB", "deslocamento 0x3be8", "o arquivo termina no bloco 7, mas o cabeçalho indica 8 blocos", true,
         6 * 28 + 14},
        {"recordCountTooHigh", orders, [](const QString& t) { patch(t, 6, {230, 0, 0, 0}); },
         "ORDERS.DB", "cabeçalho", "o cabeçalho diz 230 registros, os blocos do encadeamento têm 224", false, -1},
        {"recordCountTooLow", orders, [](const QString& t) { patch(t, 6, {200, 0, 0, 0}); },
         "ORDERS.DB", "cabeçalho", "o cabeçalho diz 200 registros, os blocos do encadeamento têm 224", false, -1},
        {"unreadableDate", orders, [](const QString& t) { patch(t, ordersBlock(1) + 6 + 16, {0xFF, 0xFF, 0xFF, 0xFF}); },
         "ORDERS.DB", "registro 1 (bloco 1)", "data inválida no campo 'Sale Date' (dia 2147483647)", true, 224},
        {"autoIncrementBehind", family(kCustomer, {".DB", ".PX", ".MB", ".X06", ".Y06"}),
         [](const QString& t) { patch(t, 0x49, {5, 0, 0, 0}); },
         "CUSTOMER.DB", "cabeçalho", "o contador de autoincremento (5) está abaixo do maior valor já usado", false, -1},
        {"brokenLink", orders, [](const QString& t) { patch(t, ordersBlock(3), {0x00, 0x02}); },
         "ORDERS.DB", "bloco 3", "o encadeamento segue para o bloco 512, fora do arquivo (8 blocos)", true, -1},
        {"loop", orders, [](const QString& t) { patch(t, ordersBlock(8), {2, 0}); },
         "ORDERS.DB", "bloco 8", "o encadeamento volta ao bloco 2 (laço)", true, -1},
        {"blockChainedAndFree", orders, [](const QString& t) { patch(t, 0x4D, {5, 0}); },
         "ORDERS.DB", "bloco 5", "o bloco está no encadeamento e na lista de blocos livres", false, -1},
        {"brokenBackLink", orders, [](const QString& t) { patch(t, ordersBlock(4) + 2, {7, 0}); },
         "ORDERS.DB", "bloco 4", "o bloco aponta para o anterior 7, mas vem depois do 3 no encadeamento", false, -1},
        {"primaryIndexFirstKey", orders,
         [](const QString& t) {
             const QString px = sibling(t, QStringLiteral("ORDERS.PX"));
             const QByteArray h = readFile(px);
             const int entry = le16(h, 0), root = le16(h, 0x1E);
             const int at = le16(h, 2) + (root - 1) * uchar(h[5]) * 1024 + 6 + entry + (entry - 7);  // last key byte of entry 2
             patch(px, at, {uchar(h[at]) ^ 0x01});
         },
         "ORDERS.PX", "entrada 2", "não confere", false, -1},
        {"primaryIndexMissing", orders, [](const QString& t) { QFile::remove(sibling(t, QStringLiteral("ORDERS.PX"))); },
         "ORDERS.PX", "", "falta o índice primário (.PX) desta tabela com chave", false, -1},
        {"secondaryIndexOutOfStep", family(kCustomer, {".DB", ".PX", ".MB", ".X06", ".Y06"}),
         [](const QString& t) {
             const QString x = sibling(t, QStringLiteral("CUSTOMER.X06"));
             const QByteArray h = readFile(x);
             patch(x, le16(h, 2) + 6 + le16(h, 0) - 2, {0x80, 0x09});  // Blk Num of the first entry
         },
         "CUSTOMER.X06", "", "1 registro aponta para o bloco errado", false, -1},
        {"blobPointerOutOfRange", family(kMemo, {".db", ".px", ".mb"}),
         [](const QString& t) {
             int at = -1;
             {
                 ParadoxTable table(t);
                 for (const auto& f : table.rawFields())
                     if (f.code == 0x0C)
                         at = 2048 + 6 + f.offset + f.size - 10;  // the first record's blob descriptor
             }
             ASSERT_GE(at, 0);
             patch(t, at, {0xFF, 0x00, 0x00, 0x7F});
         },
         "memo.mb", "registro 1 (bloco 1)", "aponta para o deslocamento 0x7f000000 do .MB", true, 2},
    };
}

class ParadoxDamage : public testing::TestWithParam<Damage> {};

TEST_P(ParadoxDamage, CheckNamesItAndRepairMendsIt)
{
    QUILLORA_REQUIRE_SAMPLES();
    const Damage& d = GetParam();
    QTemporaryDir dir;
    const QString table = copyInto(dir.path(), d.files);
    QStringList pristine;
    QString why;
    const bool pxlib = pxlibRecords(table, &pristine, &why);
    ASSERT_TRUE(check::checkTable(table).sound()) << faultLines(check::checkTable(table)).join(u'\n').toStdString();

    d.apply(table);
    const QByteArray damagedBytes = readFile(table);
    const check::CheckReport report = check::checkTable(table);
    bool named = false;
    for (const check::Fault& f : report.faults)
        named = named || (f.file.endsWith(QString::fromUtf8(d.file)) && f.place == QString::fromUtf8(d.place) &&
                          f.text.contains(QString::fromUtf8(d.text)));
    EXPECT_TRUE(named) << faultLines(report).join(u'\n').toStdString();
    EXPECT_EQ(check::damagedRecords(report), d.onlyCopy) << faultLines(report).join(u'\n').toStdString();
    // An index out of step does not stop the table from being read as it is.
    const QString faultFile = QString::fromUtf8(d.file);
    if (faultFile.contains(QLatin1String(".PX")) || faultFile.contains(QLatin1String(".X")))
        EXPECT_FALSE(check::damaged(report)) << faultLines(report).join(u'\n').toStdString();

    QString repaired = table;
    if (d.onlyCopy) {
        EXPECT_NE(errorText([&] { check::repairInPlace(table, report); }), QStringLiteral("<no error>"));
        EXPECT_EQ(readFile(table), damagedBytes) << "a refused repair changed the table";
        repaired = QDir(dir.path()).filePath(QStringLiteral("salvo.db"));
        const check::RepairOutcome outcome = check::repairToCopy(table, repaired);
        EXPECT_EQ(outcome.lost.isEmpty(), d.savedRecords < 0) << outcome.lost.join(u'\n').toStdString();
        EXPECT_EQ(readFile(table), damagedBytes) << "the copy changed the original";
        EXPECT_NE(errorText([&] { check::repairToCopy(table, repaired); }), QStringLiteral("<no error>"))
            << "a copy over an existing table";
    } else {
        const check::RepairOutcome outcome = check::repairInPlace(table, report);
        EXPECT_FALSE(outcome.done.isEmpty());
    }
    EXPECT_TRUE(check::checkTable(repaired).sound()) << faultLines(check::checkTable(repaired)).join(u'\n').toStdString();

    if (!pxlib)
        GTEST_SKIP() << "the check passed; pxlib comparison skipped: " << why.toStdString();
    QStringList after;
    ASSERT_TRUE(pxlibRecords(repaired, &after, &why)) << why.toStdString();
    if (d.savedRecords < 0)
        EXPECT_EQ(after, pristine);
    else if (d.savedRecords == pristine.size())
        EXPECT_EQ(after.size(), pristine.size());
    else
        EXPECT_EQ(after, pristine.mid(0, d.savedRecords));
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ParadoxDamage, testing::ValuesIn(damages()),
                         [](const testing::TestParamInfo<Damage>& info) { return std::string(info.param.name); });

TEST(ParadoxRepair, ACopyOfASoundTableHoldsTheSameRecordsAndIndexes)
{
    QUILLORA_REQUIRE_SAMPLES();
    QTemporaryDir dir;
    const QString table = copyInto(dir.path(), family(kCustomer, {".DB", ".PX", ".MB", ".X06", ".Y06"}));
    const QString copy = QDir(dir.path()).filePath(QStringLiteral("copia.db"));
    const check::RepairOutcome outcome = check::repairToCopy(table, copy);
    EXPECT_TRUE(outcome.lost.isEmpty()) << outcome.lost.join(u'\n').toStdString();
    EXPECT_TRUE(QFileInfo::exists(QDir(dir.path()).filePath(QStringLiteral("copia.X06"))));
    EXPECT_TRUE(check::checkTable(copy).sound()) << faultLines(check::checkTable(copy)).join(u'\n').toStdString();
    ParadoxTable a(table), b(copy);
    ASSERT_EQ(a.count(), b.count());
    QByteArray ra, rb;
    for (RecordId ia = a.first(), ib = b.first(); ia != NoRecord; ia = a.next(ia), ib = b.next(ib)) {
        a.read(ia, ra);
        b.read(ib, rb);
        for (int f = 0; f < a.fields().size(); ++f)
            EXPECT_EQ(a.value(ra, f), b.value(rb, f)) << a.fields()[f].name.toStdString();
    }
    EXPECT_EQ(b.indexes().size(), a.indexes().size());
}

TEST(ParadoxRepair, ACopyIsRefusedOverAnExistingTableAndLeavesNothingOnFailure)
{
    QUILLORA_REQUIRE_SAMPLES();
    QTemporaryDir dir;
    const QString table = copyInto(dir.path(), family(kOrders, {".DB", ".PX"}));
    const QString taken = QDir(dir.path()).filePath(QStringLiteral("outra.db"));
    writeFile(taken, "x");
    EXPECT_TRUE(errorText([&] { check::repairToCopy(table, taken); }).contains(QStringLiteral("já existe")));
    EXPECT_EQ(readFile(taken), QByteArray("x"));
    // A header that cannot be read leaves nothing to copy, and nothing of the copy behind.
    patch(table, 5, {0});
    const QString copy = QDir(dir.path()).filePath(QStringLiteral("nova.db"));
    EXPECT_NE(errorText([&] { check::repairToCopy(table, copy); }), QStringLiteral("<no error>"));
    EXPECT_TRUE(QDir(dir.path()).entryList({QStringLiteral("nova.*")}, QDir::Files).isEmpty());
}

TEST(ParadoxCheck, ProgressIsReportedPerBlockAndCanStopTheCheck)
{
    QUILLORA_REQUIRE_SAMPLES();
    QTemporaryDir dir;
    const QString table = copyInto(dir.path(), family(kOrders, {".DB", ".PX"}));
    std::vector<qint64> seen;
    EXPECT_TRUE(check::checkTable(table, [&](qint64 done, qint64 total) {
                    EXPECT_EQ(total, 8);
                    seen.push_back(done);
                    return true;
                }).sound());
    EXPECT_EQ(seen, (std::vector<qint64>{1, 2, 3, 4, 5, 6, 7, 8}));
    const check::CheckReport stopped = check::checkTable(table, [](qint64 done, qint64) { return done < 3; });
    ASSERT_EQ(stopped.faults.size(), 1u);
    EXPECT_EQ(stopped.faults[0].text, QStringLiteral("verificação interrompida antes do fim"));
}

// Every Paradox table of the samples: what the check says of each is what is known to be wrong
// with it, and nothing else (a false alarm on a real file is the worst a check can do).
TEST(ParadoxCheck, TheSamplesHoldOnlyTheirKnownFaults)
{
    QUILLORA_REQUIRE_SAMPLES();
    // Keyed tables whose .PX did not come along, a table whose .MB did not, and an index entry
    // that BDE left naming block 11 for the last record, which lies in block 285.
    const QMap<QString, QStringList> known = {
        {QStringLiteral("paradoxdriver/areas/STATES.DB"),
         {QStringLiteral("STATES.PX: : falta o índice primário (.PX) desta tabela com chave")}},
        {QStringLiteral("pyparadox/test.db"), {QStringLiteral("test.PX: : falta o índice primário (.PX) desta tabela com chave")}},
        {QStringLiteral("teverett-paradoxReader/MEMBRE.DB"),
         {QStringLiteral("MEMBRE.MB: : falta o arquivo de blobs (.MB) para onde os registros apontam")}},
        {QStringLiteral("paradox-reader/zakazky.db"), {QStringLiteral("zakazky.XG0: : 1 registro aponta para o bloco errado")}},
    };
    QDirIterator it(sample(QStringLiteral("paradox")), {QStringLiteral("*.db"), QStringLiteral("*.DB")}, QDir::Files,
                    QDirIterator::Subdirectories);
    int tables = 0;
    while (it.hasNext()) {
        const QString path = it.next();
        const QString name = QDir(sample(QStringLiteral("paradox"))).relativeFilePath(path);
        ++tables;
        QStringList lines;
        for (const check::Fault& f : check::checkTable(path).faults)
            lines << QStringLiteral("%1: %2: %3").arg(QFileInfo(f.file).fileName(), f.place, f.text);
        EXPECT_EQ(lines, known.value(name)) << name.toStdString();
    }
    EXPECT_GT(tables, 50);
}

// A repaired copy of every sample table: sound, and read by pxlib as the original is. Tables
// with a password are refused (the password is not known to make the copy's).
TEST(ParadoxRepair, ACopyOfEverySampleIsSoundAndReadsTheSameInPxlib)
{
    QUILLORA_REQUIRE_SAMPLES();
    QTemporaryDir dir;
    QDirIterator it(sample(QStringLiteral("paradox")), {QStringLiteral("*.db"), QStringLiteral("*.DB")}, QDir::Files,
                    QDirIterator::Subdirectories);
    int n = 0;
    while (it.hasNext()) {
        const QString path = it.next();
        const QString name = QDir(sample(QStringLiteral("paradox"))).relativeFilePath(path);
        const QString copy = QDir(dir.path()).filePath(QStringLiteral("c%1.db").arg(++n));
        check::RepairOutcome outcome;
        const QString error = errorText([&] { outcome = check::repairToCopy(path, copy); });
        if (name.startsWith(QLatin1String("paradoxdriver/encrypt/"))) {
            EXPECT_TRUE(error.contains(QStringLiteral("senha"))) << name.toStdString() << ": " << error.toStdString();
            continue;
        }
        if (error != QStringLiteral("<no error>")) {
            ADD_FAILURE() << name.toStdString() << ": " << error.toStdString();
            continue;
        }
        EXPECT_TRUE(check::checkTable(copy).sound()) << name.toStdString() << "\n"
                                                     << faultLines(check::checkTable(copy)).join(u'\n').toStdString();
        QStringList before, after;
        QString why;
        if (!outcome.lost.isEmpty() || !pxlibRecords(path, &before, &why))
            continue;  // MEMBRE.DB, whose .MB is absent, loses its blobs
        ASSERT_TRUE(pxlibRecords(copy, &after, &why)) << name.toStdString() << ": " << why.toStdString();
        EXPECT_EQ(after, before) << name.toStdString();
    }
}

}  // namespace
