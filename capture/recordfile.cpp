#include "recordfile.h"

namespace capdev {
namespace {

// Input and output format are the same: the writer neither resamples nor
// remixes.
class CWriterRecordFile final : public IRecordFile {
public:
    int open(int type, const char* folder, PcmFormat format, int rate, bool sampleFile,
             int bitRate) override {
        return m_writer.open(type, folder, format, rate, format, rate, sampleFile, bitRate);
    }
    int write(unsigned bytes, const void* data) override { return m_writer.write(bytes, data); }
    int close() override { return m_writer.close(); }
    bool isOpen() const override { return m_writer.isOpen(); }
    const char* name() const override { return m_writer.name(); }
    uint64_t bytesWritten() const override { return m_writer.bytesWritten(); }
    std::string lastError() const override { return m_writer.lastError(); }

private:
    CAudioFileWriter m_writer;
};

}  // namespace

std::unique_ptr<IRecordFile> CreateWriterRecordFile() {
    return std::make_unique<CWriterRecordFile>();
}

}  // namespace capdev
