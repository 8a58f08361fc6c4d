// The General, Control, Format and Connection pages of the preferences
// dialog: their limits and choice tables, what is stored at once, what Save
// stores, and the proxy reaching the music information service (whose
// reachability probe then goes through a loopback proxy of the test's own).
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QTest>

#include <cstdlib>
#include <memory>

#include "config.h"
#include "loopbackhttp.h"
#include "preferences/controlpage.h"
#include "preferences/formatpage.h"
#include "preferences/generalpage.h"
#include "preferences/netwidget.h"
#include "preferences/preferencesdialog.h"
#include "tunecap.h"
#include "uiapp.h"

namespace {

QStringList Items(const QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
    return items;
}

class PagesTest : public testing::Test {
protected:
    void SetUp() override {
        uitest::App();
        m_config = CConfig::instance();
        m_config->SetSplitMode(1);
        m_config->SetSplitTime(200);
        m_config->SetFilterMode(1);
        m_config->SetFilterTime(3);
        m_config->SetIdMode(1);
        m_config->SetOutputFileType(0);
        m_config->SetBitRate(192);
        m_config->SetSampleRate(44100);
        m_config->SetAutoUpdate(0);
        m_config->SetUpdateDays(1);
        m_config->SetUseProxy(0);
        m_config->SetProxyType(-1);
    }

    std::unique_ptr<CPreferencesDialog> Open(int choice = CPreferencesDialog::Open_Settings) {
        return std::make_unique<CPreferencesDialog>(nullptr, nullptr, choice);
    }
    // The value of key as the settings file holds it now.
    QVariant Stored(const char* key) const {
        QSettings file(m_config->SettingsFile(), QSettings::IniFormat);
        return file.value(QLatin1String(key));
    }

    CConfig* m_config = nullptr;
};

TEST_F(PagesTest, LongerSplitSilenceRaisesTheShortestKeptSongAtOnce) {
    auto dialog = Open();
    EXPECT_EQ(dialog->CurrentPage(), CPreferencesDialog::Page_Control);
    CControlPage* page = dialog->ControlPage();
    QComboBox* split = page->SplitTimeBox();
    QSpinBox* filter = page->FilterTimeBox();
    EXPECT_EQ(Items(split), QStringList({"0.2", "0.4", "0.6", "0.8", "1.0", "1.5", "2.0", "3.0",
                                         "4.0", "5.0", "10.0"}));
    EXPECT_EQ(split->currentText(), QStringLiteral("0.2"));
    EXPECT_EQ(filter->value(), 3);
    EXPECT_EQ(filter->minimum(), 1);
    EXPECT_EQ(filter->maximum(), 1000);

    split->setCurrentIndex(split->findText(QStringLiteral("5.0")));
    EXPECT_EQ(m_config->GetFilterTime(), 6u);  // stored before any Save
    EXPECT_EQ(Stored("Filter_Time").toUInt(), 6u);
    EXPECT_EQ(filter->value(), 6);
    filter->setValue(4);
    EXPECT_EQ(filter->value(), 6);
    filter->setValue(40);
    // A shorter silence lowers the limit but keeps what was typed.
    split->setCurrentIndex(split->findText(QStringLiteral("1.5")));
    EXPECT_EQ(filter->minimum(), 2);
    EXPECT_EQ(filter->value(), 40);

    // The boxes follow their check boxes.
    page->SplitBox()->click();
    EXPECT_FALSE(split->isEnabled());
    page->FilterBox()->click();
    EXPECT_FALSE(filter->isEnabled());
    page->FilterBox()->click();
    EXPECT_TRUE(filter->isEnabled());

    // Cancel keeps the raised Filter_Time only.
    dialog->CancelButton()->click();
    EXPECT_EQ(m_config->GetFilterTime(), 6u);
    EXPECT_EQ(m_config->GetSplitTime(), 200u);
    EXPECT_EQ(m_config->GetSplitMode(), 1);

    // A stored silence that is not offered shows the nearest entry; the
    // page opens with its limit.
    m_config->SetSplitTime(2900);
    m_config->SetFilterTime(1);
    auto again = Open();
    EXPECT_EQ(again->ControlPage()->SplitTimeBox()->currentText(), QStringLiteral("3.0"));
    EXPECT_EQ(again->ControlPage()->FilterTimeBox()->value(), 4);
    EXPECT_EQ(m_config->GetFilterTime(), 4u);
}

TEST_F(PagesTest, BitRatesFollowTheSampleRateAndWavOnlyShowsItsRate) {
    auto dialog = Open();
    CFormatPage* page = dialog->FormatPage();
    QComboBox* rate = page->SampleRateBox();
    QComboBox* bits = page->BitRateBox();
    EXPECT_EQ(Items(page->FileTypeBox()), QStringList({"mp3 Audio(*.mp3)", "wav Audio(*.wav)"}));
    EXPECT_EQ(Items(page->CodecBox()), QStringList({"AAC"}));
    EXPECT_FALSE(page->CodecBox()->isEnabled());
    EXPECT_EQ(Items(rate), QStringList({"11025", "22050", "32000", "44100", "48000"}));
    EXPECT_EQ(rate->currentText(), QStringLiteral("44100"));
    EXPECT_EQ(Items(bits), QStringList({"64", "128", "192", "224", "256", "320"}));
    EXPECT_EQ(bits->currentText(), QStringLiteral("192"));
    EXPECT_TRUE(bits->isEnabled());

    rate->setCurrentText(QStringLiteral("11025"));
    EXPECT_EQ(Items(bits), QStringList({"64"}));
    rate->setCurrentText(QStringLiteral("22050"));
    EXPECT_EQ(Items(bits), QStringList({"64", "128"}));
    EXPECT_EQ(bits->currentText(), QStringLiteral("128"));
    rate->setCurrentText(QStringLiteral("32000"));
    EXPECT_EQ(bits->count(), 6);
    EXPECT_EQ(bits->currentText(), QStringLiteral("192"));
    // The user's own pick outlives a change of sample rate that offers it.
    QTest::keyClick(bits, Qt::Key_Down);
    EXPECT_EQ(bits->currentText(), QStringLiteral("224"));
    rate->setCurrentText(QStringLiteral("48000"));
    EXPECT_EQ(bits->currentText(), QStringLiteral("224"));

    page->FileTypeBox()->setCurrentIndex(1);
    rate->setCurrentText(QStringLiteral("44100"));
    EXPECT_EQ(Items(bits), QStringList({"1411"}));
    EXPECT_FALSE(bits->isEnabled());
    rate->setCurrentText(QStringLiteral("48000"));
    EXPECT_EQ(Items(bits), QStringList({"1536"}));
    rate->setCurrentText(QStringLiteral("11025"));
    EXPECT_EQ(Items(bits), QStringList({"352"}));

    // WAV stores the format and the sample rate, never its shown bit rate.
    dialog->SaveButton()->click();
    EXPECT_EQ(dialog->result(), 1);
    EXPECT_EQ(m_config->GetOutputFileType(), 1);
    EXPECT_EQ(m_config->GetSampleRate(), 11025);
    EXPECT_EQ(m_config->GetBitRate(), 192);

    // Back to MP3 at 11025 Hz: the only rate it offers is stored.
    auto again = Open();
    EXPECT_EQ(again->FormatPage()->FileTypeBox()->currentIndex(), 1);
    again->FormatPage()->FileTypeBox()->setCurrentIndex(0);
    EXPECT_EQ(Items(again->FormatPage()->BitRateBox()), QStringList({"64"}));
    again->SaveButton()->click();
    EXPECT_EQ(m_config->GetOutputFileType(), 0);
    EXPECT_EQ(m_config->GetBitRate(), 64);
}

TEST_F(PagesTest, NewOutputFoldersGoFirstAndTheSixthDropsTheOldest) {
    const QString base = QDir::homePath() + QStringLiteral("/out");
    QStringList five;
    for (int i = 1; i <= 5; ++i) {
        five << QStringLiteral("%1%2").arg(base).arg(i);
        QDir().mkpath(five.last());
    }
    m_config->SetOutputPath(five);
    const QString sixth = base + QStringLiteral("6");
    QDir().mkpath(sixth);

    auto dialog = Open();
    CGeneralPage* page = dialog->GeneralPage();
    EXPECT_EQ(Items(page->FolderBox()), five);

    // "folder" asks with the file dialog, starting at the folder shown.
    QString startedAt;
    uitest::ModalAnswer answer([&](QWidget* modal) {
        auto* chooser = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(chooser, nullptr);
        startedAt = chooser->directory().absolutePath();
        // Typed as a user would; the dialog's folder list loads late.
        auto* name = chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(sixth);
        static_cast<QDialog*>(chooser)->accept();
    });
    QTest::mouseClick(page->FolderButton(), Qt::LeftButton);
    ASSERT_TRUE(answer.Seen());
    EXPECT_EQ(startedAt, five.first());

    const QStringList expected = {sixth, five[0], five[1], five[2], five[3]};
    EXPECT_EQ(Items(page->FolderBox()), expected);
    EXPECT_EQ(page->FolderBox()->currentIndex(), 0);
    EXPECT_EQ(m_config->GetOutputPath(), expected);  // at once
    EXPECT_EQ(Stored("Output_Path").toStringList(), expected);

    // A listed folder moves to the front and nothing is dropped.
    page->AddOutputFolder(five[2]);
    EXPECT_EQ(m_config->GetOutputPath(), QStringList({five[2], sixth, five[0], five[1], five[3]}));
    // Save puts the folder chosen in the box first.
    page->FolderBox()->setCurrentIndex(3);
    dialog->SaveButton()->click();
    EXPECT_EQ(m_config->GetOutputPath(), QStringList({five[1], five[2], sixth, five[0], five[3]}));
}

TEST_F(PagesTest, UpdateControlsFollowTheModeAndSaveIt) {
    {
        auto dialog = Open();
        CGeneralPage* page = dialog->GeneralPage();
        EXPECT_FALSE(page->AutoUpdateBox()->isChecked());
        for (QWidget* w :
             {static_cast<QWidget*>(page->IntervalButton()),
              static_cast<QWidget*>(page->IntervalBox()), static_cast<QWidget*>(page->DaysButton()),
              static_cast<QWidget*>(page->DaysBox())})
            EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
        EXPECT_EQ(Items(page->IntervalBox()),
                  QStringList({"Every Day", "Every Week", "Every Month"}));

        // Ticking chooses the interval mode.
        QTest::mouseClick(page->AutoUpdateBox(), Qt::LeftButton);
        EXPECT_TRUE(page->IntervalButton()->isChecked());
        EXPECT_TRUE(page->IntervalBox()->isEnabled());
        EXPECT_FALSE(page->DaysBox()->isEnabled());
        EXPECT_EQ(page->UpdateMode(), 2);
        page->IntervalBox()->setCurrentIndex(2);
        EXPECT_EQ(page->UpdateMode(), 4);

        // The day mode, with its count.
        QTest::mouseClick(page->DaysButton(), Qt::LeftButton);
        EXPECT_EQ(page->UpdateMode(), 1);
        EXPECT_TRUE(page->DaysBox()->isEnabled());
        EXPECT_FALSE(page->IntervalBox()->isEnabled());
        page->DaysBox()->setValue(400);
        EXPECT_EQ(page->DaysBox()->value(), 365);
        page->DaysBox()->setValue(7);
        // Unticking and ticking again returns to the day mode.
        QTest::mouseClick(page->AutoUpdateBox(), Qt::LeftButton);
        EXPECT_EQ(page->UpdateMode(), 0);
        EXPECT_FALSE(page->DaysBox()->isEnabled());
        QTest::mouseClick(page->AutoUpdateBox(), Qt::LeftButton);
        EXPECT_EQ(page->UpdateMode(), 1);
        dialog->SaveButton()->click();
        EXPECT_EQ(m_config->GetAutoUpdate(), 1);
        EXPECT_EQ(m_config->GetUpdateDays(), 7);
    }
    {
        auto dialog = Open();
        CGeneralPage* page = dialog->GeneralPage();
        EXPECT_TRUE(page->DaysButton()->isChecked());
        EXPECT_EQ(page->DaysBox()->value(), 7);
        QTest::mouseClick(page->IntervalButton(), Qt::LeftButton);
        page->IntervalBox()->setCurrentIndex(1);
        dialog->SaveButton()->click();
        EXPECT_EQ(m_config->GetAutoUpdate(), 3);
    }
    auto dialog = Open();
    EXPECT_TRUE(dialog->GeneralPage()->IntervalButton()->isChecked());
    EXPECT_EQ(dialog->GeneralPage()->IntervalBox()->currentText(), QStringLiteral("Every Week"));
}

TEST_F(PagesTest, ConnectionPageFillsItsFieldsAndKeepsThemInBounds) {
    m_config->SetUseProxy(1);
    m_config->SetProxyType(0);
    m_config->SetProxyHost(QStringLiteral("proxy.example"));
    m_config->SetProxyPort(0);
    m_config->SetProxyName(QStringLiteral("me"));
    auto dialog = Open();
    CNetWidget* net = dialog->NetWidget();
    EXPECT_TRUE(net->ProxyBox()->isChecked());
    EXPECT_TRUE(net->ProxyGroup()->isEnabled());
    EXPECT_EQ(Items(net->TypeBox()), QStringList({"Http"}));
    EXPECT_EQ(net->HostEdit()->text(), QStringLiteral("proxy.example"));
    EXPECT_EQ(net->PortEdit()->text(), QString());  // port 0 is not shown
    EXPECT_EQ(net->NameEdit()->text(), QStringLiteral("me"));
    EXPECT_EQ(net->PasswordEdit()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(net->HostEdit()->maxLength(), 63);
    EXPECT_EQ(net->NameEdit()->maxLength(), 31);
    EXPECT_EQ(net->PasswordEdit()->maxLength(), 15);
    net->PortEdit()->clear();
    QTest::keyClicks(net->PortEdit(), QStringLiteral("99999"));
    EXPECT_EQ(net->PortEdit()->text(), QStringLiteral("9999"));  // no port above 65535

    QTest::mouseClick(net->ProxyBox(), Qt::LeftButton);
    EXPECT_FALSE(net->ProxyGroup()->isEnabled());
    dialog->SaveButton()->click();
    EXPECT_EQ(m_config->GetUseProxy(), 0);
    EXPECT_EQ(m_config->GetProxyType(), -1);
    EXPECT_EQ(m_config->GetProxyPort(), 0);  // fields of an unused proxy are not stored
}

// Save across all pages: every key lands in the file, and the proxy reaches
// the music information service at once: its next reachability probe goes
// through the proxy, with the user name and password.
TEST_F(PagesTest, SaveStoresEveryKeyAndTheProxyReachesTheService) {
    uitest::LoopbackHttp proxy;
    ASSERT_TRUE(proxy.ok());
    proxy.SetReply(200, QByteArray(), QByteArrayLiteral("text/plain"));
    // The service probes a loopback address only (nothing listens there);
    // a probe that arrives at the proxy came through it.
    setenv("TUNECAP_PROBE_HOSTS", "http://127.0.0.1:9/probe", 1);

    auto dialog = Open();
    dialog->GeneralPage()->AutoUpdateBox()->click();
    dialog->GeneralPage()->IntervalBox()->setCurrentIndex(1);
    dialog->ControlPage()->SplitTimeBox()->setCurrentText(QStringLiteral("2.0"));
    dialog->ControlPage()->FilterTimeBox()->setValue(30);
    dialog->ControlPage()->IdBox()->click();
    dialog->FormatPage()->SampleRateBox()->setCurrentText(QStringLiteral("48000"));
    dialog->FormatPage()->BitRateBox()->setCurrentText(QStringLiteral("256"));
    CNetWidget* net = dialog->NetWidget();
    QTest::mouseClick(net->ProxyBox(), Qt::LeftButton);
    EXPECT_TRUE(net->ProxyGroup()->isEnabled());
    net->HostEdit()->setText(QStringLiteral(" 127.0.0.1 "));
    net->PortEdit()->setText(QString::number(proxy.port()));
    net->NameEdit()->setText(QStringLiteral("ann"));
    net->PasswordEdit()->setText(QStringLiteral("s3cret"));
    dialog->SaveButton()->click();
    EXPECT_EQ(dialog->result(), 1);

    EXPECT_EQ(Stored("Auto_update").toInt(), 3);
    EXPECT_EQ(Stored("Split_Mode").toInt(), 1);
    EXPECT_EQ(Stored("Split_Time").toUInt(), 2000u);
    EXPECT_EQ(Stored("Filter_Mode").toInt(), 1);
    EXPECT_EQ(Stored("Filter_Time").toUInt(), 30u);
    EXPECT_EQ(Stored("Id_Mode").toInt(), 0);
    EXPECT_EQ(Stored("Output_File_Type").toInt(), 0);
    EXPECT_EQ(Stored("Bit_Rate").toInt(), 256);
    EXPECT_EQ(Stored("Sample_Rate").toInt(), 48000);
    EXPECT_EQ(Stored("b_proxy").toInt(), 1);
    EXPECT_EQ(Stored("Proxy_type").toInt(), 0);
    EXPECT_EQ(Stored("Proxy_host").toString(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(Stored("Proxy_prot").toInt(), proxy.port());
    EXPECT_EQ(Stored("Proxy_name").toString(), QStringLiteral("ann"));
    EXPECT_EQ(Stored("Proxy_pass").toString(), QStringLiteral("s3cret"));

    // A request makes the service wait for its first probe.
    char title[] = "probe";
    MusicParserRequestInfo info{};
    info.text1 = title;
    info.userData = this;
    info.callback = [](void*, int, RecordMusicInfo*) { return 0; };
    void* request = MusicParserRequest(&info);
    ASSERT_NE(request, nullptr);
    const bool probed = QTest::qWaitFor([&proxy] { return !proxy.Requests().isEmpty(); }, 20000);
    MusicParserDestroyRequest(request);
    MusicParserCleanup();
    unsetenv("TUNECAP_PROBE_HOSTS");
    ASSERT_TRUE(probed);
    const QByteArray head = proxy.Requests().first();
    EXPECT_TRUE(head.contains(" http://127.0.0.1:9/probe HTTP/1.1")) << head.toStdString();
    EXPECT_TRUE(head.contains("Proxy-Authorization: Basic " + QByteArray("ann:s3cret").toBase64()))
        << head.toStdString();
}

}  // namespace
