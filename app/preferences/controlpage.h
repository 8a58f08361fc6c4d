#pragma once

#include "preferences/preferencespage.h"

class CConfig;
class QCheckBox;
class QComboBox;
class QSpinBox;

// The "Control" page: splitting at silence, filtering short songs and
// getting song information while recording. The shortest kept song must be
// longer than the split silence: choosing a longer silence raises the
// filter length, and a stored Filter_Time below the new minimum is raised
// and stored at once.
class CControlPage : public CPreferencesPage {
    Q_OBJECT
public:
    // Longest filter length the box offers, in seconds.
    static constexpr int kMaxFilterSeconds = 1000;

    explicit CControlPage(QWidget* parent = nullptr);

    // Split_Mode and Split_Time, Filter_Mode and Filter_Time, Id_Mode.
    void Save() override;

    // Milliseconds of the split silence entry at index; -1 for none.
    static int SplitMilliseconds(int index);

    QCheckBox* SplitBox() const { return m_split; }
    QComboBox* SplitTimeBox() const { return m_splitTime; }
    QCheckBox* FilterBox() const { return m_filter; }
    QSpinBox* FilterTimeBox() const { return m_filterTime; }
    QCheckBox* IdBox() const { return m_id; }

public Q_SLOTS:
    // The split silence box changed to entry index.
    void SpliterIndexchange(int index);
    // The split / filter check box was ticked or unticked.
    void ChangeSpliteModle();
    void ChangeFilterModle();

private:
    CConfig* m_config;  // not owned
    QCheckBox* m_split = nullptr;
    QComboBox* m_splitTime = nullptr;
    QCheckBox* m_filter = nullptr;
    QSpinBox* m_filterTime = nullptr;
    QCheckBox* m_id = nullptr;
};
