#include "preferencesdialog.h"

#include <QAction>
#include <QActionGroup>
#include <QHBoxLayout>
#include <QIcon>
#include <QPushButton>
#include <QStackedWidget>
#include <QToolBar>
#include <QVBoxLayout>

#include "preferences/controlpage.h"
#include "preferences/formatpage.h"
#include "preferences/generalpage.h"
#include "preferences/netwidget.h"
#include "preferences/preferencespage.h"
#include "preferences/setsourcedialog.h"
#include "preferences/settaskdialog.h"
#include "preferences/settingspictures.h"

namespace {
struct PageInfo {
    const char* text;
    const char* icon;
    const char* title;
};
// By page index.
const PageInfo kPageInfo[CPreferencesDialog::Page_Count] = {
    {QT_TRANSLATE_NOOP("CPreferencesDialog", "General"), ":/prefix/res/Settings/General.png",
     QT_TRANSLATE_NOOP("CPreferencesDialog", "General Preferences")},
    {QT_TRANSLATE_NOOP("CPreferencesDialog", "Audio Source"),
     ":/prefix/res/Settings/Audio Source.png",
     QT_TRANSLATE_NOOP("CPreferencesDialog", "Audio Source Preferences")},
    {QT_TRANSLATE_NOOP("CPreferencesDialog", "Scheduler"), ":/prefix/res/Settings/Scheduler.png",
     QT_TRANSLATE_NOOP("CPreferencesDialog", "Scheduler Preferences")},
    {QT_TRANSLATE_NOOP("CPreferencesDialog", "Control"), ":/prefix/res/Settings/Control.png",
     QT_TRANSLATE_NOOP("CPreferencesDialog", "Control Preferences")},
    {QT_TRANSLATE_NOOP("CPreferencesDialog", "Format"), ":/prefix/res/Settings/Format.png",
     QT_TRANSLATE_NOOP("CPreferencesDialog", "Format Preferences")},
    {QT_TRANSLATE_NOOP("CPreferencesDialog", "Connection"),
     ":/prefix/res/Settings/Connection.png",
     QT_TRANSLATE_NOOP("CPreferencesDialog", "Connection Preferences")},
};
// The order in which Save stores the pages: the general, control, format
// and connection settings first, then the schedule and the audio source.
constexpr int kSaveOrder[CPreferencesDialog::Page_Count] = {
    CPreferencesDialog::Page_General,   CPreferencesDialog::Page_Control,
    CPreferencesDialog::Page_Format,    CPreferencesDialog::Page_Connection,
    CPreferencesDialog::Page_Scheduler, CPreferencesDialog::Page_AudioSource};
}  // namespace

CPreferencesDialog::CPreferencesDialog(void* audioDev, CRecordSchedule* schedule,
                                       int openingChoice, QWidget* parent)
    : QDialog(parent) {
    LoadSettingsPictures();
    setObjectName(QStringLiteral("CPreferencesDialog"));
    setModal(true);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setMinimumSize(560, 400);

    m_toolBar = new QToolBar(this);
    m_toolBar->setObjectName(QStringLiteral("preferencesToolBar"));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_toolBar->setIconSize(QSize(32, 32));
    m_toolBar->setMovable(false);
    m_actions = new QActionGroup(this);
    m_actions->setExclusive(true);
    connect(m_toolBar, &QToolBar::actionTriggered, this, &CPreferencesDialog::toolBarActionTrig);

    m_stack = new QStackedWidget(this);
    m_save = new QPushButton(tr("Save"), this);
    m_save->setObjectName(QStringLiteral("saveButton"));
    m_save->setDefault(true);
    m_cancel = new QPushButton(tr("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    connect(m_save, &QPushButton::clicked, this, &CPreferencesDialog::Save);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_save);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_toolBar);
    layout->addWidget(m_stack, 1);
    layout->addLayout(buttons);

    BuildPages(audioDev, schedule);

    int opening = Page_Control;
    if (openingChoice == Open_AudioSource) opening = Page_AudioSource;
    if (openingChoice == Open_Scheduler) opening = Page_Scheduler;
    ShowPage(opening);
}

CPreferencesDialog::~CPreferencesDialog() = default;

void CPreferencesDialog::BuildPages(void* audioDev, CRecordSchedule* schedule) {
    AddPage(Page_General, new CGeneralPage(this));
    AddPage(Page_AudioSource, new CSetSourceDialog(audioDev, this));
    AddPage(Page_Scheduler, new CSetTaskDialog(schedule, this));
    AddPage(Page_Control, new CControlPage(this));
    AddPage(Page_Format, new CFormatPage(this));
    AddPage(Page_Connection, new CNetWidget(this));
}

CGeneralPage* CPreferencesDialog::GeneralPage() const {
    return static_cast<CGeneralPage*>(m_pages[Page_General]);
}

CControlPage* CPreferencesDialog::ControlPage() const {
    return static_cast<CControlPage*>(m_pages[Page_Control]);
}

CFormatPage* CPreferencesDialog::FormatPage() const {
    return static_cast<CFormatPage*>(m_pages[Page_Format]);
}

CNetWidget* CPreferencesDialog::NetWidget() const {
    return static_cast<CNetWidget*>(m_pages[Page_Connection]);
}

void CPreferencesDialog::AddPage(int index, CPreferencesPage* page) {
    const std::size_t slot = std::size_t(index);
    const PageInfo& info = kPageInfo[slot];
    m_pages[slot] = page;
    m_stack->addWidget(page);

    auto* action = new QAction(QIcon(QString::fromLatin1(info.icon)), tr(info.text), this);
    action->setObjectName(QStringLiteral("page%1Action").arg(index));
    action->setCheckable(true);
    action->setData(index);
    m_actions->addAction(action);
    m_pageActions[slot] = action;
    // Keep the tool bar in page order, whatever the order of adding.
    QAction* before = nullptr;
    for (std::size_t later = slot + 1; later < m_pageActions.size() && before == nullptr; ++later)
        before = m_pageActions[later];
    m_toolBar->insertAction(before, action);
}

CPreferencesPage* CPreferencesDialog::Page(int index) const {
    return (index >= 0 && index < Page_Count) ? m_pages[std::size_t(index)] : nullptr;
}

QAction* CPreferencesDialog::PageAction(int index) const {
    return (index >= 0 && index < Page_Count) ? m_pageActions[std::size_t(index)] : nullptr;
}

void CPreferencesDialog::toolBarActionTrig(QAction* action) {
    if (action == nullptr) return;
    bool ok = false;
    const int index = action->data().toInt(&ok);
    if (ok) ShowPage(index);
}

void CPreferencesDialog::ShowPage(int index) {
    CPreferencesPage* page = Page(index);
    if (page == nullptr) return;
    m_current = index;
    m_stack->setCurrentWidget(page);
    m_pageActions[std::size_t(index)]->setChecked(true);
    setWindowTitle(tr(kPageInfo[std::size_t(index)].title));
}

void CPreferencesDialog::Save() {
    qDebug("CPreferencesDialog::Save page: %d", m_current);
    for (int index : kSaveOrder) {
        if (CPreferencesPage* page = m_pages[std::size_t(index)]) page->Save();
    }
    done(1);
}

void CPreferencesDialog::SpliterIndexchange(int index) {
    ControlPage()->SpliterIndexchange(index);
}

void CPreferencesDialog::ChangeSpliteModle() {
    ControlPage()->ChangeSpliteModle();
}

void CPreferencesDialog::ChangeFilterModle() {
    ControlPage()->ChangeFilterModle();
}

void CPreferencesDialog::FileTypeComboxChange(int index) {
    FormatPage()->FileTypeComboxChange(index);
}

void CPreferencesDialog::SampleRateComboxChange(int index) {
    FormatPage()->SampleRateComboxChange(index);
}

void CPreferencesDialog::OpenFile() {
    GeneralPage()->OpenFile();
}

void CPreferencesDialog::ChangeUpdateModle() {
    GeneralPage()->ChangeUpdateModle();
}

void CPreferencesDialog::R0Click() {
    GeneralPage()->R0Click();
}

void CPreferencesDialog::R1Click() {
    GeneralPage()->R1Click();
}

void CPreferencesDialog::UpdataComboxIndexChange(int index) {
    GeneralPage()->UpdataComboxIndexChange(index);
}

void CPreferencesDialog::UpDataSpinBoxValueChange(int value) {
    GeneralPage()->UpDataSpinBoxValueChange(value);
}
