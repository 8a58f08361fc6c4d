#include "spectrumfeed.h"

#include <QTimer>

#include "myaudiobuffer.h"

CSpectrumFeed::CSpectrumFeed(QObject* parent)
    : QObject(parent), m_thread(std::make_unique<CWaveThread>(&m_levels)) {
    // Emitted on the analysis thread; reaches the view on this one.
    connect(m_thread.get(), &CWaveThread::SendDraw, this, &CSpectrumFeed::LevelsChanged);
    m_timer = new QTimer(this);
    m_timer->setInterval(kTimerMs);
    connect(m_timer, &QTimer::timeout, this, &CSpectrumFeed::ProgramWaveData);
    m_timer->start();
}

CSpectrumFeed::~CSpectrumFeed() {
    m_timer->stop();
    m_active = false;
    m_thread->wait();
}

int CSpectrumFeed::PushAudio(const QByteArray& block) {
    if (!m_active.load() || block.isEmpty()) return 0;
    return m_thread->Buffer()->Push(int(block.size()), block.constData());
}

void CSpectrumFeed::SetStep(int bytes) {
    m_thread->Buffer()->SetStep(bytes);
}

void CSpectrumFeed::Activate() {
    m_active = true;
}

void CSpectrumFeed::Deactivate() {
    m_active = false;
    // A pass still running would move the bars again after they were reset.
    m_thread->wait();
    m_thread->Buffer()->Clear();
    m_levels.Fill(0);
    Q_EMIT LevelsChanged();
}

void CSpectrumFeed::Clear() {
    m_thread->Buffer()->Clear();
}

void CSpectrumFeed::ProgramWaveData() {
    if (m_active.load()) m_thread->start(QThread::InheritPriority);
}
