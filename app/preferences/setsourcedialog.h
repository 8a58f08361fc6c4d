#pragma once

#include "preferences/preferencespage.h"

class CConfig;
class QComboBox;
class QRadioButton;

// The "Audio Source" page: record a real input (microphone, line-in), chosen
// from the engine's inputs, or what the computer plays through the virtual
// device, which is installed on the spot when it is missing. Saving stores
// Record_Mode and, for a real input, DEVIC_ID.
class CSetSourceDialog : public CPreferencesPage {
    Q_OBJECT
public:
    // audioDev: the engine instance that lists the inputs; not owned, may be
    // null (the list is then empty).
    explicit CSetSourceDialog(void* audioDev, QWidget* parent = nullptr);

    void Save() override;

    QRadioButton* BuiltInButton() const { return m_builtIn; }
    QRadioButton* ComputerButton() const { return m_computer; }
    QComboBox* InputBox() const { return m_inputs; }

public Q_SLOTS:
    // "Record Audio Input" was clicked: the input list can be used.
    void RButBuiltInClick();
    // "Record Computer Audio" was clicked: installs the virtual device when
    // it is missing; declined or failed, the choice returns to the input.
    void RButComputerClick();

private:
    void* m_audioDev;  // not owned
    CConfig* m_config; // not owned
    QRadioButton* m_builtIn = nullptr;
    QRadioButton* m_computer = nullptr;
    QComboBox* m_inputs = nullptr;
};
