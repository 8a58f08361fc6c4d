#pragma once

#include <QDialog>

#include <array>

class CControlPage;
class CFormatPage;
class CGeneralPage;
class CNetWidget;
class CPreferencesPage;
class CRecordSchedule;
class QAction;
class QActionGroup;
class QLabel;
class QPushButton;
class QStackedWidget;
class QToolBar;

// The program's one modal settings dialog: a tool bar of pages over the page
// on show, and "Save" and "Cancel". Every page fills its controls from the
// settings when the dialog is built; "Save" stores every page in a fixed
// order and closes the dialog with 1; "Cancel" stores nothing.
//
// Pages, by index, in tool bar order: 0 General, 1 Audio Source,
// 2 Scheduler, 3 Control, 4 Format, 5 Connection. A page is added in
// BuildPages(). The pages' own slots are reachable through the dialog's
// slots of the same names.
//
// GUI thread only.
class CPreferencesDialog : public QDialog {
    Q_OBJECT
public:
    enum PageIndex {
        Page_General = 0,
        Page_AudioSource = 1,
        Page_Scheduler = 2,
        Page_Control = 3,
        Page_Format = 4,
        Page_Connection = 5,
        Page_Count = 6
    };
    // The opening choices of the callers: the audio source buttons pass 0,
    // the scheduler button 1, the Settings entries 2.
    enum OpeningChoice { Open_AudioSource = 0, Open_Scheduler = 1, Open_Settings = 2 };

    // audioDev: the engine instance (may be null). schedule: the recording
    // schedule whose task flag the scheduler page edits (may be null: the
    // page then only stores the settings). Neither is owned. openingChoice:
    // 0 opens the Audio Source page, 1 the Scheduler page, any other value
    // the Control page.
    CPreferencesDialog(void* audioDev, CRecordSchedule* schedule, int openingChoice,
                       QWidget* parent = nullptr);
    ~CPreferencesDialog() override;

    // Index of the page on show.
    int CurrentPage() const { return m_current; }
    // The page at index, or null when it is not built.
    CPreferencesPage* Page(int index) const;
    QToolBar* ToolBar() const { return m_toolBar; }
    // The tool bar action of a built page, else null.
    QAction* PageAction(int index) const;
    QPushButton* SaveButton() const { return m_save; }
    QPushButton* CancelButton() const { return m_cancel; }
    CGeneralPage* GeneralPage() const;
    CControlPage* ControlPage() const;
    CFormatPage* FormatPage() const;
    CNetWidget* NetWidget() const;

public Q_SLOTS:
    // A tool bar action was triggered: shows its page.
    void toolBarActionTrig(QAction* action);
    // Stores every page and closes the dialog with 1: the general page
    // (output folders, update check), the control page (split, filter,
    // song information), the format page, the connection page (b_proxy,
    // then the proxy, which reaches the music information service), the
    // scheduler page, the audio source page.
    void Save();

    // The pages' slots (see the pages).
    void SpliterIndexchange(int index);
    void ChangeSpliteModle();
    void ChangeFilterModle();
    void FileTypeComboxChange(int index);
    void SampleRateComboxChange(int index);
    void OpenFile();
    void ChangeUpdateModle();
    void R0Click();
    void R1Click();
    void UpdataComboxIndexChange(int index);
    void UpDataSpinBoxValueChange(int value);

private:
    void BuildPages(void* audioDev, CRecordSchedule* schedule);
    void AddPage(int index, CPreferencesPage* page);
    void ShowPage(int index);

    QToolBar* m_toolBar = nullptr;
    QActionGroup* m_actions = nullptr;
    QStackedWidget* m_stack = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_cancel = nullptr;
    std::array<CPreferencesPage*, Page_Count> m_pages{};
    std::array<QAction*, Page_Count> m_pageActions{};
    int m_current = -1;
};
