#include "core/async/BulkPool.h"

#include <QThread>
#include <QThreadPool>

#include <algorithm>

QThreadPool& bulkPool()
{
    static QThreadPool* const pool = [] {
        auto* made = new QThreadPool;
        made->setMaxThreadCount(std::max(1, QThread::idealThreadCount() - 1));
        made->setObjectName(QStringLiteral("bulk"));
        return made;
    }();
    // Never destroyed: a worker may still be running at exit, after every owner is gone, and a
    // pool's destructor would wait for it.
    return *pool;
}
