#pragma once

#include "preferences/preferencespage.h"

class CConfig;
class CRecordSchedule;
class QCheckBox;
class QTimeEdit;
class QWidget;

// The "Scheduler" page: whether a recording is scheduled, its start time,
// its duration and whether the computer is switched off afterwards. Saving
// stores the three settings and the schedule's task flag; arming the timers
// is left to the scheduler button (CRecordSchedule::Arm()).
class CSetTaskDialog : public CPreferencesPage {
    Q_OBJECT
public:
    // schedule: holds the task flag; not owned, may be null (then the page
    // starts unticked and stores only the settings).
    explicit CSetTaskDialog(CRecordSchedule* schedule, QWidget* parent = nullptr);

    void Save() override;

    QCheckBox* TaskBox() const { return m_task; }
    QCheckBox* ShutdownBox() const { return m_shutdown; }
    QTimeEdit* StartEdit() const { return m_start; }
    QTimeEdit* DurationEdit() const { return m_duration; }
    // The group of the three task controls, enabled while TaskBox() is ticked.
    QWidget* TaskGroup() const { return m_group; }

public Q_SLOTS:
    // The "Task Scheduler:" box changed: 0 unticked, 2 ticked.
    void ChangeSate(int state);

private:
    CConfig* m_config;            // not owned
    CRecordSchedule* m_schedule;  // not owned
    QCheckBox* m_task = nullptr;
    QWidget* m_group = nullptr;
    QCheckBox* m_shutdown = nullptr;
    QTimeEdit* m_start = nullptr;
    QTimeEdit* m_duration = nullptr;
};
