#include "cli/RunReports.h"

#include "cli/CliArguments.h"
#include "run/RunCsv.h"
#include "run/RunSummary.h"
#include "tables/Error.h"

#include <QFile>
#include <QTextStream>

#include <cerrno>
#include <cstring>

namespace quillora::cli {

void RunReports::Closer::operator()(FILE* f) const
{
    if (f)
        std::fclose(f);
}

RunReports::File RunReports::open(const QString& path)
{
    if (path.isEmpty())
        throw UsageError{QStringLiteral("as opções --errors e --unmatched precisam de um nome de arquivo")};
    FILE* f = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!f)
        throw Error(QStringLiteral("Não foi possível gravar o arquivo %1: %2")
                        .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    return File(f);
}

RunReports::RunReports(const CliArguments& args, bool unmatched)
{
    if (args.has(QStringLiteral("errors")))
        errors_ = open(args.value(QStringLiteral("errors")));
    if (unmatched && args.has(QStringLiteral("unmatched")))
        unmatched_ = open(args.value(QStringLiteral("unmatched")));
}

RunReports::~RunReports() = default;

void RunReports::write(const RecordRunResult& result)
{
    QTextStream(stderr) << summaryLine(result) << '\n';
    if (errors_)
        writeAll(errors_.get(), failedRecordsCsv(result));
    if (unmatched_)
        writeAll(unmatched_.get(), unmatchedCsv(result));
}

int RunReports::runAndWrite(const std::function<RecordRunResult()>& run,
                            const std::optional<RecordRunResult>& aborted)
{
    RecordRunResult result;
    try {
        result = run();
    } catch (const Error&) {
        if (aborted)
            write(*aborted);
        throw;
    }
    write(result);
    return result.failed == 0 ? 0 : 1;
}

void RunReports::writeAll(FILE* file, const QByteArray& bytes)
{
    if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), file) != size_t(bytes.size()) ||
        std::fflush(file) != 0)
        throw Error(QStringLiteral("Não foi possível gravar a lista de registros: %1")
                        .arg(QString::fromLocal8Bit(std::strerror(errno))));
}

}  // namespace quillora::cli
