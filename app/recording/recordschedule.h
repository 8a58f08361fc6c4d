#pragma once

#include <QObject>
#include <QString>
#include <QTime>

#include <functional>

#include "recording/recordstate.h"

class CConfig;
class QTimer;

// The one scheduled recording: it starts at Task_Start, runs for
// Task_Duration and may be followed by switching the computer off
// (After_Record 0). The schedule lives in the running program only: after a
// start no task is scheduled until the user saves the scheduler page with its
// box ticked and the scheduler button arms it.
//
// The two timers belong to the main window, whose slots StartRecordTask()
// and StopRecordTask() forward here. Starting and stopping the recording
// itself is asked for through the signals below; the owner connects them.
// QtCore only; GUI thread only.
class CRecordSchedule : public QObject {
    Q_OBJECT
public:
    // Where the schedule stands.
    enum State {
        State_NoTask = 0,    // nothing armed
        State_Waiting = 1,   // the start timer runs
        State_Running = 2,   // the stop timer runs
    };
    static constexpr int kDayMs = 86400000;
    static constexpr int kShutdownSeconds = 60;

    // config: not owned. startTimer, stopTimer: single-shot timers owned by
    // the caller, whose timeouts must reach StartRecordTask() and
    // StopRecordTask(); they must outlive this object.
    CRecordSchedule(CConfig* config, QTimer* startTimer, QTimer* stopTimer,
                    QObject* parent = nullptr);

    // The time of day used as "now"; the system clock unless replaced.
    void SetClock(std::function<QTime()> clock);
    // Where the recording state comes from; StartRecordTask() starts a
    // recording only while it is idle. Until set, the recording counts as
    // idle.
    void SetRecordStateSource(std::function<RecordState()> source);
    // Seconds the shutdown question counts down; kShutdownSeconds unless
    // replaced (at least 1).
    void SetShutdownSeconds(int seconds);
    int ShutdownSeconds() const { return m_shutdownSeconds; }

    // The task flag: true while no task is scheduled (true at start). The
    // scheduler page reads and sets it.
    bool NoTaskScheduled() const { return m_noTask; }
    void SetNoTaskScheduled(bool noTask) { m_noTask = noTask; }
    // Running while a task's recording runs (its stop timer is armed, or it
    // is just ending); else Waiting while the start timer is armed.
    State GetState() const;
    // The scheduler button's tooltip.
    QString ToolTip() const { return m_toolTip; }

    // After the scheduler page was saved from the scheduler button: without
    // a task both timers stop; otherwise the start timer is armed for the
    // next Task_Start (tomorrow when it has passed today) and the tooltip
    // shows the start and end times. A task recording that runs meanwhile
    // still ends on time.
    void Arm();

    // The start timer fired: asks for a recording when none runs, and arms
    // the stop timer for Task_Duration in any case.
    void StartRecordTask();
    // The stop timer fired: asks for the recording to stop, ends the task
    // and, when After_Record is 0, asks for the shutdown.
    void StopRecordTask();
    // Any stop of the recording (the user's, an error's or the task's
    // own): a running task ends with it, and no shutdown follows. Unless a
    // next start is armed, no task is scheduled afterwards.
    void RecordingStopped();

Q_SIGNALS:
    void ToolTipChanged(const QString& toolTip);
    void StartRecordingRequested();
    void StopRecordingRequested();
    // A scheduled recording ended and the computer is to be switched off
    // after a countdown of the given seconds.
    void ShutdownRequested(int seconds);

private:
    void SetToolTip(const QString& toolTip);

    CConfig* m_config;      // not owned
    QTimer* m_startTimer;   // not owned
    QTimer* m_stopTimer;    // not owned
    std::function<QTime()> m_clock;
    std::function<RecordState()> m_recordState;
    int m_shutdownSeconds = kShutdownSeconds;
    bool m_noTask = true;
    // A task's recording runs: set by StartRecordTask(), cleared by
    // RecordingStopped() and by Arm() without a task.
    bool m_running = false;
    QString m_toolTip;
};
