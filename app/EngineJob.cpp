#include "app/EngineJob.h"

#include "tables/Error.h"

#include <algorithm>

namespace quillora::app {

EngineJob::EngineJob(Work work, QObject* parent) : QThread(parent), work_(std::move(work)) {}

EngineJob::~EngineJob()
{
    cancel();
    wait();
}

void EngineJob::run()
{
    const check::CheckProgress progress = [this](qint64 done, qint64 total) {
        if (total > 0) {
            const int thousandths = int(std::clamp<qint64>(done * 1000 / total, 0, 1000));
            if (lastShown_.exchange(thousandths) != thousandths)
                emit progressed(done, total);
        }
        return !cancelled_;
    };
    try {
        work_(progress);
    } catch (const Error& e) {
        error_ = e.text();
    } catch (const std::exception& e) {
        error_ = QString::fromLocal8Bit(e.what());
    }
}

}  // namespace quillora::app
