#include "app/exchange/archive_format.h"

#include <zlib.h>

#include <cstring>
#include <ctime>

#include "platform/codepage.h"

namespace app {

namespace platform = xb::platform;

size_t MemoryStream::read(void* buf, size_t n) {
    size_t avail = m_pos < m_data.size() ? m_data.size() - m_pos : 0;
    size_t got = n < avail ? n : avail;
    if (got) std::memcpy(buf, m_data.data() + m_pos, got);
    m_pos += got;
    return got;
}

bool MemoryStream::write(const void* buf, size_t n) {
    if (m_pos > m_data.size()) m_data.resize(m_pos);
    m_data.replace(m_pos, std::min(n, m_data.size() - m_pos), static_cast<const char*>(buf), n);
    m_pos += n;
    return true;
}

size_t FileStream::read(void* buf, size_t n) {
    size_t got = 0;
    if (m_file.readAt(m_pos, buf, n, &got) != 0) return 0;
    m_pos += got;
    return got;
}

bool FileStream::write(const void* buf, size_t n) {
    if (m_file.writeAt(m_pos, buf, n) != 0) return false;
    m_pos += n;
    return true;
}

bool DeflateChunk(const char* src, size_t n, int level, EncodedChunk& out) {
    if (n > kChunkSize) return false;
    z_stream zs{};
    if (deflateInit(&zs, level) != Z_OK) return false;
    out.bytes.assign(kChunkSize, '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(src));
    zs.avail_in = static_cast<uInt>(n);
    zs.next_out = reinterpret_cast<Bytef*>(out.bytes.data());
    zs.avail_out = static_cast<uInt>(kChunkSize);
    int rc = deflate(&zs, Z_FINISH);
    size_t produced = kChunkSize - zs.avail_out;
    deflateEnd(&zs);
    if (rc == Z_STREAM_END) {
        out.compressed = true;
        out.bytes.resize(produced);
        return true;
    }
    if (rc == Z_OK || rc == Z_BUF_ERROR) {  // the stream did not fit: keep the source bytes
        out.compressed = false;
        out.bytes.assign(src, n);
        return true;
    }
    return false;
}

bool InflateChunk(const char* src, size_t n, std::string& out) {
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) return false;
    out.assign(kChunkSize, '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(src));
    zs.avail_in = static_cast<uInt>(n);
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(kChunkSize);
    int rc = inflate(&zs, Z_FINISH);
    size_t produced = kChunkSize - zs.avail_out;
    bool ok = rc == Z_STREAM_END && zs.avail_in == 0;
    inflateEnd(&zs);
    out.resize(ok ? produced : 0);
    return ok;
}

bool StoredNameOf(const std::string& utf8Path, std::string& stored) {
    std::string bytes = platform::FromUtf8(utf8Path, kArchiveCodePage);
    if (platform::ToUtf8(bytes, kArchiveCodePage) != utf8Path) return false;
    for (char& c : bytes)
        c = static_cast<char>(platform::LowerByte(kArchiveCodePage, static_cast<unsigned char>(c)));
    stored = std::move(bytes);
    return true;
}

namespace {

bool isSeparator(char c) {
    return c == '\\' || c == '/' || c == ':';
}

bool acceptableComponent(const std::string& part) {
    if (part.empty() || part == "." || part == "..") return false;
    for (char32_t c : platform::DecodeUtf8(part)) {
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0xFFFD) return false;
    }
    return true;
}

}  // namespace

bool SafeRestoreParts(const std::string& utf8Name, bool fullPath, std::vector<std::string>& parts) {
    parts.clear();
    std::string name = utf8Name;
    bool hasDrive = name.size() >= 2 && name[1] == ':' &&
                    ((name[0] >= 'a' && name[0] <= 'z') || (name[0] >= 'A' && name[0] <= 'Z'));
    if (hasDrive) name.erase(0, 2);
    size_t start = 0;
    while (start < name.size() && isSeparator(name[start])) ++start;
    std::vector<std::string> all;
    std::string cur;
    for (size_t i = start; i < name.size(); ++i) {
        if (isSeparator(name[i])) {
            all.push_back(cur);
            cur.clear();
        } else {
            cur += name[i];
        }
    }
    all.push_back(cur);
    if (fullPath) {
        for (const auto& p : all)
            if (!acceptableComponent(p)) return false;
        parts = std::move(all);
    } else {
        if (!acceptableComponent(all.back())) return false;
        parts.push_back(all.back());
    }
    return true;
}

}  // namespace app
