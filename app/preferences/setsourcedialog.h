#pragma once

#include "preferences/preferencespage.h"

class CConfig;
class QComboBox;
class QRadioButton;
class QTimer;

// The "Audio Source" page: record a real input (microphone, line-in), chosen
// from the engine's inputs, or what the computer plays through the virtual
// device, which is installed on the spot when it is missing. What the
// computer plays is taken from "All applications" or from one application
// of those playing now (kept in the list while the page is open, refreshed
// every kRefreshMs). Saving stores Record_Mode and, for a real input,
// DEVIC_ID, for computer audio Record_Application.
class CSetSourceDialog : public CPreferencesPage {
    Q_OBJECT
public:
    // audioDev: the engine instance that lists the inputs; not owned, may be
    // null (the list is then empty).
    explicit CSetSourceDialog(void* audioDev, QWidget* parent = nullptr);

    // How often the playing applications are asked for while the page is
    // shown; a sound server that is slow to answer is asked less often.
    static constexpr int kRefreshMs = 2000;
    static constexpr int kSlowRefreshMs = 10000;

    void Save() override;

    QRadioButton* BuiltInButton() const { return m_builtIn; }
    QRadioButton* ComputerButton() const { return m_computer; }
    QComboBox* InputBox() const { return m_inputs; }
    // "All applications" (data: empty), then the applications playing now
    // (data: the setting's text for each), and the chosen one when it does
    // not play now.
    QComboBox* ApplicationBox() const { return m_applications; }

public Q_SLOTS:
    // "Record Audio Input" was clicked: the input list can be used.
    void RButBuiltInClick();
    // "Record Computer Audio" was clicked: installs the virtual device when
    // it is missing; declined or failed, the choice returns to the input.
    void RButComputerClick();
    // Asks the engine which applications play and updates the list, keeping
    // the entry chosen.
    void RefreshApplications();

private:
    void* m_audioDev;  // not owned
    CConfig* m_config; // not owned
    QRadioButton* m_builtIn = nullptr;
    QRadioButton* m_computer = nullptr;
    QComboBox* m_inputs = nullptr;
    QComboBox* m_applications = nullptr;
    QTimer* m_refresh = nullptr;
};
