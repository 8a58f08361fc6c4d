#pragma once

#include "preferences/preferencespage.h"

class CConfig;
class QComboBox;

// The "Format" page: MP3 or WAV, the (fixed) codec, the bit rate and the
// sample rate. MP3 offers the bit rates the sample rate allows; for WAV the
// bit rate follows from the sample rate and is shown, not chosen.
class CFormatPage : public CPreferencesPage {
    Q_OBJECT
public:
    explicit CFormatPage(QWidget* parent = nullptr);

    // Output_File_Type; for MP3 Bit_Rate; Sample_Rate.
    void Save() override;

    QComboBox* FileTypeBox() const { return m_fileType; }
    QComboBox* CodecBox() const { return m_codec; }
    QComboBox* BitRateBox() const { return m_bitRate; }
    QComboBox* SampleRateBox() const { return m_sampleRate; }

public Q_SLOTS:
    // The output format changed: refills the bit rates.
    void FileTypeComboxChange(int index);
    // The sample rate changed to entry index: refills the bit rates.
    void SampleRateComboxChange(int index);

private:
    CConfig* m_config;  // not owned
    QComboBox* m_fileType = nullptr;
    QComboBox* m_codec = nullptr;
    QComboBox* m_bitRate = nullptr;
    QComboBox* m_sampleRate = nullptr;
    // The MP3 rate to select when the bit rates are refilled: Bit_Rate,
    // then the rate the user last picked in the box.
    int m_wantedBitRate = 0;
};
