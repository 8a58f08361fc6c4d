// The audio source page and the installer of the virtual device, against a
// private PulseAudio daemon: the inputs offered, the choice of computer
// audio with the device present or missing, the real installer from the
// program's folder, and an installation that fails or never brings the
// device (the wait ends, the dialog says so, the window stays responsive).
#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <string>

#include "capdev.h"
#include "config.h"
#include "preferences/setsourcedialog.h"
#include "pulsedaemon.h"
#include "recording/audiosource.h"
#include "recording/installextrasdialog.h"
#include "uiapp.h"

namespace {

class SourceTest : public testing::Test {
protected:
    void SetUp() override {
        uitest::App();
        ASSERT_TRUE(m_pulse.ok()) << m_pulse.error();
        // Real inputs besides the speakers' monitor; one only differs from
        // the virtual device in letter case.
        AddSink("line_in", "Line In");
        AddSink("lower", "tavra audio");
        m_audioDev = AudioDevCreate();
        ASSERT_NE(m_audioDev, nullptr);
        m_config = CConfig::instance();
    }
    void TearDown() override { AudioDevDestroy(m_audioDev); }

    // A null sink whose monitor source becomes the input
    // "Monitor of <description>".
    void AddSink(const std::string& name, const std::string& description) {
        const std::string args = "load-module module-null-sink sink_name=" + name +
                                 " \"sink_properties='device.description=\\\"" + description +
                                 "\\\"'\"";
        ASSERT_EQ(m_pulse.pactl(args), 0) << args;
    }
    bool DevicePresent() const {
        std::string sinks;
        m_pulse.pactl("list short sinks", &sinks);
        return sinks.find("tavra_audio") != std::string::npos;
    }
    // Loads the virtual device as its installer does, without the installer.
    void LoadDevice() { AddSink("tavra_audio", "Tavra Audio"); }

    testsupport::PulseDaemon m_pulse;
    void* m_audioDev = nullptr;
    CConfig* m_config = nullptr;
};

QStringList Items(const QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
    return items;
}

TEST_F(SourceTest, OffersTheRealInputsAndSelectsTheStoredOne) {
    LoadDevice();
    m_config->SetRecordMode(0);
    m_config->SetDeviceId(QStringLiteral("Monitor of Line In"));
    CSetSourceDialog page(m_audioDev);
    const QStringList items = Items(page.InputBox());
    EXPECT_TRUE(items.contains(QStringLiteral("Monitor of Speakers"))) << items.join(u'|').toStdString();
    EXPECT_TRUE(items.contains(QStringLiteral("Monitor of Line In")));
    EXPECT_TRUE(items.contains(QStringLiteral("Monitor of tavra audio")));
    EXPECT_FALSE(items.contains(QStringLiteral("Monitor of Tavra Audio")));
    EXPECT_EQ(page.InputBox()->currentText(), QStringLiteral("Monitor of Line In"));
    EXPECT_TRUE(page.BuiltInButton()->isChecked());
    EXPECT_TRUE(page.InputBox()->isEnabled());
    EXPECT_EQ(RealInputNames(m_audioDev), items);
    EXPECT_TRUE(VirtualDevicePresent(m_audioDev));

    // A stored input that is gone: nothing chosen for it, the first stays.
    m_config->SetDeviceId(QStringLiteral("USB Microphone"));
    CSetSourceDialog gone(m_audioDev);
    EXPECT_EQ(gone.InputBox()->currentIndex(), 0);
}

TEST_F(SourceTest, ComputerAudioWithTheDevicePresentAsksNothing) {
    LoadDevice();
    m_config->SetRecordMode(0);
    CSetSourceDialog page(m_audioDev);
    page.show();
    uitest::ModalAnswer none([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); }, 800);
    QTest::mouseClick(page.ComputerButton(), Qt::LeftButton, {}, QPoint(4, 4));
    uitest::Watch([&] { return none.Seen(); }, 1000);
    EXPECT_FALSE(none.Seen());
    EXPECT_TRUE(page.ComputerButton()->isChecked());
    EXPECT_FALSE(page.InputBox()->isEnabled());
    page.Save();
    EXPECT_EQ(m_config->GetRecordMode(), -1);

    // Back to the input: the list is usable again and Save stores it.
    QTest::mouseClick(page.BuiltInButton(), Qt::LeftButton, {}, QPoint(4, 4));
    EXPECT_TRUE(page.InputBox()->isEnabled());
    page.InputBox()->setCurrentText(QStringLiteral("Monitor of Line In"));
    page.Save();
    EXPECT_EQ(m_config->GetRecordMode(), 0);
    EXPECT_EQ(m_config->GetDeviceId(), QStringLiteral("Monitor of Line In"));
}

TEST_F(SourceTest, MissingDeviceIsInstalledThroughTheDialogWithTheRealInstaller) {
    ASSERT_FALSE(DevicePresent());
    m_config->SetRecordMode(0);
    CSetSourceDialog page(m_audioDev);
    page.show();
    QString name;
    uitest::ModalAnswer install([&name](QWidget* modal) {
        name = modal->objectName();
        auto* dialog = qobject_cast<CInstallExtrasDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(QFile::exists(dialog->InstallerPath()))
            << dialog->InstallerPath().toStdString();
        QTest::mouseClick(dialog->InstallButton(), Qt::LeftButton);
    });
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(page.ComputerButton(), Qt::LeftButton, {}, QPoint(4, 4));
    EXPECT_TRUE(install.Seen());
    EXPECT_EQ(name, QStringLiteral("installDialg"));
    EXPECT_LT(clock.elapsed(), 15000);
    EXPECT_TRUE(DevicePresent());
    EXPECT_TRUE(page.ComputerButton()->isChecked());
    EXPECT_FALSE(page.InputBox()->isEnabled());
    // The installer also made the device persist for the user's server.
    const QString startup = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/pulse/default.pa");
    QFile file(startup);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << startup.toStdString();
    EXPECT_TRUE(file.readAll().contains("sink_name=tavra_audio"));
    // The new device is no real input.
    EXPECT_FALSE(RealInputNames(m_audioDev).contains(QStringLiteral("Monitor of Tavra Audio")));
}

TEST_F(SourceTest, DeclinedInstallationReturnsTheChoiceToTheInput) {
    m_config->SetRecordMode(-1);
    CSetSourceDialog page(m_audioDev);
    page.show();
    EXPECT_TRUE(page.ComputerButton()->isChecked());
    EXPECT_FALSE(page.InputBox()->isEnabled());
    uitest::ModalAnswer decline([](QWidget* modal) {
        auto* dialog = qobject_cast<CInstallExtrasDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        QTest::mouseClick(dialog->CloseButton(), Qt::LeftButton);
    });
    QTest::mouseClick(page.ComputerButton(), Qt::LeftButton, {}, QPoint(4, 4));
    EXPECT_TRUE(decline.Seen());
    EXPECT_FALSE(DevicePresent());
    EXPECT_TRUE(page.BuiltInButton()->isChecked());
    EXPECT_FALSE(page.ComputerButton()->isChecked());
    EXPECT_TRUE(page.InputBox()->isEnabled());
    page.Save();
    EXPECT_EQ(m_config->GetRecordMode(), 0);
    EXPECT_EQ(m_config->GetDeviceId(), page.InputBox()->currentText());
}

// What a failed installation showed.
struct FailedInstall {
    int result = -1;       // exec()'s result
    QString status;        // the failure text
    int ticks = 0;         // ticks of a 100 ms timer meanwhile
    qint64 failedAfterMs = 0;
};

// Runs the installer dialog with a stand-in installer, presses "Install"
// and, once the dialog shows a failure, closes it.
FailedInstall RunFailingInstall(void* audioDev, const QString& installer, int waitLimitMs) {
    FailedInstall failed;
    CInstallExtrasDialog dialog(audioDev);
    dialog.SetInstallerPath(installer);
    dialog.SetWaitLimit(waitLimitMs);
    QTimer ticker;
    ticker.setInterval(100);
    QObject::connect(&ticker, &QTimer::timeout, [&failed] { ++failed.ticks; });
    QElapsedTimer clock;
    QTimer watch;
    watch.setInterval(50);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!dialog.StatusText().contains(QStringLiteral("could not be installed"))) return;
        watch.stop();
        failed.status = dialog.StatusText();
        failed.failedAfterMs = clock.elapsed();
        EXPECT_TRUE(dialog.InstallButton()->isEnabled()) << "offered again";
        QTest::mouseClick(dialog.CloseButton(), Qt::LeftButton);
    });
    QTimer::singleShot(0, &dialog, [&] {
        clock.start();
        ticker.start();
        watch.start();
        QTest::mouseClick(dialog.InstallButton(), Qt::LeftButton);
        EXPECT_FALSE(dialog.InstallButton()->isEnabled());
    });
    failed.result = dialog.exec();
    return failed;
}

QString Script(const QTemporaryDir& dir, const char* body) {
    const QString path = dir.filePath(QStringLiteral("install"));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("#!/bin/sh\n") + body + "\n");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

TEST_F(SourceTest, DeviceThatNeverAppearsEndsTheBoundedWaitAndIsReported) {
    QTemporaryDir dir;
    // Succeeds without installing anything.
    const FailedInstall failed = RunFailingInstall(m_audioDev, Script(dir, "exit 0"), 2500);
    EXPECT_EQ(failed.result, 0) << "a closed dialog cancels";
    EXPECT_TRUE(failed.status.contains(QStringLiteral("did not appear within 3 seconds")))
        << failed.status.toStdString();
    EXPECT_GE(failed.failedAfterMs, 2400);
    EXPECT_LT(failed.failedAfterMs, 6000);
    // The event loop ran all along: about 25 ticks in 2.5 s.
    EXPECT_GE(failed.ticks, 15);
    EXPECT_FALSE(DevicePresent());
}

TEST_F(SourceTest, FailingInstallerIsReportedAtOnceWithItsReason) {
    QTemporaryDir dir;
    const FailedInstall failed = RunFailingInstall(
        m_audioDev, Script(dir, "echo 'tavra-audio-install: pactl is not installed' >&2; exit 1"),
        30000);
    EXPECT_EQ(failed.result, 0);
    EXPECT_TRUE(failed.status.contains(QStringLiteral("pactl is not installed")))
        << failed.status.toStdString();
    EXPECT_LT(failed.failedAfterMs, 3000);

    // An installer that is not there at all.
    const FailedInstall missing =
        RunFailingInstall(m_audioDev, dir.filePath(QStringLiteral("missing")), 30000);
    EXPECT_EQ(missing.result, 0);
    EXPECT_TRUE(missing.status.contains(QStringLiteral("could not be started")))
        << missing.status.toStdString();
}

TEST_F(SourceTest, PresentDeviceClosesTheInstallDialogWithoutRunningTheInstaller) {
    LoadDevice();
    QTemporaryDir dir;
    const QString mark = dir.filePath(QStringLiteral("ran"));
    const QString installer = Script(dir, ("touch '" + mark.toStdString() + "'").c_str());
    CInstallExtrasDialog dialog(m_audioDev);
    dialog.SetInstallerPath(installer);
    QTimer::singleShot(0, &dialog, [&] { QTest::mouseClick(dialog.InstallButton(), Qt::LeftButton); });
    EXPECT_EQ(dialog.exec(), 1);
    EXPECT_FALSE(QFile::exists(mark));
}

TEST_F(SourceTest, OffersThePlayingApplicationsWhileOpenAndKeepsTheChosenOne) {
    LoadDevice();
    m_config->SetRecordMode(-1);
    m_config->SetRecordApplication(QString());
    // Two clients of one program file: each is kept by its name.
    auto play = [](const QString& name) {
        auto client = std::make_unique<QProcess>();
        client->start(QStringLiteral("pacat"), {QStringLiteral("--playback"), QStringLiteral("--raw"),
                                                QStringLiteral("--client-name=") + name, QStringLiteral("/dev/zero")});
        return client;
    };
    auto toneA = play(QStringLiteral("ToneA"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return PlayingApplications(m_audioDev).size() == 1; }, 5000));
    CSetSourceDialog page(m_audioDev);
    page.show();
    QComboBox* box = page.ApplicationBox();
    EXPECT_TRUE(box->isEnabled());
    EXPECT_EQ(Items(box), (QStringList{QStringLiteral("All applications"), QStringLiteral("ToneA")}));
    EXPECT_EQ(box->currentIndex(), 0);

    // A client that starts while the page is open shows up.
    auto toneB = play(QStringLiteral("ToneB"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return box->count() == 3; }, 3 * CSetSourceDialog::kRefreshMs));
    box->setCurrentIndex(2);
    page.Save();
    EXPECT_EQ(m_config->GetRecordApplication(), QStringLiteral("ToneB"));

    // Once it stops it stays chosen; an input takes no application.
    toneB.reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return box->count() == 3 && box->itemText(2) != QLatin1String("ToneB"); },
                                3 * CSetSourceDialog::kRefreshMs));
    EXPECT_EQ(box->currentText(), QStringLiteral("ToneB (not playing now)"));
    EXPECT_EQ(box->currentData().toString(), QStringLiteral("ToneB"));
    QTest::mouseClick(page.BuiltInButton(), Qt::LeftButton, {}, QPoint(4, 4));
    EXPECT_FALSE(box->isEnabled());
    page.Save();
    EXPECT_EQ(m_config->GetRecordApplication(), QStringLiteral("ToneB"));
    m_config->SetRecordApplication(QString());
}

}  // namespace
