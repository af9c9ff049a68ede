#include "app/exchange/backup_file.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "app/settings/lang_texts.h"
#include "platform/byte_order.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/ui.h"

namespace app {

namespace platform = xb::platform;
namespace fs = std::filesystem;

namespace {

constexpr const char* kStreamName = ":STREAM";

bool isStreamName(const std::string& name) {
    if (name.size() != std::strlen(kStreamName)) return false;
    for (size_t i = 0; i < name.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(name[i])) != kStreamName[i]) return false;
    return true;
}

std::string trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
    return s.substr(b, e - b);
}

int zlibLevel(TCompressionLevel level) {
    switch (level) {
        case clFastest:
            return 1;
        case clNone:
            return 0;
        case clDefault:
            return -1;
        case clMax:
            return 9;
    }
    return -1;
}

std::string threeDigits(int n) {
    std::string s = "00" + std::to_string(n);
    return s.substr(s.size() - 3);
}

// The file age of an existing path as a packed DOS date, 0 when it cannot be read.
uint32_t fileAgeOf(const fs::path& p) {
    std::error_code ec;
    auto t = fs::last_write_time(p, ec);
    if (ec) return 0;
    auto sys = std::chrono::file_clock::to_sys(t);
    return TimeToDosDateTime(
        std::chrono::duration_cast<std::chrono::seconds>(sys.time_since_epoch()).count());
}

}  // namespace

std::string BackupErrorText(int code) {
    static const Text kTexts[] = {Text::None,
                                  Text::BackupCannotReadFile,
                                  Text::BackupOverwriteFailed,
                                  Text::BackupCannotReadArchive,
                                  Text::BackupCannotWriteArchive,
                                  Text::BackupInvalidArchiveType,
                                  Text::BackupCompressionError,
                                  Text::BackupCannotSaveFileIds,
                                  Text::BackupUnsafeName};
    if (code <= 0 || code >= static_cast<int>(std::size(kTexts))) return {};
    return GetLangText(kTexts[code]).toStdString();
}

std::string VolumeName(const std::string& archiveName, int number) {
    size_t slash = archiveName.find_last_of('/');
    size_t dot = archiveName.find_last_of('.');
    std::string base = archiveName;
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        base = archiveName.substr(0, dot);
    return base + "." + threeDigits(number);
}

struct TBackupFile::Volume {
    platform::File file;
    std::unique_ptr<FileStream> fileStream;
    ByteStream* stream = nullptr;
};

TBackupFile::TBackupFile() = default;
TBackupFile::~TBackupFile() = default;

void TBackupFile::setBackupMode(TBackupMode mode) {
    m_backupMode = mode;
    if (mode == bmIncremental) SetArchiveFlag = true;
}

void TBackupFile::setError(int code) {
    if (m_error == 0) m_error = code;
}

void TBackupFile::ReportError(int code) {
    std::string text = BackupErrorText(code);
    if (OnError) {
        OnError(*this, code, text);
    } else {
        platform::CurrentUi().messageBox(text, GetLangText(Text::ErrorCaption).toStdString(),
                                         platform::kMbOk | platform::kMbIconStop);
    }
}

void TBackupFile::progress(const std::string& fileName) {
    if (!OnProgress) return;
    // 64-bit arithmetic and a clamp: the total may be the untrusted figure of an archive header.
    uint64_t pct = m_total == 0 ? 0 : std::min<uint64_t>(100, m_processed * 100 / m_total);
    OnProgress(*this, fileName, static_cast<TPercentage>(pct), m_continue);
}

bool TBackupFile::isArchiveFile(const std::string& path) const {
    if (isStreamName(m_archiveName)) return false;
    if (platform::AbsolutePath(path) == platform::AbsolutePath(m_archiveName)) return true;
    std::error_code ec;
    return fs::equivalent(path, m_archiveName, ec);
}

bool TBackupFile::openVolume(int number, bool create) {
    auto v = std::make_unique<Volume>();
    if (isStreamName(m_archiveName)) {
        if (!Stream || number != 0) return false;
        v->stream = Stream;
    } else {
        std::string name = number == 0 ? m_archiveName : VolumeName(m_archiveName, number);
        int rc = create ? v->file.create(name, platform::kModeExclusive)
                        : v->file.open(name, platform::kModeSharedRead);
        if (rc != 0) return false;
        v->fileStream = std::make_unique<FileStream>(v->file);
        v->stream = v->fileStream.get();
        m_archiveIds.insert(name);
    }
    m_volume = std::move(v);
    m_chunksInVolume = 0;
    return true;
}

bool TBackupFile::writeBytes(const std::string& bytes) {
    if (m_volume && m_volume->stream->write(bytes.data(), bytes.size())) return true;
    setError(kBackupErrWriteArchive);
    m_continue = false;
    return false;
}

bool TBackupFile::readExact(void* buf, size_t n) {
    if (m_volume && m_volume->stream->read(buf, n) == n) return true;
    setError(kBackupErrReadArchive);
    m_continue = false;
    return false;
}

bool TBackupFile::nextDisk(int number) {
    auto ask = [&] {
        if (OnNeedDisk) {
            OnNeedDisk(*this, static_cast<uint16_t>(number), m_continue);
        } else {
            const std::string text = GetLangText(Text::InsertDisk).arg(number).toStdString();
            const std::string caption = GetLangText(Text::BackupCaption).toStdString();
            if (platform::CurrentUi().messageBox(text, caption, platform::kMbOkCancel) != platform::kIdOk)
                m_continue = false;
        }
    };
    ask();
    return m_continue;
}

// ---------------------------------------------------------------------------------------------- backup

void TBackupFile::AddFileSpec(const std::string& specText) {
    std::string spec = trim(specText);
    // " /s" at the end asks for the subdirectories too. Only as a separate word: "/s" is also how a
    // path component starting with "s" begins.
    bool recursive = false;
    if (spec.size() >= 3 && (spec.back() == 's' || spec.back() == 'S') && spec[spec.size() - 2] == '/' &&
        static_cast<unsigned char>(spec[spec.size() - 3]) <= ' ') {
        recursive = true;
        spec = trim(spec.substr(0, spec.size() - 2));
    }
    if (spec.empty()) return;
    size_t slash = spec.find_last_of('/');
    std::string dir = slash == std::string::npos ? "." : spec.substr(0, slash + 1);
    std::string mask = slash == std::string::npos ? spec : spec.substr(slash + 1);
    dir = platform::AbsolutePath(dir);
    if (dir.back() != '/') dir += '/';

    for (const std::string& name : platform::ListMatching(dir, mask)) {
        std::string full = dir + name;
        std::string stored;
        if (!StoredNameOf(full, stored)) {
            setError(kBackupErrReadFile);  // its name would not survive the archive
            continue;
        }
        if (m_listedNames.count(stored) || isArchiveFile(full)) continue;
        m_listedNames.insert(stored);
        m_list.push_back({full, stored});
    }
    if (!recursive) return;
    std::vector<std::string> subdirs;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code sec;
        // symlink_status: a link to a directory is not walked into (it may loop or leave the tree).
        if (fs::is_directory(it->symlink_status(sec))) subdirs.push_back(it->path().filename().string());
    }
    std::sort(subdirs.begin(), subdirs.end());
    for (const auto& sub : subdirs) AddFileSpec(dir + sub + "/" + mask + " /s");
}

bool TBackupFile::CompressPart(platform::File& source, uint64_t& offset, uint64_t size) {
    if (!writeBytes(std::string(kPartMagic, 4))) return false;
    std::string buf(kChunkSize, '\0');
    const bool volumes = MaxSize != 0 && !isStreamName(m_archiveName);
    while (offset < size && m_continue) {
        // Every volume takes at least one chunk, so a small limit can never write empty volumes for ever.
        if (volumes && m_chunksInVolume > 0 &&
            m_volume->stream->position() >= static_cast<uint64_t>(MaxSize - kVolumeReserve))
            break;
        size_t want = static_cast<size_t>(std::min<uint64_t>(kChunkSize, size - offset));
        size_t got = 0;
        if (source.readAt(offset, buf.data(), want, &got) != 0) {
            setError(kBackupErrReadFile);
            m_continue = false;
            break;
        }
        if (got == 0) {  // the file shrank since it was measured
            size = offset;
            break;
        }
        offset += got;
        m_processed += got;
        EncodedChunk chunk;
        if (!DeflateChunk(buf.data(), got, zlibLevel(CompressionLevel), chunk)) {
            setError(kBackupErrCompression);
            m_continue = false;
            break;
        }
        std::string out;
        int32_t len = static_cast<int32_t>(chunk.bytes.size());
        platform::AppendU32(out, static_cast<uint32_t>(chunk.compressed ? len : -len));
        out += chunk.bytes;
        if (!writeBytes(out)) return false;
        ++m_chunksInVolume;
        progress(m_currentFile);
    }
    std::string end;
    platform::AppendU32(end, 0);
    if (!writeBytes(end)) return false;

    if (offset < size && m_continue) {  // the volume is full
        if (++m_disk > kMaxVolumes) {
            setError(kBackupErrWriteArchive);
            m_continue = false;
            return false;
        }
        std::string name = std::string(kNextDiskName) + threeDigits(m_disk);
        std::string entry;
        platform::AppendU32(entry, static_cast<uint32_t>(name.size()));
        entry += name;
        if (!writeBytes(entry)) return false;
        m_volume.reset();
        if (!nextDisk(m_disk)) return false;
        if (!openVolume(m_disk, true)) {
            setError(kBackupErrWriteArchive);
            m_continue = false;
            return false;
        }
    }
    return true;
}

bool TBackupFile::Backup(const std::vector<std::string>& files, const std::string& archiveName) {
    if (m_busy) return false;
    m_error = 0;
    m_busy = true;
    m_continue = true;
    m_total = m_processed = 0;
    m_filesDone = 0;
    m_disk = 0;
    m_currentFile.clear();
    m_list.clear();
    m_listedNames.clear();
    m_archiveIds.clear();
    m_archiveName = archiveName;

    for (const auto& spec : files) AddFileSpec(spec);
    if (OnProgress) OnProgress(*this, "", 0, m_continue);

    const uint32_t fileCount = static_cast<uint32_t>(m_list.size());
    std::string idText;
    for (const auto& f : m_list) {
        platform::File src;
        uint64_t size = 0;
        if (src.open(f.path, platform::kModeSharedRead) != 0 || src.size(size) != 0) continue;
        m_total += size;
        if (SaveFileID) {
            idText += f.stored + "\t" + std::to_string(static_cast<int32_t>(src.dosDateTime())) + "=" +
                      std::to_string(size) + "\r\n";
        }
    }
    std::string idFile;
    if (SaveFileID) {
        platform::File tmp;
        if (platform::UniqueTempFile(platform::TempDir(), "FID", idFile) != 0 ||
            tmp.open(idFile, platform::kModeExclusive) != 0 ||
            tmp.writeAt(0, idText.data(), idText.size()) != 0) {
            setError(kBackupErrFileIdList);
            tmp.close();
            if (!idFile.empty()) platform::DeleteFileChecked(idFile);
            idFile.clear();
        } else {
            m_list.insert(m_list.begin(), ListedFile{idFile, kFileListName});
            m_total += idText.size();
        }
    }

    const std::string title = platform::FromUtf8(BackupTitle, kArchiveCodePage);
    const bool sizeOk = MaxSize == 0 || MaxSize > kVolumeReserve;
    bool result = false;
    if (!sizeOk || title.size() > kMaxTitleLength || !openVolume(0, true)) {
        // A limit that leaves no room for a chunk would write empty volumes for ever.
        setError(kBackupErrWriteArchive);
        m_continue = false;
    } else {
        std::string header;
        platform::AppendU32(header, static_cast<uint32_t>(title.size()));
        header += title;
        platform::AppendU32(header, static_cast<uint32_t>(std::min<uint64_t>(m_total, INT32_MAX)));
        platform::AppendU32(header, fileCount);
        writeBytes(header);

        for (const auto& f : m_list) {
            if (!m_continue) break;
            platform::File src;
            uint64_t size = 0;
            int rc = src.open(f.path, platform::kModeSharedRead);
            if (rc == 0) rc = src.size(size);
            if (rc != 0) {
                // Nothing of this file is written; a file deleted since the list was made is simply gone.
                if (platform::FileExists(f.path)) setError(kBackupErrReadFile);
                continue;
            }
            m_currentFile = f.path;
            std::string entry;
            platform::AppendU32(entry, static_cast<uint32_t>(f.stored.size()));
            entry += f.stored;
            platform::AppendU32(entry, src.dosDateTime());
            if (!writeBytes(entry)) break;
            uint64_t offset = 0;
            while (m_continue && CompressPart(src, offset, size) && offset < size) {
            }
            if (offset >= size && m_continue && f.stored != kFileListName) ++m_filesDone;
            // Linux files carry no archive attribute, so SetArchiveFlag has nothing to clear.
        }
        if (m_continue) {
            std::string end;
            platform::AppendU32(end, 0);
            if (writeBytes(end)) result = m_error == 0;
        }
    }
    m_volume.reset();
    if (!idFile.empty()) platform::DeleteFileChecked(idFile);
    if (OnProgress) {
        bool ignored = true;
        OnProgress(*this, "", 100, ignored);
    }
    m_busy = false;
    if (m_error != 0) ReportError(m_error);
    return result;
}

// --------------------------------------------------------------------------------------------- restore

bool TBackupFile::ExtractPart(platform::File* target, uint64_t& targetPos, bool inflateChunks) {
    char magic[4];
    if (!readExact(magic, 4)) return false;
    if (std::memcmp(magic, kPartMagic, 4) != 0) {
        setError(kBackupErrArchiveType);
        m_continue = false;
        return false;
    }
    std::string buf, out;
    while (m_continue) {
        unsigned char lenBytes[4];
        if (!readExact(lenBytes, 4)) return false;
        const int64_t n =
            static_cast<int32_t>(platform::GetU32(lenBytes));  // 64 bits: -INT32_MIN must not overflow
        if (n == 0) return true;
        const bool compressed = n > 0;
        const uint64_t len = static_cast<uint64_t>(compressed ? n : -n);
        if (len > kChunkSize) {
            setError(kBackupErrReadArchive);
            m_continue = false;
            return false;
        }
        buf.resize(len);
        if (!readExact(buf.data(), len)) return false;
        if (!inflateChunks) continue;
        const std::string* data = &buf;
        if (compressed) {
            if (!InflateChunk(buf.data(), len, out)) {
                setError(kBackupErrCompression);
                m_continue = false;
                return false;
            }
            data = &out;
        }
        if (target) {
            if (target->writeAt(targetPos, data->data(), data->size()) != 0) {
                setError(kBackupErrOverwrite);
                m_continue = false;
                return false;
            }
            targetPos += data->size();
        }
        m_processed += data->size();
        progress(m_currentFile);
    }
    return false;
}

void TBackupFile::finishTarget(platform::File& file, std::string& target, uint32_t date) {
    if (OnFileRestored) OnFileRestored(*this, target, file);
    file.close();
    int64_t t = 0;
    if (DosDateTimeToTime(date, t)) {
        std::error_code ec;
        auto sys = std::chrono::system_clock::time_point(std::chrono::seconds(t));
        fs::last_write_time(target, std::chrono::file_clock::from_sys(sys), ec);
    }
}

bool TBackupFile::restoreEntry(const std::string& storedName, uint32_t date, const std::string& restorePath,
                               bool verifyOnly, std::string& target) {
    if (storedName == kFileListName) return false;
    std::vector<std::string> parts;
    const std::string utf8Name = platform::ToUtf8(storedName, kArchiveCodePage);
    if (!SafeRestoreParts(utf8Name, RestoreFullPath, parts)) {
        // A name that would leave the restore directory is never written.
        if (m_error == 0) m_refusedName = utf8Name;
        setError(kBackupErrUnsafeName);
        return false;
    }
    if (verifyOnly) return false;
    std::string relative;
    for (size_t i = 0; i < parts.size(); ++i) relative += (i ? "/" : "") + parts[i];
    // An existing file is found whatever the case of its name on disk.
    target = platform::ResolveCase(restorePath + relative);
    const std::string proposed = target;

    std::error_code ec;
    const fs::file_status st = fs::symlink_status(target, ec);
    const bool exists = fs::exists(st);
    const bool older = exists && fileAgeOf(target) < date;
    bool doRestore = false;
    switch (RestoreMode) {
        case rmAll:
            doRestore = true;
            break;
        case rmNoOverwrite:
            doRestore = !exists;
            break;
        case rmNewer:
            doRestore = !exists || older;
            break;
        case rmExisting:
            doRestore = exists;
            break;
        case rmExistingNewer:
            doRestore = exists && older;
            break;
    }
    if (OnRestoreFile) OnRestoreFile(*this, target, date, doRestore);
    if (!doRestore) return false;

    // Create the directories one by one so that no symbolic link below the restore directory is followed.
    if (target == proposed) {
        std::string dir = restorePath;
        fs::create_directories(dir, ec);
        for (size_t i = 0; i + 1 < parts.size(); ++i) {
            dir += parts[i];
            const fs::file_status ds = fs::symlink_status(dir, ec);
            if (!fs::exists(ds)) fs::create_directory(dir, ec);
            if (!fs::is_directory(fs::symlink_status(dir, ec))) {
                setError(kBackupErrOverwrite);
                return false;
            }
            dir += "/";
        }
    } else {
        fs::path parent = fs::path(target).parent_path();
        if (!parent.empty()) fs::create_directories(parent, ec);
    }
    const fs::file_status ts = fs::symlink_status(target, ec);
    if (fs::is_symlink(ts) || (fs::exists(ts) && !fs::is_regular_file(ts))) {
        setError(kBackupErrOverwrite);
        return false;
    }
    fs::path parent = fs::path(target).parent_path();
    if (!parent.empty() && !fs::is_directory(parent, ec)) {
        setError(kBackupErrOverwrite);
        return false;
    }
    for (const auto& vol : m_archiveIds) {
        if (fs::exists(ts) && fs::equivalent(target, vol, ec)) {
            setError(kBackupErrOverwrite);  // never write over the archive being read
            return false;
        }
    }
    return true;
}

bool TBackupFile::readArchive(const std::string& archiveName, const std::string& restorePathIn,
                              bool verifyOnly) {
    if (m_busy) return false;
    m_error = 0;
    m_restored = 0;
    m_refusedName.clear();
    m_continue = true;
    m_total = m_processed = 0;
    m_disk = 0;
    m_currentFile.clear();
    m_archiveIds.clear();
    m_archiveName = archiveName;

    std::string restorePath = restorePathIn;
    if (!verifyOnly) {
        if (restorePath.empty()) {
            // The stored names themselves would be the targets: anywhere on disk.
            m_error = kBackupErrOverwrite;
            ReportError(m_error);
            return false;
        }
        if (restorePath.back() != '/') restorePath += '/';
    }
    if (isStreamName(archiveName) ? Stream == nullptr : !platform::FileExists(archiveName)) {
        m_error = kBackupErrReadArchive;  // recorded, not reported: a missing archive is no message
        return false;
    }
    m_busy = true;
    bool reachedEnd = false;
    if (!openVolume(0, false)) {
        setError(kBackupErrReadArchive);
        m_continue = false;
    }
    unsigned char word[4];
    if (m_continue && readExact(word, 4)) {
        uint32_t titleLength = platform::GetU32(word);
        std::string title;
        if (titleLength > kMaxTitleLength) {
            setError(kBackupErrReadArchive);
            m_continue = false;
        } else if (title.resize(titleLength), readExact(title.data(), titleLength) && readExact(word, 4)) {
            m_total = platform::GetU32(word);
            readExact(word, 4);  // the file count: informative only
        }
    }

    std::string target;
    bool writing = false;
    bool haveEntry = false;
    uint32_t date = 0;
    uint64_t targetPos = 0;
    while (m_continue) {
        if (!readExact(word, 4)) break;
        const uint32_t nameLength = platform::GetU32(word);
        if (nameLength == 0) {
            reachedEnd = true;
            break;
        }
        if (nameLength > kMaxNameLength) {
            setError(kBackupErrReadArchive);
            break;
        }
        std::string name(nameLength, '\0');
        if (!readExact(name.data(), nameLength)) break;

        const size_t prefix = std::strlen(kNextDiskName);
        if (name.size() == prefix + 3 && name.compare(0, prefix, kNextDiskName) == 0) {
            int number = 0;
            for (size_t i = prefix; i < name.size(); ++i)
                number =
                    std::isdigit(static_cast<unsigned char>(name[i])) ? number * 10 + (name[i] - '0') : -1000;
            // Volumes follow each other in order; anything else is damage (and could loop for ever).
            if (!haveEntry || number != m_disk + 1 || isStreamName(archiveName)) {
                setError(kBackupErrReadArchive);
                break;
            }
            m_volume.reset();
            const std::string volumeName = VolumeName(archiveName, number);
            const bool headless =
                !OnNeedDisk && dynamic_cast<platform::StderrUi*>(&platform::CurrentUi()) != nullptr;
            do {
                if (!nextDisk(number)) break;
                // Nobody can insert a disk behind the default console answers: do not ask for ever.
                if (headless && !platform::FileExists(volumeName)) {
                    setError(kBackupErrReadArchive);
                    m_continue = false;
                }
            } while (m_continue && !platform::FileExists(volumeName));
            if (!m_continue) break;
            if (!openVolume(number, false)) {
                setError(kBackupErrReadArchive);
                break;
            }
            m_disk = number;
            platform::File file;
            if (writing) {
                if (file.open(target, platform::kModeExclusive) != 0 || file.size(targetPos) != 0) {
                    setError(kBackupErrReadFile);
                    writing = false;
                    file.close();
                }
            }
            ExtractPart(writing ? &file : nullptr, targetPos, writing || verifyOnly);
            if (writing) finishTarget(file, target, date);
            continue;
        }

        if (!readExact(word, 4)) break;
        date = platform::GetU32(word);
        haveEntry = true;
        m_currentFile = platform::ToUtf8(name, kArchiveCodePage);
        writing = restoreEntry(name, date, restorePath, verifyOnly, target);
        platform::File file;
        if (writing && file.create(target, platform::kModeExclusive) != 0) {
            setError(kBackupErrOverwrite);
            writing = false;
        }
        if (writing) m_currentFile = target;
        targetPos = 0;
        const bool partOk = ExtractPart(writing ? &file : nullptr, targetPos, writing || verifyOnly);
        if (writing) {
            if (partOk) ++m_restored;
            finishTarget(file, target, date);
        }
    }

    m_volume.reset();
    const bool result = reachedEnd && m_error == 0 && m_continue;
    if (OnProgress) {
        bool ignored = true;
        OnProgress(*this, "", 100, ignored);
    }
    m_busy = false;
    if (m_error != 0) ReportError(m_error);
    return result;
}

bool TBackupFile::Restore(const std::string& archiveName, const std::string& restorePath) {
    return readArchive(archiveName, restorePath, false);
}

bool TBackupFile::Verify(const std::string& archiveName) {
    return readArchive(archiveName, "", true);
}

}  // namespace app
