#include "run/RecordRun.h"

#include "tables/Error.h"
#include "tables/Table.h"
#include "tables/io/Journal.h"

#include <QElapsedTimer>

#include <exception>

namespace quillora {

bool ProcessoCancelado = false;

QString RecordRun::errorQuestion(const QString& errorText)
{
    return QStringLiteral("Erro processando, ") + errorText + QStringLiteral(", cancelar o processo ?");
}

namespace {

QString textOf(const std::exception& e)
{
    if (const auto* err = dynamic_cast<const Error*>(&e))
        return err->text();
    return QString::fromLocal8Bit(e.what());
}

}  // namespace

void RecordRunResult::count(RecordOutcome outcome)
{
    switch (outcome) {
    case RecordOutcome::Unchanged:
        ++unchanged;
        break;
    case RecordOutcome::Appended:
        ++appended;
        break;
    case RecordOutcome::Updated:
        ++updated;
        break;
    case RecordOutcome::NotMatched:
        ++notMatched;
        break;
    }
}

void RecordRunResult::countRunFailure(const QString& error)
{
    ++failed;
    failures.push_back(FailedRecord{0, {}, error});
}

RecordRunResult RecordRun::run(const QString& sourcePath, const QString& destinationPath)
{
    QElapsedTimer clock;
    clock.start();
    result_ = RecordRunResult();
    RecordRunResult& result = result_;
    const bool dryRun = host_.dryRun();
    result.trial = dryRun;
    io::Operation operation(operationName, {sourcePath, destinationPath}, dryRun);
    // The first write that failed: once one has, the rest of the run is pointless, since the
    // whole operation is rolled back.
    QString writeFailure;

    // Steps 1 and 2: an error here ends the operation before anything is shown.
    source_.Close();
    destination_.Close();
    source_.Bind(sourcePath);
    source_.Open();
    destination_.Bind(destinationPath);
    destination_.Open();

    bool shown = false;
    auto closeAll = [&] {
        // Every step is tried even when an earlier one fails; the first failure is reported.
        std::exception_ptr first;
        try {
            destination_.Close();
        } catch (...) {
            first = std::current_exception();
        }
        try {
            source_.Close();
        } catch (...) {
            if (!first)
                first = std::current_exception();
        }
        if (shown)
            host_.progressHide();
        if (closing) {
            try {
                closing();
            } catch (...) {
                if (!first)
                    first = std::current_exception();
            }
        }
        if (first)
            std::rethrow_exception(first);
    };

    try {
        source_.First();
        ProcessoCancelado = false;

        result.total = source_.RecordCount();
        host_.progressShow(result.total);
        shown = true;
        if (beforeWalk)
            beforeWalk();

        while (!skipWalk && !source_.Eof() && !ProcessoCancelado) {
            qint64 recordNumber = 0;
            try {
                ++result.read;
                outcome_ = RecordOutcome::Unchanged;
                recordNumber = source_.RecNo();
                if (perRecord)
                    perRecord();
                result.count(outcome_);
            } catch (const std::exception& e) {
                ++result.failed;
                FailedRecord failure{recordNumber, {}, textOf(e)};
                if (recordKey) {
                    try {
                        failure.key = recordKey();
                    } catch (...) {
                    }
                }
                result.failures.push_back(std::move(failure));
                // Pending changes of either table are discarded, never half kept. The source
                // too: a source record left pending would be stored, or fail again, at Next.
                destination_.Cancel();
                source_.Cancel();
                if (operation.failed()) {
                    writeFailure = textOf(e);
                    ProcessoCancelado = true;
                    break;
                }
                ProcessoCancelado = host_.askCancelOnError(errorQuestion(textOf(e)));
            }
            source_.Next();
            ++result.walked;
            host_.progressStep();
            if (!ProcessoCancelado)
                host_.betweenRecords();
            if (ProcessoCancelado)
                break;
        }
        result.stopped = ProcessoCancelado;
        if (afterWalk && !skipWalk && writeFailure.isEmpty())
            afterWalk();
    } catch (...) {
        // The walk's own failure is the one reported; a closing failure after it is secondary.
        try {
            closeAll();
        } catch (...) {
        }
        finishAfterFailure(operation);
        reportAbort(operation, true, clock.elapsed());
        throw;
    }
    try {
        operation.closeAndFinish(closeAll, writeFailure);
    } catch (...) {
        // A write that failed in a record's work is counted with that record already.
        reportAbort(operation, writeFailure.isEmpty(), clock.elapsed());
        throw;
    }
    result.elapsedMs = clock.elapsed();
    return result;
}

void RecordRun::reportAbort(const io::Operation& operation, bool countIt, qint64 elapsedMs)
{
    RecordRunResult& result = result_;
    result.elapsedMs = elapsedMs;
    result.stopped = true;
    result.rolledBack = !operation.dryRun() && !operation.kept();
    if (countIt) {
        try {
            throw;
        } catch (const std::exception& e) {
            result.countRunFailure(textOf(e));
        } catch (...) {
            result.countRunFailure(QStringLiteral("Erro desconhecido"));
        }
    }
    host_.runAborted(result);
}

void RecordRun::finishAfterFailure(io::Operation& operation)
{
    // The failure in hand is the one reported; the rollback that follows a failed write is
    // silent, and a dry run is rolled back as usual.
    try {
        operation.finish();
    } catch (...) {
    }
}

}  // namespace quillora
