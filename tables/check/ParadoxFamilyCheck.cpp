#include "tables/check/ParadoxFamilyCheck.h"

#include "tables/Error.h"
#include "tables/check/ParadoxIndexCheck.h"

namespace quillora::check {

namespace {

CheckReport check(const QString& path, bool whole, const CheckProgress& progress)
{
    CheckReport report;
    report.table = path;
    FaultSink sink(report);
    PxTableFile t;
    try {
        t.open(path);
    } catch (const Error& e) {
        report.unreadable = true;
        sink.add(path, QStringLiteral("cabeçalho"), e.text(), true);
        return report;
    }
    checkParadoxHeader(t, sink);
    std::unique_ptr<ParadoxRecordCheck> records;
    if (whole)
        records = std::make_unique<ParadoxRecordCheck>(t, sink);
    BlockVisitor visit;
    if (records)
        visit = [&](int block, const char* recs, int count) { records->block(block, recs, count); };
    const PxChainScan scan = scanParadoxChain(t, sink, visit, progress);
    if (scan.stopped) {
        sink.add(path, QString(), QStringLiteral("verificação interrompida antes do fim"), false);
        return report;
    }
    checkParadoxCounters(t, scan, sink);
    if (records) {
        records->finish();
        checkParadoxMarks(t, sink);
        // Indexes are judged against sound data only: damaged records make every index look wrong.
        if (!sink.anyInRecords())
            checkParadoxIndexes(t, scan, *records, sink);
    }
    sink.finish(path);
    return report;
}

}  // namespace

CheckReport checkParadoxFamily(const QString& path, const CheckProgress& progress)
{
    return check(path, true, progress);
}

CheckReport checkParadoxStructure(const QString& path)
{
    return check(path, false, {});
}

}  // namespace quillora::check
