#pragma once

#include <QMutex>

#include <vector>

// Byte ring buffer between the capture engine's encoder thread (the writer)
// and the spectrum analysis thread (the reader). Every operation takes the
// buffer's own mutex, so both threads may call any of them at any time.
//
// The reader wants recent audio, not every byte: a read returns the newest
// bytes and then discards the step's worth of bytes from the front, so the
// analysed window follows the recording at the pace of the reads even when
// the writer delivers in other block sizes. A read that finds nothing new
// shortly after audio arrived repeats the last window, so that a writer that
// is a little late does not make the display drop to nothing.
class CMyAudioBuffer {
public:
    // Reads in a row that may repeat the last window while nothing arrives.
    static constexpr int kMaxRepeats = 4;

    explicit CMyAudioBuffer(int capacity);
    virtual ~CMyAudioBuffer();
    CMyAudioBuffer(const CMyAudioBuffer&) = delete;
    CMyAudioBuffer& operator=(const CMyAudioBuffer&) = delete;

    // Bytes dropped from the front after each read. Values of 0 or less are
    // ignored; until a step is set, a read drops everything it returned.
    virtual void SetStep(int bytes);
    // Empties the buffer.
    virtual void Clear();
    // Appends up to n bytes of data, as many as fit. Returns the number of
    // bytes taken, or -1 when the buffer was full (nothing taken) or the
    // arguments are unusable.
    virtual int Push(int n, const char* data);
    // Fills out with m bytes: the newest m bytes held; when fewer are held,
    // the missing start is taken from the bytes just before them (audio that
    // was already read). Then drops the step's worth of bytes from the front.
    // When nothing is held but something was pushed since the last Clear(),
    // the first kMaxRepeats such reads return the m bytes read last.
    // Returns 0; -1 when nothing is held (and no repeat is due); 1 when m
    // exceeds the capacity.
    virtual int Read(int m, char* out);

    int Capacity() const { return m_capacity; }
    // Bytes held now.
    int Count() const;
    int Step() const;

private:
    // Copies n bytes starting at ring position from into out, wrapping.
    void CopyOut(int from, int n, char* out) const;

    std::vector<char> m_data;  // guarded by m_mutex
    int m_read = 0;            // guarded by m_mutex: ring position of the oldest byte held
    int m_count = 0;           // guarded by m_mutex
    const int m_capacity;
    mutable QMutex m_mutex;
    int m_step = 0;            // guarded by m_mutex
    // Guarded by m_mutex: whether anything was pushed since the last Clear(),
    // and the reads in a row that found nothing new.
    bool m_fed = false;
    int m_repeats = 0;
};
