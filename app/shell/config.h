#pragma once

// The program's one settings object. QtCore only.

#include <QDate>
#include <QString>
#include <QStringList>
#include <QTime>
#include <QVariant>

#include <atomic>
#include <memory>
#include <mutex>

class QSettings;
struct MusicParserProxyParam;

// Whether the automatic update check is due. autoUpdate: 0 off, 1 every
// updateDays days, 2 every day, 3 every week (Mondays), 4 every month; any
// other value is off. The last check is given as stored (year, month, day);
// a stored date that is not a valid date counts as long ago. Nothing is due
// unless today is later than the last check.
bool IsUpdateCheckDue(int autoUpdate, int updateDays, int lastYear, int lastMonth, int lastDay,
                      const QDate& today);

// Keeps every user setting in memory and in "tunecap.ini" (INI format, all
// keys at the top level) in the application data folder. Each setter
// stores its value and writes its key to the file at once (the file is
// synced to the disk: a few milliseconds per call). A key that is missing
// or cannot be read as its type takes its default. A file with lines that
// cannot be parsed is copied to "tunecap.ini.unreadable" before anything is
// written to it. The file holds the proxy password, so it (and that copy)
// is kept readable by its owner only.
//
// Threads: created on first use; setters are called on the GUI thread only;
// getters may be called from any thread (the download and factory threads
// read folders and proxy settings while the preferences may change them):
// the fields are guarded by an internal lock and the text and list getters
// return copies. Nothing is logged while that lock is held, so the log
// handler may read the log folder under its own lock.
class CConfig {
public:
    // The process-wide object, created (and the settings file read, reset
    // and written on a first run) on the first call. Never destroyed before
    // the process exits. A settings file that cannot be opened is a fatal
    // error ("create QSettings failed!").
    static CConfig* instance();
    // The object once instance() has finished creating it, else null. Never
    // blocks and never creates: for the log handler, which must not wait for
    // a construction that itself logs.
    static CConfig* instanceIfCreated();

    // For tests only: builds a separate object on the given settings file,
    // running the same construction steps as instance() (the folders of the
    // first-run reset are still the user's special folders). Returns null
    // when the file cannot be opened.
    static std::unique_ptr<CConfig> CreateForTesting(const QString& settingsFile);

    ~CConfig();
    CConfig(const CConfig&) = delete;
    CConfig& operator=(const CConfig&) = delete;

    // Path of the settings file.
    QString SettingsFile() const { return m_settingsFile; }

    // First-run defaults in memory: Log_Path = the application data folder,
    // the music folder appended to Output_Path (both created), Task_Start
    // 00:00:00, Task_Duration 00:00:15. Writes nothing.
    void ResetDefalutConfig();
    // Writes every key except User_Mail, in the fixed order of the file.
    void SaveAll();

    // Folder of the log file, the library database and the music
    // information service's support files; created before it is returned.
    QString GetLogPath() const;
    // -1 computer audio through the virtual device, 0 the input device named
    // by GetDeviceId().
    int GetRecordMode() const { return Read(m_recordMode); }
    void SetRecordMode(int value);
    // After a scheduled recording: 0 shut the computer down, 1 nothing.
    int GetAfterRecord() const { return Read(m_afterRecord); }
    void SetAfterRecord(int value);
    // Output folders; the first is where recordings are written.
    QStringList GetOutputPath() const { return Read(m_outputPath); }
    void SetOutputPath(const QStringList& value);
    // 1 identify songs automatically while recording, 0 not.
    int GetIdMode() const { return Read(m_idMode); }
    void SetIdMode(int value);
    // Silence in milliseconds that ends a song.
    unsigned GetSplitTime() const { return Read(m_splitTime); }
    void SetSplitTime(unsigned value);
    // 1 split at silence, 0 not.
    int GetSplitMode() const { return Read(m_splitMode); }
    void SetSplitMode(int value);
    // Recording and playback volume, 0 to 200.
    int GetVolumeValue() const { return Read(m_volumeValue); }
    void SetVolumeValue(int value);
    // Minimum kept song length in seconds when filtering is on.
    unsigned GetFilterTime() const { return Read(m_filterTime); }
    void SetFilterTime(unsigned value);
    // 1 discard songs not longer than GetFilterTime(), 0 keep all.
    int GetFilterMode() const { return Read(m_filterMode); }
    void SetFilterMode(int value);
    // Index of the (disabled) codec box; nothing depends on it.
    int GetAudioCodec() const { return Read(m_audioCodec); }
    void SetAudioCodec(int value);
    // MP3 bit rate in kbit/s.
    int GetBitRate() const { return Read(m_bitRate); }
    void SetBitRate(int value);
    // Sample rate in Hz.
    int GetSampleRate() const { return Read(m_sampleRate); }
    void SetSampleRate(int value);
    // Start time of the scheduled recording. A missing or unreadable stored
    // time reads as 00:00:00 (00:00:15 for the duration), never invalid.
    QTime GetTaskStart() const { return Read(m_taskStart); }
    void SetTaskStart(const QTime& value);
    // Length of the scheduled recording, as a time of day.
    QTime GetTaskDuration() const { return Read(m_taskDuration); }
    void SetTaskDuration(const QTime& value);
    // 0 ask before deleting songs, 1 do not ask.
    int GetDeleteType() const { return Read(m_deleteType); }
    void SetDeleteType(int value);
    // Name of the input device used when GetRecordMode() is 0 (key DEVIC_ID).
    QString GetDeviceId() const { return Read(m_deviceId); }
    void SetDeviceId(const QString& value);
    // 0 MP3, 1 WAV.
    int GetOutputFileType() const { return Read(m_outputFileType); }
    void SetOutputFileType(int value);
    // 1 use the proxy for network access (key b_proxy).
    int GetUseProxy() const { return Read(m_useProxy); }
    void SetUseProxy(int value);
    // 0 HTTP proxy, -1 none.
    int GetProxyType() const { return Read(m_proxyType); }
    void SetProxyType(int value);
    QString GetProxyHost() const { return Read(m_proxyHost); }
    void SetProxyHost(const QString& value);
    // Proxy port (key Proxy_prot).
    int GetProxyPort() const { return Read(m_proxyPort); }
    void SetProxyPort(int value);
    QString GetProxyName() const { return Read(m_proxyName); }
    void SetProxyName(const QString& value);
    QString GetProxyPass() const { return Read(m_proxyPass); }
    void SetProxyPass(const QString& value);
    // Read at start and written back by SaveAll(); nothing depends on it.
    qint64 GetLogFilePos() const { return Read(m_logFilePos); }
    // 1 show the warnings about a muted audio source, 0 not.
    int GetShowMute() const { return Read(m_showMute); }
    void SetShowMute(int value);
    // Automatic update check: see IsUpdateCheckDue().
    int GetAutoUpdate() const { return Read(m_autoUpdate); }
    void SetAutoUpdate(int value);
    int GetUpdateDays() const { return Read(m_updateDays); }
    void SetUpdateDays(int value);
    // Date of the last automatic update check.
    int GetUpdateYear() const { return Read(m_updateYear); }
    int GetUpdateMonth() const { return Read(m_updateMonth); }
    int GetUpdateDay() const { return Read(m_updateDay); }
    // Writes Update_year, Update_month and Update_day, in that order.
    void SetUpdateDate(int year, int month, int day);
    // What a recording of computer audio takes in: empty for every
    // application (the default, also for older files without the key), or
    // the program file's name (or, when it has none, the name) of the one
    // application whose streams are recorded (key Record_Application).
    QString GetRecordApplication() const { return Read(m_recordApplication); }
    void SetRecordApplication(const QString& value);
    // E-mail address last entered in the bug report dialog.
    QString GetUserMail() const { return Read(m_userMail); }
    void SetUserMail(const QString& value);

    // Whether the automatic update check should run today.
    bool IsUpdateCheckDue(const QDate& today = QDate::currentDate()) const;
    // Records that an update check was started today.
    void StoreUpdateCheckDate(const QDate& today = QDate::currentDate());

    // Fills the proxy record of the music information service: all zero,
    // then the type; when the type is not negative also the port and the
    // UTF-8 host, user name and password, each cut at a character boundary
    // to fit its field with the terminating NUL. Whether the proxy is used
    // at all is the caller's choice, from GetUseProxy().
    void FillProxyParam(MusicParserProxyParam* param) const;

    // A text setting outside the table above (Update_Url and the like,
    // changed only by editing the file), as the file holds it now;
    // defaultValue when the key is missing or empty. Never written by the
    // program. GUI thread only.
    QString GetExtraText(const char* key, const QString& defaultValue) const;

private:
    // Keys in the order of the full save.
    enum Key {
        Key_LogPath, Key_RecordMode, Key_AfterRecord, Key_OutputPath, Key_IdMode, Key_SplitTime,
        Key_SplitMode, Key_VolumeValue, Key_FilterTime, Key_FilterMode, Key_AudioCodec,
        Key_BitRate, Key_SampleRate, Key_TaskStart, Key_TaskDuration, Key_DeleteType,
        Key_DeviceId, Key_OutputFileType, Key_UseProxy, Key_ProxyType, Key_ProxyHost,
        Key_ProxyPort, Key_ProxyName, Key_ProxyPass, Key_LogFilePos, Key_ShowMute,
        Key_AutoUpdate, Key_UpdateDays, Key_UpdateYear, Key_UpdateMonth, Key_UpdateDay,
        Key_RecordApplication, Key_UserMail,
        Key_Count
    };

    explicit CConfig(const QString& settingsFile);
    // Opens the settings file and reads it, resetting and saving on a first
    // run. False when the file cannot be opened.
    bool Load();
    void ReadAll();
    // Value of one key as it is stored.
    QVariant ValueOf(Key key) const;
    void WriteKey(Key key);
    // Puts the written keys on disk and keeps the file owner-only.
    void Commit();
    // Stores value in field and writes its key at once.
    template <typename T>
    void Set(T* field, Key key, const T& value);
    // A copy of a field, taken under m_mutex.
    template <typename T>
    T Read(const T& field) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return field;
    }

    // Set once instance() has finished construction.
    static std::atomic<CConfig*> s_created;

    const QString m_settingsFile;
    // Used on the GUI thread only (construction and setters).
    std::unique_ptr<QSettings> m_settings;

    // Guards every field below once construction is over; taken only for
    // copying fields, never while logging or writing the file.
    mutable std::mutex m_mutex;

    // One field per key. ReadAll() gives each its stored value or the
    // default from the key table in config.cpp.
    QString m_logPath;
    int m_recordMode{};
    int m_afterRecord{};
    QStringList m_outputPath;
    int m_idMode{};
    unsigned m_splitTime{};
    int m_splitMode{};
    int m_volumeValue{};
    unsigned m_filterTime{};
    int m_filterMode{};
    int m_audioCodec{};
    int m_bitRate{};
    int m_sampleRate{};
    QTime m_taskStart;
    QTime m_taskDuration;
    int m_deleteType{};
    QString m_deviceId;
    int m_outputFileType{};
    int m_useProxy{};
    int m_proxyType{};
    QString m_proxyHost;
    int m_proxyPort{};
    QString m_proxyName;
    QString m_proxyPass;
    qint64 m_logFilePos{};
    int m_showMute{};
    int m_autoUpdate{};
    int m_updateDays{};
    int m_updateYear{};
    int m_updateMonth{};
    int m_updateDay{};
    QString m_recordApplication;
    QString m_userMail;
};
