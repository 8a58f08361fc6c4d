#include "settaskdialog.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "config.h"
#include "recording/recordschedule.h"

namespace {
const char kTimeFormat[] = "hh:mm:ss";
}  // namespace

CSetTaskDialog::CSetTaskDialog(CRecordSchedule* schedule, QWidget* parent)
    : CPreferencesPage(parent), m_config(CConfig::instance()), m_schedule(schedule) {
    setObjectName(QStringLiteral("CSetTaskDialog"));
    m_task = new QCheckBox(tr("Task Scheduler:"), this);
    m_task->setObjectName(QStringLiteral("taskSchedulerBox"));

    auto* group = new QGroupBox(this);
    group->setObjectName(QStringLiteral("taskGroup"));
    m_group = group;
    m_shutdown = new QCheckBox(tr("shut down after recording finished"), group);
    m_shutdown->setObjectName(QStringLiteral("shutdownBox"));
    m_start = new QTimeEdit(group);
    m_start->setObjectName(QStringLiteral("startTimeEdit"));
    m_start->setDisplayFormat(QLatin1String(kTimeFormat));
    m_duration = new QTimeEdit(group);
    m_duration->setObjectName(QStringLiteral("durationEdit"));
    m_duration->setDisplayFormat(QLatin1String(kTimeFormat));

    auto* form = new QFormLayout(group);
    form->addRow(m_shutdown);
    form->addRow(tr("Start time:"), m_start);
    form->addRow(tr("Recording Duration:"), m_duration);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_task);
    layout->addWidget(group);
    layout->addStretch(1);

    m_start->setTime(m_config->GetTaskStart());
    // A recording shorter than the shortest kept song could keep nothing.
    const int minimum = int(qMin(m_config->GetFilterTime(), 86399u));
    m_duration->setMinimumTime(QTime(minimum / 3600, minimum % 3600 / 60, minimum % 60));
    m_duration->setTime(m_config->GetTaskDuration());
    m_shutdown->setChecked(m_config->GetAfterRecord() == 0);

    const bool noTask = m_schedule == nullptr || m_schedule->NoTaskScheduled();
    m_task->setChecked(!noTask);
    m_group->setEnabled(!noTask);
    connect(m_task, &QCheckBox::stateChanged, this, &CSetTaskDialog::ChangeSate);
}

void CSetTaskDialog::ChangeSate(int state) {
    if (state == Qt::Unchecked) m_group->setEnabled(false);
    if (state == Qt::Checked) m_group->setEnabled(true);
}

void CSetTaskDialog::Save() {
    if (!m_task->isChecked()) {
        if (m_schedule != nullptr) m_schedule->SetNoTaskScheduled(true);
        return;
    }
    if (m_schedule != nullptr) m_schedule->SetNoTaskScheduled(false);
    m_config->SetAfterRecord(m_shutdown->isChecked() ? 0 : 1);
    m_config->SetTaskStart(m_start->time());
    m_config->SetTaskDuration(m_duration->time());
    qDebug("CSetTaskDialog::Save start: %s duration: %s after record: %d",
           qUtf8Printable(m_start->time().toString(QLatin1String(kTimeFormat))),
           qUtf8Printable(m_duration->time().toString(QLatin1String(kTimeFormat))),
           m_config->GetAfterRecord());
}
