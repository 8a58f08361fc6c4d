#include "formatpage.h"

#include <QComboBox>
#include <QFormLayout>

#include "config.h"

namespace {
const char* const kFileTypes[] = {"mp3 Audio(*.mp3)", "wav Audio(*.wav)"};
constexpr int kMp3 = 0;
constexpr int kWav = 1;
const int kSampleRates[] = {11025, 22050, 32000, 44100, 48000};
constexpr int kSampleRateCount = int(sizeof kSampleRates / sizeof kSampleRates[0]);
constexpr int kDefaultSampleRateIndex = 3;  // 44100
const int kMp3BitRates[] = {64, 128, 192, 224, 256, 320};
constexpr int kMp3BitRateCount = int(sizeof kMp3BitRates / sizeof kMp3BitRates[0]);
// 16-bit stereo PCM at each sample rate, in kbit/s as shown.
const int kWavBitRates[kSampleRateCount] = {352, 705, 1024, 1411, 1536};

// How many MP3 rates the sample rate at index allows: low rates carry only
// the lowest bit rates.
int Mp3RateCount(int sampleRateIndex) {
    if (sampleRateIndex == 0) return 1;
    if (sampleRateIndex == 1) return 2;
    return kMp3BitRateCount;
}
}  // namespace

CFormatPage::CFormatPage(QWidget* parent)
    : CPreferencesPage(parent), m_config(CConfig::instance()) {
    setObjectName(QStringLiteral("CFormatPage"));
    m_fileType = new QComboBox(this);
    m_fileType->setObjectName(QStringLiteral("fileTypeBox"));
    for (const char* type : kFileTypes) m_fileType->addItem(QString::fromLatin1(type));
    m_codec = new QComboBox(this);
    m_codec->setObjectName(QStringLiteral("codecBox"));
    m_codec->addItem(QStringLiteral("AAC"));
    m_codec->setEnabled(false);
    m_bitRate = new QComboBox(this);
    m_bitRate->setObjectName(QStringLiteral("bitRateBox"));
    m_sampleRate = new QComboBox(this);
    m_sampleRate->setObjectName(QStringLiteral("sampleRateBox"));
    for (int rate : kSampleRates) m_sampleRate->addItem(QString::number(rate), rate);

    auto* layout = new QFormLayout(this);
    layout->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    layout->setVerticalSpacing(12);
    layout->addRow(tr("Output Format:"), m_fileType);
    layout->addRow(tr("Audio Codec:"), m_codec);
    layout->addRow(tr("Bit Rate(Kbps):"), m_bitRate);
    layout->addRow(tr("Sample Rate(HZ):"), m_sampleRate);
    for (QComboBox* box : {m_fileType, m_codec, m_bitRate, m_sampleRate}) box->setMinimumWidth(160);

    m_fileType->setCurrentIndex(m_config->GetOutputFileType() == kWav ? kWav : kMp3);
    m_codec->setCurrentIndex(qBound(0, m_config->GetAudioCodec(), m_codec->count() - 1));
    m_wantedBitRate = m_config->GetBitRate();
    const int stored = m_sampleRate->findData(m_config->GetSampleRate());
    m_sampleRate->setCurrentIndex(stored >= 0 ? stored : kDefaultSampleRateIndex);
    SampleRateComboxChange(m_sampleRate->currentIndex());

    connect(m_fileType, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &CFormatPage::FileTypeComboxChange);
    connect(m_sampleRate, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &CFormatPage::SampleRateComboxChange);
    // Only the user's own choice (not a refill) changes the wanted rate.
    connect(m_bitRate, qOverload<int>(&QComboBox::activated), this, [this](int index) {
        if (m_bitRate->isEnabled()) m_wantedBitRate = m_bitRate->itemData(index).toInt();
    });
}

void CFormatPage::FileTypeComboxChange(int) {
    SampleRateComboxChange(m_sampleRate->currentIndex());
}

void CFormatPage::SampleRateComboxChange(int index) {
    if (index < 0) return;
    m_bitRate->clear();
    if (m_fileType->currentIndex() == kWav) {
        m_bitRate->addItem(QString::number(kWavBitRates[qMin(index, kSampleRateCount - 1)]));
        m_bitRate->setEnabled(false);
        return;
    }
    const int count = Mp3RateCount(index);
    for (int i = 0; i < count; ++i)
        m_bitRate->addItem(QString::number(kMp3BitRates[i]), kMp3BitRates[i]);
    const int selected = m_bitRate->findData(m_wantedBitRate);
    // A rate the sample rate does not allow: the highest it allows.
    m_bitRate->setCurrentIndex(selected >= 0 ? selected : count - 1);
    m_bitRate->setEnabled(true);
}

void CFormatPage::Save() {
    const int type = m_fileType->currentIndex() == kWav ? kWav : kMp3;
    m_config->SetOutputFileType(type);
    if (type == kMp3) m_config->SetBitRate(m_bitRate->currentData().toInt());
    m_config->SetSampleRate(m_sampleRate->currentData().toInt());
    qDebug("CFormatPage::Save type: %d bit rate: %d sample rate: %d", type, m_config->GetBitRate(),
           m_config->GetSampleRate());
}
