// The backup component: stores a list of files, chunk by chunk with zlib, in one archive file or in
// numbered volumes, and restores them. docs/archive.md describes the archive byte by byte.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/exchange/archive_format.h"
#include "platform/file.h"

namespace app {

enum TBackupMode { bmAll, bmIncremental };
enum TRestoreMode { rmAll, rmNoOverwrite, rmNewer, rmExisting, rmExistingNewer };
enum TCompressionLevel { clFastest, clNone, clDefault, clMax };
using TPercentage = int;  // 0..100

// Error codes reported at the end of an operation.
enum : int {
    kBackupErrReadFile = 1,      // "Cannot read file"
    kBackupErrOverwrite = 2,     // "Overwriting file failed"
    kBackupErrReadArchive = 3,   // "Cannot read archive"
    kBackupErrWriteArchive = 4,  // "Cannot write to archive"
    kBackupErrArchiveType = 5,   // "Invalid archive type"
    kBackupErrCompression = 6,   // "Compression error"
    kBackupErrFileIdList = 7,    // "Cannot create temporary file to save the file IDs"
    kBackupErrUnsafeName = 8,    // "Name leaves the restore folder or is not a file name": see RefusedName
};

// The text of an error code in the current language ("" for 0 and unknown codes).
std::string BackupErrorText(int code);

// The name of volume number (1..999) of an archive: its extension replaced by the three digits.
std::string VolumeName(const std::string& archiveName, int number);

class TBackupFile {
public:
    TBackupFile();
    ~TBackupFile();
    TBackupFile(const TBackupFile&) = delete;
    TBackupFile& operator=(const TBackupFile&) = delete;

    // Events. Texts are UTF-8; any handler may clear its Continue argument to end the operation after
    // the current chunk.
    std::function<void(TBackupFile& sender, const std::string& fileName, TPercentage percent, bool& cont)>
        OnProgress;
    std::function<void(TBackupFile& sender, uint16_t diskId, bool& cont)> OnNeedDisk;
    std::function<void(TBackupFile& sender, std::string& fileName, uint32_t fileDate, bool& doRestore)>
        OnRestoreFile;
    std::function<void(TBackupFile& sender, std::string& fileName, xb::platform::File& stream)>
        OnFileRestored;
    std::function<void(TBackupFile& sender, int error, const std::string& errString)> OnError;

    // Properties.
    std::string BackupTitle;
    int32_t MaxSize = 0;  // volume size limit in bytes; 0 = one archive file
    TRestoreMode RestoreMode = rmAll;
    TCompressionLevel CompressionLevel = clFastest;
    bool SetArchiveFlag = false;  // Linux files have no archive attribute: nothing to clear
    bool RestoreFullPath = false;
    bool SaveFileID = false;
    // The stream used when the archive name is ":STREAM" (not owned).
    ByteStream* Stream = nullptr;

    std::string Version() const { return "5.00"; }
    void setVersion(const std::string&) {}
    TBackupMode BackupMode() const { return m_backupMode; }
    void setBackupMode(TBackupMode mode);

    // Stores every file the specifications name (UTF-8 masks, " /s" at the end for subdirectories too).
    // True when every file was stored and the archive completed.
    bool Backup(const std::vector<std::string>& files, const std::string& archiveName);
    // Restores an archive into restorePath. True when the archive was read to its closing zero with no
    // error, no refused name and no cancel.
    bool Restore(const std::string& archiveName, const std::string& restorePath);
    // Reads the archive to its closing zero and inflates every chunk, writing nothing: true when a
    // restore would find the archive whole and every stored name acceptable.
    bool Verify(const std::string& archiveName);

    // Adds the files one file spec names to the list of the backup being prepared.
    void AddFileSpec(const std::string& spec);
    void ReportError(int code);

    // Run-time state.
    int Error() const { return m_error; }
    bool Busy() const { return m_busy; }
    bool Continue() const { return m_continue; }
    uint64_t TotalSize() const { return m_total; }
    uint64_t Processed() const { return m_processed; }
    const std::string& CurrentFile() const { return m_currentFile; }
    int FilesDone() const { return m_filesDone; }
    int RestoredCount() const { return m_restored; }
    // The stored name (UTF-8) of the first entry refused because it would leave the restore folder or
    // is not a file name.
    const std::string& RefusedName() const { return m_refusedName; }

private:
    struct ListedFile {
        std::string path;    // the real name on disk (UTF-8)
        std::string stored;  // the name stored in the archive
    };
    struct Volume;  // the archive file or stream being read or written

    bool CompressPart(xb::platform::File& source, uint64_t& offset, uint64_t size);
    bool ExtractPart(xb::platform::File* target, uint64_t& targetPos, bool inflateChunks);
    bool readArchive(const std::string& archiveName, const std::string& restorePath, bool verifyOnly);
    bool restoreEntry(const std::string& storedName, uint32_t date, const std::string& restorePath,
                      bool verifyOnly, std::string& target);
    void finishTarget(xb::platform::File& file, std::string& target, uint32_t date);
    bool openVolume(int number, bool create);
    bool nextDisk(int number);
    bool readExact(void* buf, size_t n);
    bool writeBytes(const std::string& bytes);
    void progress(const std::string& fileName);
    void setError(int code);
    bool isArchiveFile(const std::string& path) const;

    TBackupMode m_backupMode = bmAll;
    int m_error = 0;
    bool m_busy = false;
    bool m_continue = true;
    uint64_t m_total = 0;
    uint64_t m_processed = 0;
    std::string m_currentFile;
    int m_filesDone = 0;
    int m_restored = 0;
    std::string m_refusedName;

    std::string m_archiveName;
    std::vector<ListedFile> m_list;
    std::set<std::string> m_listedNames;
    std::set<std::string> m_archiveIds;  // every volume opened by the current operation
    std::unique_ptr<Volume> m_volume;
    int m_disk = 0;
    int m_chunksInVolume = 0;
};

}  // namespace app
