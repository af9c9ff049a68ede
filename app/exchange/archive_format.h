// The building blocks of the backup archive: byte streams an archive is read from or written to, the
// per-chunk zlib codec, stored names and the packed file dates. docs/archive.md gives the layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/file.h"

namespace app {

// Layout constants shared by the writer, the reader and the tests.
inline constexpr char kPartMagic[4] = {'E', 'C', '2', '\0'};
inline constexpr size_t kChunkSize = 16384;         // source bytes per chunk, and the deflate output buffer
inline constexpr int32_t kVolumeReserve = 16484;    // room kept free at the end of a volume for one chunk
inline constexpr int kMaxVolumes = 999;             // volume numbers have three digits
inline constexpr uint32_t kMaxTitleLength = 65536;  // bounds on length fields read from an archive
inline constexpr uint32_t kMaxNameLength = 32767;
inline constexpr const char* kFileListName = "FILE:LIST";
inline constexpr const char* kNextDiskName = "NEXT:DISK";
inline constexpr int kArchiveCodePage = 1252;  // stored names and titles are Windows-1252 text

// A sequential byte stream: an archive named ":STREAM" is read from or written to one of these.
class ByteStream {
public:
    virtual ~ByteStream() = default;
    // Reads up to n bytes and returns how many were read; fewer than n means the end or an error.
    virtual size_t read(void* buf, size_t n) = 0;
    // Writes all n bytes; false when they could not all be written.
    virtual bool write(const void* buf, size_t n) = 0;
    // Bytes read or written so far.
    virtual uint64_t position() const = 0;
};

// A stream over a string in memory.
class MemoryStream : public ByteStream {
public:
    MemoryStream() = default;
    explicit MemoryStream(std::string bytes) : m_data(std::move(bytes)) {}
    size_t read(void* buf, size_t n) override;
    bool write(const void* buf, size_t n) override;
    uint64_t position() const override { return m_pos; }
    void rewind() { m_pos = 0; }
    const std::string& data() const { return m_data; }

private:
    std::string m_data;
    size_t m_pos = 0;
};

// A stream over an open platform file, from a starting offset on.
class FileStream : public ByteStream {
public:
    explicit FileStream(xb::platform::File& file, uint64_t start = 0) : m_file(file), m_pos(start) {}
    size_t read(void* buf, size_t n) override;
    bool write(const void* buf, size_t n) override;
    uint64_t position() const override { return m_pos; }

private:
    xb::platform::File& m_file;
    uint64_t m_pos;
};

// One chunk of the archive: up to kChunkSize source bytes as one complete zlib stream, or raw.
struct EncodedChunk {
    bool compressed = false;
    std::string bytes;  // the zlib stream, or the source bytes when stored raw
};
// Deflates src (at most kChunkSize bytes) at a zlib level (-1 = zlib's default) in one call with finish
// into a kChunkSize buffer; the chunk is raw when the stream does not finish there. False on a zlib error.
bool DeflateChunk(const char* src, size_t n, int level, EncodedChunk& out);
// Inflates one chunk's zlib stream. It must end within kChunkSize output bytes and use all its input;
// false otherwise.
bool InflateChunk(const char* src, size_t n, std::string& out);

// The stored form of a file's full name: Windows-1252, lower case. False when the name holds a
// character the code page lacks (it would not come back under its own name).
bool StoredNameOf(const std::string& utf8Path, std::string& stored);

// The path components below the restore directory that a stored name (already converted to UTF-8) may be
// written to: the whole path without its drive and leading separators when fullPath is set, else the
// file part alone. Names are taken apart on "\", "/" and ":". False when a component is empty, "." or
// "..", or holds a control character: such a name is never written.
bool SafeRestoreParts(const std::string& utf8Name, bool fullPath, std::vector<std::string>& parts);

// Archive entries carry the packed DOS date and time of their file.
using xb::platform::DosDateTimeToTime;
using xb::platform::TimeToDosDateTime;

}  // namespace app
