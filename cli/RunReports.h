#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

#include "run/RecordRun.h"

namespace quillora::cli {

class CliArguments;

// What a record run leaves behind on the command line: the summary line on standard error and,
// when asked for, the failed records (--errors) and the records without a partner
// (--unmatched) as CSV files. The files are opened before the run, so that a name that cannot
// be written stops the command before a table is touched.
class RunReports {
public:
    // Opens the files the options name (--errors always; --unmatched when `unmatched`).
    RunReports(const CliArguments& args, bool unmatched);
    ~RunReports();

    // Prints the summary line and writes the files.
    void write(const RecordRunResult& result);
    // Runs `run` and writes what it did; the exit status (0 when no record failed, else 1).
    // A run that ends in an error after it began (a failed write rolled back) has its counts
    // in `aborted` by then, the failure among them: they are written, then the error goes on.
    int runAndWrite(const std::function<RecordRunResult()>& run, const std::optional<RecordRunResult>& aborted);

private:
    struct Closer {
        void operator()(FILE* f) const;
    };
    using File = std::unique_ptr<FILE, Closer>;
    static File open(const QString& path);
    static void writeAll(FILE* file, const QByteArray& bytes);

    File errors_;
    File unmatched_;
};

}  // namespace quillora::cli
