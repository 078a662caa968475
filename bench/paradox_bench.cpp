// Paradox benchmarks: 1,000,000 appends to an unkeyed and to a keyed table, and a full scan
// reading every value, against pxlib doing the same in the same run (paradox_pxlib_bench).
//   bench_paradox SCRATCH_DIR [RECORDS]
// Each measurement runs in a process of its own, so the peak memory printed is that phase's.
#include "tables/Error.h"
#include "tables/paradox/ParadoxFormat.h"
#include "tables/paradox/ParadoxTable.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <numeric>

using namespace quillora;

namespace {

long maxRssKiB()
{
    struct rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

QList<FieldDef> benchFields()
{
    auto f = [](const char* name, FieldType type, int size) {
        FieldDef d;
        d.name = QString::fromLatin1(name);
        d.type = type;
        d.size = size;
        return d;
    };
    return {f("Id", ftInteger, 0), f("Nome", ftString, 30), f("Cidade", ftString, 20), f("Valor", ftFloat, 0),
            f("Qtd", ftInteger, 0), f("Nasc", ftDate, 0), f("Ativo", ftBoolean, 0)};
}

// One phase, in this process: prints "seconds S maxrss_kib M records R" like the pxlib side.
int phase(const QString& mode, const QString& path, qint64 n)
{
    QElapsedTimer timer;
    timer.start();
    qint64 records = 0;
    if (mode == u"empty-alpha-keyed") {
        // An empty table keyed on an Alpha field, for runs that fill it and change its keys.
        QFile::remove(path);
        FieldDef code;
        code.name = QStringLiteral("Codigo");
        code.type = ftString;
        code.size = 12;
        QList<FieldDef> fields = benchFields();
        fields.removeFirst();
        fields.prepend(code);
        // 4 KiB blocks: moving keys splits blocks, and 2 KiB ones would pass the 65535-block limit.
        createParadoxTable(path, fields, ParadoxCreateOptions(7, 1, QStringLiteral("ANSIINTL"), 0, 4));
    } else if (mode == u"append" || mode == u"append-keyed" || mode == u"append-keyed-random") {
        QFile::remove(path);
        const bool keyed = mode != u"append";
        const bool random = mode == u"append-keyed-random";
        createParadoxTable(path, benchFields(), ParadoxCreateOptions(7, keyed ? 1 : 0, QStringLiteral("ANSIINTL")));
        ParadoxTable t(path);
        QList<Value> r(7);
        const QDate base(1991, 1, 1);
        // Random order without repeats: i -> i * step mod n is a permutation when gcd(step, n) = 1.
        qint64 step = 999983;
        while (n > 1 && std::gcd(step, n) != 1)
            ++step;
        for (qint64 i = 0; i < n; ++i) {
            r[0] = Value::integer((random ? (i * step) % n : i) + 1);
            r[1] = Value::text(QStringLiteral("Cliente numero %1").arg(i));
            r[2] = Value::text(QStringLiteral("Cidade %1").arg(i % 5000));
            r[3] = Value::floating(double(i % 100000) / 100.0);
            r[4] = Value::integer(i % 1000);
            r[5] = Value::date(base.addDays(i % 10000));
            r[6] = Value::boolean(i % 2);
            t.insert(r, NoRecord);
        }
        t.flush();
        records = t.count();
    } else if (mode == u"scan") {
        ParadoxTable t(path);
        QByteArray raw;
        double sum = 0;
        const int nf = int(t.fields().size());
        for (RecordId id = t.first(); id != NoRecord; id = t.next(id)) {
            t.read(id, raw);
            for (int i = 0; i < nf; ++i) {
                const Value v = t.value(raw, i);
                double d;
                if (v.toNumber(&d))
                    sum += d;
                else if (v.kind() == Value::Kind::Text)
                    sum += v.asText().size();
            }
            ++records;
        }
        if (sum == 0.5)
            std::puts("");
    } else if (mode == u"check") {
        // Not timed: the structure of what an append phase wrote (.PX included).
        const QStringList problems = checkParadoxTable(path);
        std::printf("problems %lld %s\n", static_cast<long long>(problems.size()),
                    problems.isEmpty() ? "" : qPrintable(problems.first()));
        return problems.isEmpty() ? 0 : 1;
    } else {
        return 2;
    }
    std::printf("seconds %.3f maxrss_kib %ld records %lld\n", double(timer.nsecsElapsed()) / 1e9, maxRssKiB(),
                static_cast<long long>(records));
    return 0;
}

struct Result {
    double seconds = -1;
    long kib = 0;
};

Result run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(-1);
    const QString out = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    const QStringList w = out.split(QLatin1Char(' '));
    Result r;
    if (p.exitCode() == 0 && w.size() >= 4) {
        r.seconds = w[1].toDouble();
        r.kib = w[3].toLong();
    } else {
        std::fprintf(stderr, "%s failed: %s %s\n", qPrintable(program), qPrintable(out),
                     qPrintable(QString::fromUtf8(p.readAllStandardError())));
    }
    return r;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    try {
        if (args.size() >= 4 && args[1].startsWith(QStringLiteral("--")))
            return phase(args[1].mid(2), args[2], args[3].toLongLong());
        if (args.size() < 2) {
            std::fprintf(stderr, "usage: bench_paradox SCRATCH_DIR [RECORDS]\n");
            return 2;
        }
    } catch (const Error& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.text()));
        return 1;
    }
    const QString dir = args[1];
    QDir().mkpath(dir);
    const qint64 n = args.size() > 2 ? args[2].toLongLong() : 1000000;
    const QString self = app.applicationFilePath();
    const QString pxlib = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("paradox_pxlib_bench"));
    const bool havePxlib = QFile::exists(pxlib);
    const QString ours = dir + QStringLiteral("/bench_quillora.db");
    const QString theirs = dir + QStringLiteral("/bench_pxlib.db");
    const QString oursKeyed = dir + QStringLiteral("/bench_quillora_keyed.db");
    const QString theirsKeyed = dir + QStringLiteral("/bench_pxlib_keyed.db");
    const QString records = QString::number(n);

    std::printf("Paradox, %lld records (seconds, peak memory)\n", static_cast<long long>(n));
    auto line = [&](const char* what, Result a, Result b, const char* without = "pxlib: not run") {
        if (b.seconds > 0 && a.seconds > 0)
            std::printf("%-22s quillora %8.3f s %7ld KiB | pxlib %8.3f s %7ld KiB | ratio %.3f\n", what, a.seconds, a.kib,
                        b.seconds, b.kib, a.seconds / b.seconds);
        else
            std::printf("%-22s quillora %8.3f s %7ld KiB | %s\n", what, a.seconds, a.kib, without);
        std::fflush(stdout);
    };
    // pxlib's inserts cost time in proportion to the table, so its appends are compared at a size
    // that finishes in seconds; ours are also timed at the full count.
    const qint64 pxN = std::min<qint64>(n, 20000);
    const QString pxRecords = QString::number(pxN);
    char sameSize[64];
    std::snprintf(sameSize, sizeof sameSize, "  at %lld records", static_cast<long long>(pxN));
    auto compareAppend = [&](const char* what, const QString& flag, const QString& oursAt, const QString& theirsAt,
                             const QStringList& pxExtra) {
        line(what, run(self, {flag, oursAt, records}), Result{}, havePxlib ? "pxlib: at a smaller size below" : "pxlib: not run");
        if (!havePxlib)
            return;
        const Result small = run(self, {flag, QString(oursAt).replace(QStringLiteral(".db"), QStringLiteral("_small.db")), pxRecords});
        line(sameSize, small, run(pxlib, QStringList{QStringLiteral("append"), theirsAt, pxRecords} + pxExtra));
    };
    compareAppend("append (unkeyed)", QStringLiteral("--append"), ours, theirs, {});
    compareAppend("append (keyed)", QStringLiteral("--append-keyed"), oursKeyed, theirsKeyed, {QStringLiteral("keyed")});
    // pxlib does not keep key order, so there is nothing of it to compare with here.
    const Result randomOurs = run(self, {QStringLiteral("--append-keyed-random"), dir + QStringLiteral("/bench_quillora_random.db"), records});
    line("append (keyed, random)", randomOurs, Result{});
    for (const QString& written : {oursKeyed, dir + QStringLiteral("/bench_quillora_random.db")}) {
        QProcess check;
        check.start(self, {QStringLiteral("--check"), written, records});
        check.waitForFinished(-1);
        std::printf("structure of %s: %s", qPrintable(QFileInfo(written).fileName()),
                    check.readAllStandardOutput().constData());
    }
    // Both read the same files: our full-size one, and the smaller one pxlib wrote when it is there.
    line("full scan (own file)", run(self, {QStringLiteral("--scan"), ours, records}),
         havePxlib ? run(pxlib, {QStringLiteral("scan"), ours}) : Result{});
    if (havePxlib)
        line("full scan (pxlib's)", run(self, {QStringLiteral("--scan"), theirs, pxRecords}),
             run(pxlib, {QStringLiteral("scan"), theirs}));
    return 0;
}
