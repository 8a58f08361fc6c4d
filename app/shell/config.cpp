#include "config.h"

#include "common/fileowner.h"
#include "common/utf8.h"
#include "diaglog.h"
#include "specialdirs.h"
#include "tunecap.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kSettingsFileName[] = "/tunecap.ini";

// One key of the file: its stored name and the value it takes when the file
// lacks it or holds something that cannot be read as its type.
struct KeyDefault {
    const char* name;
    QVariant value;
};

// Every key in CConfig's key order (the order of the full save). Texts and
// lists default to empty. The two task times are also what the first-run
// reset sets, so the scheduler never works with an invalid time. The update
// date has no fixed default: a missing one reads as today.
const KeyDefault kKeys[] = {
    {"Log_Path", QString()},
    {"Record_Mode", -1},
    {"After_Record", 1},
    {"Output_Path", QStringList()},
    {"Id_Mode", 1},
    {"Split_Time", 200u},
    {"Split_Mode", 1},
    {"Volume_Value", 200},
    {"Filter_Time", 1u},
    {"Filter_Mode", 1},
    {"Audio_Codec", 0},
    {"Bit_Rate", 192},
    {"Sample_Rate", 44100},
    {"Task_Start", QTime(0, 0, 0)},
    {"Task_Duration", QTime(0, 0, 15)},
    {"Delete_Type", 0},
    {"DEVIC_ID", QString()},
    {"Output_File_Type", 0},
    {"b_proxy", 0},
    {"Proxy_type", 0},
    {"Proxy_host", QString()},
    {"Proxy_prot", 0},
    {"Proxy_name", QString()},
    {"Proxy_pass", QString()},
    {"Log_File_Pos", qint64(0)},
    {"Show_Mute", 1},
    {"Auto_update", 3},
    {"Update_Days", 1},
    {"Update_year", QVariant()},
    {"Update_month", QVariant()},
    {"Update_day", QVariant()},
    {"Record_Application", QString()},
    {"User_Mail", QString()},
};

// Creates the settings file owner-only when it does not exist yet and takes
// read and write rights from everybody else when it does: it holds the
// proxy password.
void KeepOwnerOnly(const QString& file) {
    const QByteArray path = QFile::encodeName(file);
    const common::UniqueFd created(::open(path.constData(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600));
    ::chmod(path.constData(), 0600);
}

int ReadInt(const QSettings& s, const KeyDefault& key, int fallback) {
    bool ok = false;
    const int v = s.value(QLatin1String(key.name)).toInt(&ok);
    return ok ? v : fallback;
}

int ReadInt(const QSettings& s, const KeyDefault& key) { return ReadInt(s, key, key.value.toInt()); }

unsigned ReadUInt(const QSettings& s, const KeyDefault& key) {
    bool ok = false;
    const unsigned v = s.value(QLatin1String(key.name)).toUInt(&ok);
    return ok ? v : key.value.toUInt();
}

qint64 ReadInt64(const QSettings& s, const KeyDefault& key) {
    bool ok = false;
    const qint64 v = s.value(QLatin1String(key.name)).toLongLong(&ok);
    return ok ? v : key.value.toLongLong();
}

// A hand-written value with a comma is read back as a list: take it whole.
QString ReadText(const QSettings& s, const KeyDefault& key) {
    const QVariant v = s.value(QLatin1String(key.name));
    if (v.typeId() == QMetaType::QStringList) return v.toStringList().join(QLatin1String(", "));
    return v.canConvert<QString>() ? v.toString() : key.value.toString();
}

// Empty entries name no folder and are dropped.
QStringList ReadList(const QSettings& s, const KeyDefault& key) {
    QStringList list = s.value(QLatin1String(key.name), key.value).toStringList();
    list.removeAll(QString());
    return list;
}

// Accepts the stored time value as well as a text such as "00:00:15".
QTime ReadTime(const QSettings& s, const KeyDefault& key) {
    const QVariant v = s.value(QLatin1String(key.name));
    QTime t = v.toTime();
    if (!t.isValid() && v.typeId() == QMetaType::QString)
        t = QTime::fromString(v.toString(), Qt::ISODateWithMs);
    return t.isValid() ? t : key.value.toTime();
}

}  // namespace

bool IsUpdateCheckDue(int autoUpdate, int updateDays, int lastYear, int lastMonth, int lastDay,
                      const QDate& today) {
    if (autoUpdate <= 0 || autoUpdate > 4 || !today.isValid()) return false;
    // "Later than" on the stored numbers, so that a stored day that is no
    // valid date still compares.
    const bool later = today.year() != lastYear ? today.year() > lastYear
                       : today.month() != lastMonth ? today.month() > lastMonth
                                                    : today.day() > lastDay;
    if (!later) return false;
    switch (autoUpdate) {
    case 1: {
        const QDate last(lastYear, lastMonth, lastDay);
        return !last.isValid() || last.daysTo(today) >= updateDays;
    }
    case 2: return true;
    case 3: return today.dayOfWeek() == Qt::Monday;
    case 4: return today.year() > lastYear || (today.year() == lastYear && today.month() > lastMonth);
    default: return false;
    }
}

CConfig* CConfig::instance() {
    static CConfig* const config = [] {
        static CConfig object(SpecialDirPath(SpecialDir_ApplicationData) + QLatin1String(kSettingsFileName));
        if (!object.Load()) {
            // The log cannot be open yet (its folder is a setting): the
            // handler still ends the process with the fatal exit code.
            EnsureMessageHandler();
            qFatal("create QSettings failed!");
        }
        return &object;
    }();
    s_created.store(config, std::memory_order_release);
    return config;
}

std::atomic<CConfig*> CConfig::s_created{nullptr};

CConfig* CConfig::instanceIfCreated() {
    return s_created.load(std::memory_order_acquire);
}

std::unique_ptr<CConfig> CConfig::CreateForTesting(const QString& settingsFile) {
    std::unique_ptr<CConfig> config(new CConfig(settingsFile));
    if (!config->Load()) return nullptr;
    return config;
}

CConfig::CConfig(const QString& settingsFile) : m_settingsFile(settingsFile) {}

CConfig::~CConfig() {
    CConfig* self = this;
    s_created.compare_exchange_strong(self, nullptr);
    if (m_settings) Commit();
}

bool CConfig::Load() {
    const QString appData = SpecialDirPath(SpecialDir_ApplicationData);
    qDebug().noquote() << QStringLiteral("CConfig::CConfig CreateDirectory ApplicationSupport_Dir: ") + appData;
    if (!appData.isEmpty()) CreateDirectoryTree(appData.toUtf8().constData());

    const QFileInfo info(m_settingsFile);
    const int dirErr = CreateDirectoryTree(QFile::encodeName(info.absolutePath()).constData());
    if (dirErr != 0)
        qWarning().noquote() << QStringLiteral("CConfig::CConfig CreateDirectory settings folder failed: ")
                                    + info.absolutePath() + QStringLiteral(" err: ") + QString::number(dirErr);
    // A settings file that exists but cannot be read must not be replaced
    // by defaults.
    if (info.exists()) {
        QFile probe(m_settingsFile);
        if (!info.isFile() || !probe.open(QIODevice::ReadOnly)) return false;
    }
    KeepOwnerOnly(m_settingsFile);

    m_settings = std::make_unique<QSettings>(m_settingsFile, QSettings::IniFormat);
    if (m_settings->status() == QSettings::AccessError) {
        m_settings.reset();
        return false;
    }
    ReadAll();
    // The file is read on the first access: its status is known only now.
    if (m_settings->status() == QSettings::FormatError) {
        // The next write drops what could not be read, and on a damaged file
        // the first-run defaults replace the rest: keep the file as it was.
        const QString kept = m_settingsFile + QStringLiteral(".unreadable");
        QFile::remove(kept);
        const bool copied = QFile::copy(m_settingsFile, kept);
        if (copied) KeepOwnerOnly(kept);
        qWarning().noquote() << QStringLiteral("CConfig::CConfig unreadable lines ignored in: ") + m_settingsFile
                                    + (copied ? QStringLiteral(", kept as: ") + kept
                                              : QStringLiteral(", no copy could be kept"));
    }
    if (m_logPath.isEmpty() || m_outputPath.isEmpty()) {
        ResetDefalutConfig();
        SaveAll();
    }
    return true;
}

// Runs during construction, before any other thread can see the object.
void CConfig::ReadAll() {
    static_assert(sizeof kKeys / sizeof kKeys[0] == Key_Count, "one row per key");
    const QSettings& s = *m_settings;
    const QDate today = QDate::currentDate();
    m_logPath = ReadText(s, kKeys[Key_LogPath]);
    m_recordMode = ReadInt(s, kKeys[Key_RecordMode]);
    m_afterRecord = ReadInt(s, kKeys[Key_AfterRecord]);
    m_outputPath = ReadList(s, kKeys[Key_OutputPath]);
    m_idMode = ReadInt(s, kKeys[Key_IdMode]);
    m_splitTime = ReadUInt(s, kKeys[Key_SplitTime]);
    m_splitMode = ReadInt(s, kKeys[Key_SplitMode]);
    m_volumeValue = ReadInt(s, kKeys[Key_VolumeValue]);
    m_filterTime = ReadUInt(s, kKeys[Key_FilterTime]);
    m_filterMode = ReadInt(s, kKeys[Key_FilterMode]);
    m_audioCodec = ReadInt(s, kKeys[Key_AudioCodec]);
    m_bitRate = ReadInt(s, kKeys[Key_BitRate]);
    m_sampleRate = ReadInt(s, kKeys[Key_SampleRate]);
    m_taskStart = ReadTime(s, kKeys[Key_TaskStart]);
    m_taskDuration = ReadTime(s, kKeys[Key_TaskDuration]);
    m_deleteType = ReadInt(s, kKeys[Key_DeleteType]);
    m_deviceId = ReadText(s, kKeys[Key_DeviceId]);
    m_outputFileType = ReadInt(s, kKeys[Key_OutputFileType]);
    m_useProxy = ReadInt(s, kKeys[Key_UseProxy]);
    m_proxyType = ReadInt(s, kKeys[Key_ProxyType]);
    m_proxyHost = ReadText(s, kKeys[Key_ProxyHost]);
    m_proxyPort = ReadInt(s, kKeys[Key_ProxyPort]);
    m_proxyName = ReadText(s, kKeys[Key_ProxyName]);
    m_proxyPass = ReadText(s, kKeys[Key_ProxyPass]);
    m_logFilePos = ReadInt64(s, kKeys[Key_LogFilePos]);
    m_showMute = ReadInt(s, kKeys[Key_ShowMute]);
    m_autoUpdate = ReadInt(s, kKeys[Key_AutoUpdate]);
    m_updateDays = ReadInt(s, kKeys[Key_UpdateDays]);
    m_updateYear = ReadInt(s, kKeys[Key_UpdateYear], today.year());
    m_updateMonth = ReadInt(s, kKeys[Key_UpdateMonth], today.month());
    m_updateDay = ReadInt(s, kKeys[Key_UpdateDay], today.day());
    m_recordApplication = ReadText(s, kKeys[Key_RecordApplication]);
    m_userMail = ReadText(s, kKeys[Key_UserMail]);
}

void CConfig::ResetDefalutConfig() {
    const QString appData = SpecialDirPath(SpecialDir_ApplicationData);
    const QString music = SpecialDirPath(SpecialDir_Music);
    QStringList outputPath;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_logPath = appData;
        m_outputPath.append(music);
        outputPath = m_outputPath;
        m_taskStart = kKeys[Key_TaskStart].value.toTime();
        m_taskDuration = kKeys[Key_TaskDuration].value.toTime();
    }
    qDebug().noquote() << QStringLiteral("CConfig::ResetDefalutConfig CreateDirectory ApplicationSupport_Dir: ")
                              + appData;
    if (!appData.isEmpty()) CreateDirectoryTree(appData.toUtf8().constData());
    qDebug().noquote() << QStringLiteral("CConfig::ResetDefalutConfig CreateDirectory Music_Dir: ")
                              + outputPath.join(QLatin1String(", "));
    if (!music.isEmpty()) CreateDirectoryTree(music.toUtf8().constData());
}

QVariant CConfig::ValueOf(Key key) const {
    switch (key) {
    case Key_LogPath: return m_logPath;
    case Key_RecordMode: return m_recordMode;
    case Key_AfterRecord: return m_afterRecord;
    case Key_OutputPath: return m_outputPath;
    case Key_IdMode: return m_idMode;
    case Key_SplitTime: return m_splitTime;
    case Key_SplitMode: return m_splitMode;
    case Key_VolumeValue: return m_volumeValue;
    case Key_FilterTime: return m_filterTime;
    case Key_FilterMode: return m_filterMode;
    case Key_AudioCodec: return m_audioCodec;
    case Key_BitRate: return m_bitRate;
    case Key_SampleRate: return m_sampleRate;
    case Key_TaskStart: return m_taskStart;
    case Key_TaskDuration: return m_taskDuration;
    case Key_DeleteType: return m_deleteType;
    case Key_DeviceId: return m_deviceId;
    case Key_OutputFileType: return m_outputFileType;
    case Key_UseProxy: return m_useProxy;
    case Key_ProxyType: return m_proxyType;
    case Key_ProxyHost: return m_proxyHost;
    case Key_ProxyPort: return m_proxyPort;
    case Key_ProxyName: return m_proxyName;
    case Key_ProxyPass: return m_proxyPass;
    case Key_LogFilePos: return m_logFilePos;
    case Key_ShowMute: return m_showMute;
    case Key_AutoUpdate: return m_autoUpdate;
    case Key_UpdateDays: return m_updateDays;
    case Key_UpdateYear: return m_updateYear;
    case Key_UpdateMonth: return m_updateMonth;
    case Key_UpdateDay: return m_updateDay;
    case Key_RecordApplication: return m_recordApplication;
    case Key_UserMail: return m_userMail;
    case Key_Count: break;
    }
    return QVariant();
}

void CConfig::WriteKey(Key key) {
    QVariant value;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        value = ValueOf(key);
    }
    m_settings->setValue(QLatin1String(kKeys[key].name), value);
}

void CConfig::Commit() {
    m_settings->sync();
    if (m_settings->status() == QSettings::AccessError)
        qWarning().noquote() << QStringLiteral("CConfig::Commit write failed: ") + m_settingsFile;
    KeepOwnerOnly(m_settingsFile);
}

void CConfig::SaveAll() {
    for (int k = 0; k < Key_UserMail; ++k) WriteKey(static_cast<Key>(k));
    Commit();
}

template <typename T>
void CConfig::Set(T* field, Key key, const T& value) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        *field = value;
    }
    WriteKey(key);
    Commit();
}

QString CConfig::GetLogPath() const {
    // No logging here: the log handler calls this under its lock.
    const QString path = Read(m_logPath);
    if (!path.isEmpty()) CreateDirectoryTree(path.toUtf8().constData());
    return path;
}

void CConfig::SetRecordMode(int value) { Set(&m_recordMode, Key_RecordMode, value); }
void CConfig::SetAfterRecord(int value) { Set(&m_afterRecord, Key_AfterRecord, value); }
void CConfig::SetOutputPath(const QStringList& value) { Set(&m_outputPath, Key_OutputPath, value); }
void CConfig::SetIdMode(int value) { Set(&m_idMode, Key_IdMode, value); }
void CConfig::SetSplitTime(unsigned value) { Set(&m_splitTime, Key_SplitTime, value); }
void CConfig::SetSplitMode(int value) { Set(&m_splitMode, Key_SplitMode, value); }
void CConfig::SetVolumeValue(int value) { Set(&m_volumeValue, Key_VolumeValue, value); }
void CConfig::SetFilterTime(unsigned value) { Set(&m_filterTime, Key_FilterTime, value); }
void CConfig::SetFilterMode(int value) { Set(&m_filterMode, Key_FilterMode, value); }
void CConfig::SetAudioCodec(int value) { Set(&m_audioCodec, Key_AudioCodec, value); }
void CConfig::SetBitRate(int value) { Set(&m_bitRate, Key_BitRate, value); }
void CConfig::SetSampleRate(int value) { Set(&m_sampleRate, Key_SampleRate, value); }
void CConfig::SetTaskStart(const QTime& value) { Set(&m_taskStart, Key_TaskStart, value); }
void CConfig::SetTaskDuration(const QTime& value) { Set(&m_taskDuration, Key_TaskDuration, value); }
void CConfig::SetDeleteType(int value) { Set(&m_deleteType, Key_DeleteType, value); }
void CConfig::SetDeviceId(const QString& value) { Set(&m_deviceId, Key_DeviceId, value); }
void CConfig::SetOutputFileType(int value) { Set(&m_outputFileType, Key_OutputFileType, value); }
void CConfig::SetUseProxy(int value) { Set(&m_useProxy, Key_UseProxy, value); }
void CConfig::SetProxyType(int value) { Set(&m_proxyType, Key_ProxyType, value); }
void CConfig::SetProxyHost(const QString& value) { Set(&m_proxyHost, Key_ProxyHost, value); }
void CConfig::SetProxyPort(int value) { Set(&m_proxyPort, Key_ProxyPort, value); }
void CConfig::SetProxyName(const QString& value) { Set(&m_proxyName, Key_ProxyName, value); }
void CConfig::SetProxyPass(const QString& value) { Set(&m_proxyPass, Key_ProxyPass, value); }
void CConfig::SetShowMute(int value) { Set(&m_showMute, Key_ShowMute, value); }
void CConfig::SetAutoUpdate(int value) { Set(&m_autoUpdate, Key_AutoUpdate, value); }
void CConfig::SetUpdateDays(int value) { Set(&m_updateDays, Key_UpdateDays, value); }
void CConfig::SetRecordApplication(const QString& value) {
    Set(&m_recordApplication, Key_RecordApplication, value);
}
void CConfig::SetUserMail(const QString& value) { Set(&m_userMail, Key_UserMail, value); }

void CConfig::SetUpdateDate(int year, int month, int day) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_updateYear = year;
        m_updateMonth = month;
        m_updateDay = day;
    }
    WriteKey(Key_UpdateYear);
    WriteKey(Key_UpdateMonth);
    WriteKey(Key_UpdateDay);
    Commit();
}

bool CConfig::IsUpdateCheckDue(const QDate& today) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return ::IsUpdateCheckDue(m_autoUpdate, m_updateDays, m_updateYear, m_updateMonth, m_updateDay, today);
}

void CConfig::StoreUpdateCheckDate(const QDate& today) {
    SetUpdateDate(today.year(), today.month(), today.day());
}

void CConfig::FillProxyParam(MusicParserProxyParam* param) const {
    if (!param) return;
    std::lock_guard<std::mutex> lock(m_mutex);
    std::memset(param, 0, sizeof *param);
    param->type = m_proxyType;
    if (m_proxyType < 0) return;
    param->port = m_proxyPort;
    common::CopyText(param->host, m_proxyHost.toUtf8().constData());
    common::CopyText(param->userName, m_proxyName.toUtf8().constData());
    common::CopyText(param->password, m_proxyPass.toUtf8().constData());
}

QString CConfig::GetExtraText(const char* key, const QString& defaultValue) const {
    if (!m_settings) return defaultValue;
    const QString value = m_settings->value(QLatin1String(key)).toString().trimmed();
    return value.isEmpty() ? defaultValue : value;
}
