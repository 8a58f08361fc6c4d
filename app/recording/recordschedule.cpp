#include "recordschedule.h"

#include <QTimer>

#include "config.h"

namespace {
const char kTimeFormat[] = "hh:mm:ss";

int SecondsOf(const QTime& time) {
    return time.isValid() ? time.hour() * 3600 + time.minute() * 60 + time.second() : 0;
}
}  // namespace

CRecordSchedule::CRecordSchedule(CConfig* config, QTimer* startTimer, QTimer* stopTimer,
                                 QObject* parent)
    : QObject(parent),
      m_config(config),
      m_startTimer(startTimer),
      m_stopTimer(stopTimer),
      m_clock([] { return QTime::currentTime(); }),
      m_toolTip(tr("Recording task scheduler")) {
    m_startTimer->setSingleShot(true);
    m_stopTimer->setSingleShot(true);
}

void CRecordSchedule::SetClock(std::function<QTime()> clock) {
    m_clock = std::move(clock);
}

void CRecordSchedule::SetRecordStateSource(std::function<RecordState()> source) {
    m_recordState = std::move(source);
}

void CRecordSchedule::SetShutdownSeconds(int seconds) {
    m_shutdownSeconds = seconds < 1 ? 1 : seconds;
}

void CRecordSchedule::SetToolTip(const QString& toolTip) {
    m_toolTip = toolTip;
    Q_EMIT ToolTipChanged(toolTip);
}

void CRecordSchedule::Arm() {
    if (m_noTask) {
        qDebug("CRecordSchedule::Arm no task");
        SetToolTip(tr("Recording task scheduler"));
        m_startTimer->stop();
        m_stopTimer->stop();
        m_running = false;
        return;
    }
    const QTime start = m_config->GetTaskStart();
    const QTime duration = m_config->GetTaskDuration();
    qint64 wait = m_clock().msecsTo(start);
    QString text;
    if (wait >= 0) {
        text = tr("A recording task is running\n     ");
    } else {
        text = tr("   A recording task is running\nTomorrow ");
        wait += kDayMs;
    }
    const QTime end = start.addSecs(SecondsOf(duration));
    text += start.toString(QLatin1String(kTimeFormat)) + QLatin1Char('-') +
            end.toString(QLatin1String(kTimeFormat));
    SetToolTip(text);
    qDebug("CRecordSchedule::Arm start in ms: %lld", static_cast<long long>(wait));
    m_startTimer->stop();
    m_startTimer->start(int(wait));
}

CRecordSchedule::State CRecordSchedule::GetState() const {
    if (m_running) return State_Running;
    return m_startTimer->isActive() ? State_Waiting : State_NoTask;
}

void CRecordSchedule::StartRecordTask() {
    const RecordState state = m_recordState ? m_recordState() : RecordState::Idle;
    qDebug("CRecordSchedule::StartRecordTask state: %d", int(state));
    m_startTimer->stop();
    if (state == RecordState::Idle) Q_EMIT StartRecordingRequested();
    // The task ends on time even when a recording already ran or the start
    // failed.
    const int ms = SecondsOf(m_config->GetTaskDuration()) * 1000;
    m_stopTimer->start(ms);
    m_running = true;
}

void CRecordSchedule::StopRecordTask() {
    qDebug("CRecordSchedule::StopRecordTask after record: %d", m_config->GetAfterRecord());
    const bool running = m_running;
    Q_EMIT StopRecordingRequested();
    // The stop reaches RecordingStopped() through the window; a window that
    // did not pass it on must not leave the task running.
    RecordingStopped();
    if (running && m_config->GetAfterRecord() == 0) Q_EMIT ShutdownRequested(m_shutdownSeconds);
}

void CRecordSchedule::RecordingStopped() {
    if (!m_running) return;
    qDebug("CRecordSchedule::RecordingStopped the recording task ends");
    m_running = false;
    m_stopTimer->stop();
    // The task was re-armed while it recorded: the next start stands.
    if (m_startTimer->isActive()) return;
    SetToolTip(tr("Recording task scheduler"));
    m_noTask = true;
}
