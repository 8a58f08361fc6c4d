#include "downloadqueue.h"

CPendingDownloadQueue::CPendingDownloadQueue(QObject* parent) : CDownloadQueue(parent) {}

int CPendingDownloadQueue::AddTask(int musicId, bool fingerprintOnly) {
    if (m_queued.contains(musicId)) return -1;
    qDebug("CPendingDownloadQueue::AddTask musicId: %d fingerprintOnly: %d, no download service, "
           "the task waits",
           musicId, int(fingerprintOnly));
    m_queued.push_back(musicId);
    Q_EMIT TaskNotified(musicId, DownloadTask_WAITING);
    return 0;
}

void CPendingDownloadQueue::CancelTask(int musicId) {
    if (m_queued.removeAll(musicId) > 0)
        qDebug("CPendingDownloadQueue::CancelTask musicId: %d", musicId);
}

void CPendingDownloadQueue::SongFiled(int musicId, bool kept, bool identify) {
    qDebug("CPendingDownloadQueue::SongFiled musicId: %d kept: %d identify: %d", musicId, int(kept),
           int(identify));
    if (!kept) CancelTask(musicId);
}
