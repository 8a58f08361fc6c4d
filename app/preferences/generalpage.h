#pragma once

#include "preferences/preferencespage.h"

class CConfig;
class QCheckBox;
class QComboBox;
class QPushButton;
class QRadioButton;
class QSpinBox;

// The "General" page: the output folders (the first one is where recordings
// go) and the automatic update check. Adding a folder stores Output_Path at
// once; Save stores the chosen folder first and the update mode and days.
class CGeneralPage : public CPreferencesPage {
    Q_OBJECT
public:
    // Most output folders kept in the list.
    static constexpr int kMaxOutputFolders = 5;

    explicit CGeneralPage(QWidget* parent = nullptr);

    // Output_Path: the box's current folder first, the others in their
    // order; Auto_update and Update_Days from the update controls.
    void Save() override;

    // The update mode the controls stand for (the future Auto_update): 0 off,
    // 1 every UpdateDays() days, 2 every day, 3 every week, 4 every month.
    int UpdateMode() const { return m_updateMode; }
    int UpdateDays() const { return m_updateDays; }

    QComboBox* FolderBox() const { return m_folders; }
    QPushButton* FolderButton() const { return m_folderButton; }
    QCheckBox* AutoUpdateBox() const { return m_autoUpdate; }
    QRadioButton* IntervalButton() const { return m_intervalButton; }
    QComboBox* IntervalBox() const { return m_interval; }
    QRadioButton* DaysButton() const { return m_daysButton; }
    QSpinBox* DaysBox() const { return m_days; }

    // Puts folder (forward slashes) at the front of the list, moving it
    // there when it is listed already and dropping the last folder when the
    // list grows beyond kMaxOutputFolders; selects it and stores
    // Output_Path at once. An empty folder changes nothing.
    void AddOutputFolder(const QString& folder);

public Q_SLOTS:
    // "folder": asks for a folder, starting at the one shown, and adds it.
    void OpenFile();
    // "Enable automatic update check" was ticked or unticked.
    void ChangeUpdateModle();
    // "Update automaticaily:" was chosen: the interval box counts.
    void R0Click();
    // "Number of days between update checks:" was chosen: the days count.
    void R1Click();
    // The interval box changed to entry index.
    void UpdataComboxIndexChange(int index);
    // The days box changed.
    void UpDataSpinBoxValueChange(int value);

private:
    void BuildUpdateControls();

    CConfig* m_config;  // not owned
    QComboBox* m_folders = nullptr;
    QPushButton* m_folderButton = nullptr;
    QCheckBox* m_autoUpdate = nullptr;
    QRadioButton* m_intervalButton = nullptr;
    QComboBox* m_interval = nullptr;
    QRadioButton* m_daysButton = nullptr;
    QSpinBox* m_days = nullptr;
    int m_updateMode = 0;
    int m_updateDays = 1;
};
