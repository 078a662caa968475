#pragma once

#include <QStringList>

namespace quillora::cli {

// Each subcommand takes the arguments after its name and returns the exit status:
// 0 done, 1 failed (message on standard error), 2 bad usage (thrown as UsageError).
int runInfo(const QStringList& args);
int runDump(const QStringList& args);
int runProcess(const QStringList& args);
int runColumn(const QStringList& args);
int runUpdate(const QStringList& args);
int runCompare(const QStringList& args);
int runUndo(const QStringList& args);
int runCheck(const QStringList& args);
int runRepair(const QStringList& args);

// The whole program: dispatches on the subcommand, prints errors, returns the exit status.
int cliMain(const QStringList& args);

}  // namespace quillora::cli
