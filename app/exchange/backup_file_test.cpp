#include "app/exchange/backup_file.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <random>
#include <set>
#include <stdexcept>

#include "app/settings/lang_texts.h"
#include "platform/byte_order.h"
#include "platform/file.h"
#include "platform/ui.h"
#include "tests/support/fixtures.h"

namespace app {
namespace {

namespace fs = std::filesystem;
namespace platform = xb::platform;
using xbtest::ReadFileBytes;
using xbtest::WriteFileBytes;

int64_t LocalTime(int y, int mo, int d, int h, int mi, int s) {
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

void SetMtime(const std::string& path, int64_t t) {
    fs::last_write_time(path, std::chrono::file_clock::from_sys(
                                  std::chrono::system_clock::time_point(std::chrono::seconds(t))));
}

int64_t Mtime(const std::string& path) {
    auto sys = std::chrono::file_clock::to_sys(fs::last_write_time(path));
    return std::chrono::duration_cast<std::chrono::seconds>(sys.time_since_epoch()).count();
}

std::string RandomBytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(rng());
    return s;
}

std::string TextBytes(size_t n) {
    std::string s;
    while (s.size() < n) s += "Olympique " + std::to_string(s.size() % 977) + ";";
    return s.substr(0, n);
}

std::string Lower(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Builds archives byte by byte, the way another program would write them.
class Builder {
public:
    Builder& header(const std::string& title, uint32_t total, uint32_t count) {
        return u32(static_cast<uint32_t>(title.size())).raw(title).u32(total).u32(count);
    }
    Builder& entry(const std::string& name, uint32_t date) {
        return u32(static_cast<uint32_t>(name.size())).raw(name).u32(date);
    }
    Builder& magic() { return raw(std::string("EC2\0", 4)); }
    Builder& zchunk(const std::string& src) {
        uLongf n = compressBound(src.size());
        std::string z(n, '\0');
        compress2(reinterpret_cast<Bytef*>(z.data()), &n, reinterpret_cast<const Bytef*>(src.data()),
                  src.size(), 6);
        z.resize(n);
        return u32(static_cast<uint32_t>(z.size())).raw(z);
    }
    Builder& rawChunk(const std::string& src) {
        return u32(static_cast<uint32_t>(-static_cast<int32_t>(src.size()))).raw(src);
    }
    Builder& part(const std::string& src) { return magic().zchunk(src).u32(0); }
    Builder& u32(uint32_t v) {
        platform::AppendU32(m_bytes, v);
        return *this;
    }
    Builder& raw(const std::string& s) {
        m_bytes += s;
        return *this;
    }
    const std::string& bytes() const { return m_bytes; }

private:
    std::string m_bytes;
};

// Reads an archive's structure independently of the component.
struct Parsed {
    struct Chunk {
        int32_t length;
        std::string source;
    };
    struct Entry {
        std::string name;
        uint32_t date = 0;
        std::vector<Chunk> chunks;
    };
    std::string title;
    uint32_t total = 0, count = 0;
    std::vector<Entry> entries;
    size_t end = 0;  // offset just after the closing zero
};

Parsed Parse(const std::string& b) {
    size_t pos = 0;
    auto take = [&](size_t n) {
        if (pos + n > b.size()) throw std::runtime_error("archive ends early");
        std::string s = b.substr(pos, n);
        pos += n;
        return s;
    };
    auto u32 = [&] { return platform::GetU32(reinterpret_cast<const unsigned char*>(take(4).data())); };
    Parsed p;
    p.title = take(u32());
    p.total = u32();
    p.count = u32();
    for (uint32_t len; (len = u32()) != 0;) {
        Parsed::Entry e;
        e.name = take(len);
        e.date = u32();
        if (take(4) != std::string("EC2\0", 4)) throw std::runtime_error("bad magic");
        for (int32_t n; (n = static_cast<int32_t>(u32())) != 0;) {
            std::string data = take(n > 0 ? n : -n);
            std::string src = data;
            if (n > 0) {
                src.assign(65536, '\0');
                uLongf got = src.size();
                if (uncompress(reinterpret_cast<Bytef*>(src.data()), &got,
                               reinterpret_cast<const Bytef*>(data.data()), data.size()) != Z_OK)
                    throw std::runtime_error("bad chunk");
                src.resize(got);
            }
            e.chunks.push_back({n, src});
        }
        p.entries.push_back(e);
    }
    p.end = pos;
    return p;
}

class ScriptedUi : public platform::Ui {
public:
    int messageBox(const std::string& text, const std::string&, unsigned) override {
        texts.push_back(text);
        return answers.empty() ? platform::kIdOk : nextAnswer();
    }
    char dialog(const std::string&, char, const std::string&, const std::string&) override { return 0; }
    void progressStart(const std::string&, long) override {}
    void progressStep(long) override {}
    void progressEnd() override {}
    std::vector<std::string> texts;
    std::vector<int> answers;

private:
    int nextAnswer() {
        int a = answers.front();
        answers.erase(answers.begin());
        return a;
    }
};

class BackupFileTest : public ::testing::Test {
protected:
    BackupFileTest() {
        fs::create_directories(src);
        bf.OnError = [this](TBackupFile&, int code, const std::string& text) {
            errors.push_back(code);
            EXPECT_EQ(text, BackupErrorText(code));
        };
    }
    std::string put(const std::string& name, const std::string& bytes,
                    int64_t t = LocalTime(2024, 6, 15, 12, 0, 0)) {
        std::string path = src + "/" + name;
        fs::create_directories(fs::path(path).parent_path());
        WriteFileBytes(path, bytes);
        SetMtime(path, t);
        return path;
    }
    std::string archiveBytes(const std::string& bytes) {
        WriteFileBytes(arch, bytes);
        return arch;
    }

    xbtest::TempDir tmp;
    std::string src = tmp.file("src");
    std::string out = tmp.file("out");
    std::string arch = tmp.file("backup.pmz");
    TBackupFile bf;
    std::vector<int> errors;
};

TEST_F(BackupFileTest, EverySizeComesBackIdenticalWithItsDateAtEveryLevel) {
    const std::vector<std::pair<std::string, std::string>> files = {
        {"empty.bin", ""},
        {"one.bin", "x"},
        {"c16383.bin", TextBytes(16383)},
        {"c16384.bin", TextBytes(16384)},
        {"c16385.bin", TextBytes(16385)},
        {"c40000.bin", RandomBytes(40000, 1)},
        {"random.bin", RandomBytes(1 << 20, 2)},
        {"zeros.bin", std::string(1 << 20, '\0')},
    };
    int64_t t = LocalTime(2023, 7, 1, 9, 30, 0);
    for (const auto& [name, bytes] : files) put(name, bytes, t += 3602);  // even seconds: DOS steps are two
    for (TCompressionLevel level : {clFastest, clNone, clDefault, clMax}) {
        SCOPED_TRACE(level);
        bf.CompressionLevel = level;
        ASSERT_TRUE(bf.Backup({src + "/*.*"}, arch));
        EXPECT_EQ(bf.FilesDone(), static_cast<int>(files.size()));
        EXPECT_TRUE(bf.Verify(arch));
        std::string dest = out + std::to_string(level);
        ASSERT_TRUE(bf.Restore(arch, dest));
        EXPECT_EQ(bf.RestoredCount(), static_cast<int>(files.size()));
        for (const auto& [name, bytes] : files) {
            EXPECT_TRUE(ReadFileBytes(dest + "/" + name) == bytes) << name;
            EXPECT_EQ(Mtime(dest + "/" + name), Mtime(src + "/" + name)) << name;
        }
    }
    EXPECT_TRUE(errors.empty());
}

TEST_F(BackupFileTest, ArchiveLayoutChunksNamesAndClosingZero) {
    const std::string forty = TextBytes(40000);
    const std::string random = RandomBytes(32768, 3);  // whole chunks: a short tail may still fit the buffer
    put("Sub/Forty.DAT", forty);
    put("Sub/Random.BIN", random);
    const std::string empty = put("Sub/Empty.TXT", "", LocalTime(2022, 2, 3, 4, 5, 6));
    bf.BackupTitle = "Ligue r\xC3\xA9gionale";
    bf.CompressionLevel = clMax;
    ASSERT_TRUE(bf.Backup({src + "/Sub/*.*"}, arch));

    const std::string bytes = ReadFileBytes(arch);
    const Parsed p = Parse(bytes);
    EXPECT_EQ(p.title, "Ligue r\xE9gionale");
    EXPECT_EQ(p.total, 72768u);
    EXPECT_EQ(p.count, 3u);
    EXPECT_EQ(p.end, bytes.size());
    ASSERT_EQ(p.entries.size(), 3u);
    const std::string dir = Lower(src) + "/sub/";
    EXPECT_EQ(p.entries[0].name, dir + "empty.txt");
    EXPECT_EQ(p.entries[1].name, dir + "forty.dat");
    EXPECT_EQ(p.entries[2].name, dir + "random.bin");
    EXPECT_EQ(p.entries[0].date, TimeToDosDateTime(LocalTime(2022, 2, 3, 4, 5, 6)));
    EXPECT_TRUE(p.entries[0].chunks.empty());

    std::vector<size_t> sizes;
    std::string joined;
    for (const auto& c : p.entries[1].chunks) {
        EXPECT_GT(c.length, 0);
        sizes.push_back(c.source.size());
        joined += c.source;
    }
    EXPECT_EQ(sizes, (std::vector<size_t>{16384, 16384, 7232}));
    EXPECT_EQ(joined, forty);
    joined.clear();
    for (const auto& c : p.entries[2].chunks) {
        EXPECT_LT(c.length, 0);
        joined += c.source;
    }
    EXPECT_EQ(joined, random);
}

TEST_F(BackupFileTest, ArchiveWrittenByAnotherProgramRestores) {
    const uint32_t date = TimeToDosDateTime(LocalTime(2021, 3, 4, 10, 20, 30));
    const std::string equipe = TextBytes(20000);
    Builder b;
    b.header("Pelmorad", 20000 + 3 + 5, 2)
        .entry("FILE:LIST", date)
        .part("c:\\pelmorad\\equipe.dbf\t1=20000\r\n")
        .entry("c:\\pelmorad\\equipe.dbf", date)
        .magic()
        .zchunk(equipe.substr(0, 16384))
        .zchunk(equipe.substr(16384))
        .u32(0)
        .entry("c:\\pelmorad\\caf\xE9.dbt", date)
        .magic()
        .rawChunk("abc")
        .u32(0)
        .u32(0);
    ASSERT_TRUE(bf.Restore(archiveBytes(b.bytes()), out));
    EXPECT_EQ(ReadFileBytes(out + "/equipe.dbf"), equipe);
    EXPECT_EQ(ReadFileBytes(out + "/caf\xC3\xA9.dbt"), "abc");
    EXPECT_EQ(Mtime(out + "/equipe.dbf"), LocalTime(2021, 3, 4, 10, 20, 30));
    EXPECT_EQ(bf.RestoredCount(), 2);
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()),
              2);  // the ID list stays out

    bf.RestoreFullPath = true;
    ASSERT_TRUE(bf.Restore(arch, out));
    EXPECT_EQ(ReadFileBytes(out + "/pelmorad/equipe.dbf"), equipe);
}

TEST_F(BackupFileTest, VolumesAskForEachDiskAndRestoreIdentically) {
    std::vector<std::string> bytes;
    for (int i = 0; i < 5; ++i) {
        bytes.push_back(RandomBytes(40000, 10 + i));
        put("v" + std::to_string(i) + ".bin", bytes.back());
    }
    std::vector<int> asked;
    bf.OnNeedDisk = [&](TBackupFile&, uint16_t disk, bool&) { asked.push_back(disk); };
    bf.MaxSize = 40000;
    ASSERT_TRUE(bf.Backup({src + "/*.bin"}, arch));
    const int volumes = static_cast<int>(asked.size());
    ASSERT_GE(volumes, 4);
    for (int i = 0; i < volumes; ++i) EXPECT_EQ(asked[i], i + 1);
    EXPECT_LE(fs::file_size(arch), 40000u);
    for (int k = 1; k <= volumes; ++k) {
        ASSERT_TRUE(fs::exists(tmp.file("backup.00" + std::to_string(k)))) << k;
        EXPECT_LE(fs::file_size(tmp.file("backup.00" + std::to_string(k))), 40000u);
    }
    EXPECT_FALSE(fs::exists(tmp.file("backup.00" + std::to_string(volumes + 1))));

    asked.clear();
    ASSERT_TRUE(bf.Restore(arch, out));
    EXPECT_EQ(static_cast<int>(asked.size()), volumes);
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(ReadFileBytes(out + "/v" + std::to_string(i) + ".bin") == bytes[i]) << i;

    // Without a handler the disks are asked for in a message box; Cancel stops the operation.
    bf.OnNeedDisk = nullptr;
    ScriptedUi ui;
    platform::Ui* previous = platform::SetUi(&ui);
    EXPECT_TRUE(bf.Restore(arch, out + "2"));
    ASSERT_EQ(static_cast<int>(ui.texts.size()), volumes);
    EXPECT_EQ(ui.texts[0], app::GetLangText(app::Text::InsertDisk).arg(1).toStdString());
    ui.answers = {platform::kIdOk, platform::kIdCancel};
    EXPECT_FALSE(bf.Backup({src + "/*.bin"}, tmp.file("cancelled.pmz")));
    ui.answers = {platform::kIdOk, platform::kIdCancel};
    EXPECT_FALSE(bf.Restore(tmp.file("cancelled.pmz"), out + "3"));
    platform::SetUi(previous);
}

TEST_F(BackupFileTest, VolumeLimitsThatCannotWorkAreRefused) {
    put("small.bin", "abc");
    struct Case {
        int32_t maxSize;
        bool ok;
    };
    for (const Case& c :
         {Case{16484, false}, Case{-1, false}, Case{INT32_MIN, false}, Case{16485, true}, Case{0, true}}) {
        errors.clear();
        bf.MaxSize = c.maxSize;
        EXPECT_EQ(bf.Backup({src + "/*.bin"}, arch), c.ok) << c.maxSize;
        EXPECT_EQ(errors, c.ok ? std::vector<int>{} : std::vector<int>{kBackupErrWriteArchive});
    }
    // One chunk per volume: 17 MB would need more than 999 volumes.
    put("big.bin", std::string(17 << 20, '\0'));
    errors.clear();
    bf.MaxSize = 16485;
    bf.OnNeedDisk = [](TBackupFile&, uint16_t, bool&) {};
    EXPECT_FALSE(bf.Backup({src + "/big.bin"}, arch));
    EXPECT_EQ(errors, std::vector<int>{kBackupErrWriteArchive});
    EXPECT_TRUE(fs::exists(tmp.file("backup.999")));
    EXPECT_FALSE(fs::exists(tmp.file("backup.1000")));
}

TEST_F(BackupFileTest, RestoreModesAgainstMissingOlderEqualAndNewerTargets) {
    const int64_t stored = LocalTime(2024, 5, 1, 12, 0, 0);
    put("data.dbf", "new", stored);
    ASSERT_TRUE(bf.Backup({src + "/data.dbf"}, arch));
    enum State { missing, older, equal, newer };
    struct Case {
        TRestoreMode mode;
        bool writes[4];  // missing, older, equal, newer
    };
    const Case cases[] = {
        {rmAll, {true, true, true, true}},
        {rmNoOverwrite, {true, false, false, false}},
        {rmNewer, {true, true, false, false}},
        {rmExisting, {false, true, true, true}},
        {rmExistingNewer, {false, true, false, false}},
    };
    for (const auto& c : cases) {
        for (State s : {missing, older, equal, newer}) {
            const std::string dest = out + std::to_string(c.mode) + std::to_string(s);
            fs::create_directories(dest);
            if (s != missing) {
                WriteFileBytes(dest + "/data.dbf", "old");
                SetMtime(dest + "/data.dbf", stored + (s == older ? -3600 : s == newer ? 3600 : 0));
            }
            bf.RestoreMode = c.mode;
            EXPECT_TRUE(bf.Restore(arch, dest));
            const std::string expected = c.writes[s] ? "new" : (s == missing ? "" : "old");
            EXPECT_EQ(ReadFileBytes(dest + "/data.dbf"), expected) << "mode " << c.mode << " state " << s;
        }
    }
}

TEST_F(BackupFileTest, ExistingTargetIsFoundWhateverItsCase) {
    put("Equipe.DBF", "new");
    ASSERT_TRUE(bf.Backup({src + "/*.dbf"}, arch));
    fs::create_directories(out);
    WriteFileBytes(out + "/EQUIPE.DBF", "old");
    ASSERT_TRUE(bf.Restore(arch, out));
    EXPECT_EQ(ReadFileBytes(out + "/EQUIPE.DBF"), "new");
    EXPECT_FALSE(fs::exists(out + "/equipe.dbf"));
}

TEST_F(BackupFileTest, ArchiveCutAtEveryOffsetNeverRestoresAsWhole) {
    put("a.txt", "");
    put("b.txt", TextBytes(20000));
    put("c.bin", RandomBytes(300, 4));
    ASSERT_TRUE(bf.Backup({src + "/*.*"}, arch));
    const std::string whole = ReadFileBytes(arch);
    const std::string sandbox = tmp.file("sandbox");
    const std::string cut = sandbox + "/cut.pmz";
    fs::create_directories(sandbox);
    for (size_t n = 0; n < whole.size(); ++n) {
        WriteFileBytes(cut, whole.substr(0, n));
        errors.clear();
        EXPECT_FALSE(bf.Restore(cut, sandbox + "/r")) << n;
        EXPECT_EQ(errors, std::vector<int>{kBackupErrReadArchive}) << n;
        EXPECT_FALSE(bf.Verify(cut)) << n;
        EXPECT_FALSE(bf.Busy());
    }
    WriteFileBytes(cut, whole);
    EXPECT_TRUE(bf.Restore(cut, sandbox + "/r"));
    for (const auto& e : fs::directory_iterator(sandbox)) {
        const std::string name = e.path().filename().string();
        EXPECT_TRUE(name == "r" || name == "cut.pmz") << name;
    }
}

TEST_F(BackupFileTest, StoredNamesNeverWriteOutsideTheRestoreDirectory) {
    const std::string sandbox = tmp.file("sandbox");
    const std::string restore = sandbox + "/deep/r";
    fs::create_directories(restore);
    fs::create_directories(sandbox + "/odir");
    WriteFileBytes(sandbox + "/outside.txt", "keep");
    fs::create_symlink(sandbox + "/outside.txt", restore + "/link");
    fs::create_symlink(sandbox + "/odir", restore + "/ldir");

    struct Case {
        std::string name;
        bool fullPath;
        std::string expect;  // where it lands below the restore directory, "" when refused
    };
    const Case cases[] = {
        {"..\\..\\x", false, "x"}, {"..\\..\\x", true, ""},         {"/etc/x", false, "x"},
        {"/etc/x", true, "etc/x"}, {"c:\\..\\x", true, ""},         {"c:\\..\\x", false, "x"},
        {"a/../../x", true, ""},   {"c:\\dir\\..", false, ""},      {"..", false, ""},
        {"c:", false, ""},         {"bad\x01name", false, ""},      {"link", false, ""},
        {"c:\\ldir\\x", true, ""}, {"c:\\sub\\ok", true, "sub/ok"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name + (c.fullPath ? " full" : ""));
        Builder b;
        b.header("", 4, 1).entry(c.name, 0).part("data").u32(0);
        errors.clear();
        bf.RestoreFullPath = c.fullPath;
        EXPECT_EQ(bf.Restore(archiveBytes(b.bytes()), restore), !c.expect.empty());
        if (c.expect.empty()) {
            // A name is refused as such; a link in the way is a target that cannot be written.
            const bool link = c.name == "link" || c.name == "c:\\ldir\\x";
            EXPECT_EQ(errors, std::vector<int>{link ? kBackupErrOverwrite : kBackupErrUnsafeName});
            if (!link) EXPECT_EQ(bf.RefusedName(), c.name);
        } else {
            EXPECT_EQ(ReadFileBytes(restore + "/" + c.expect), "data");
        }
    }
    EXPECT_EQ(ReadFileBytes(sandbox + "/outside.txt"), "keep");
    EXPECT_TRUE(fs::is_empty(sandbox + "/odir"));
    for (const auto& e : fs::recursive_directory_iterator(sandbox)) {
        const std::string p = e.path().string();
        EXPECT_TRUE(p.rfind(restore, 0) == 0 || p == sandbox + "/deep" || p == sandbox + "/odir" ||
                    p == sandbox + "/outside.txt")
            << p;
    }

    // The archive being read is never a target, and an empty restore path is refused.
    Builder self;
    self.header("", 4, 1).entry("self.pmz", 0).part("data").u32(0);
    WriteFileBytes(restore + "/self.pmz", self.bytes());
    errors.clear();
    bf.RestoreFullPath = false;
    EXPECT_FALSE(bf.Restore(restore + "/self.pmz", restore));
    EXPECT_EQ(ReadFileBytes(restore + "/self.pmz"), self.bytes());
    EXPECT_FALSE(bf.Restore(restore + "/self.pmz", ""));
    EXPECT_EQ(errors, (std::vector<int>{kBackupErrOverwrite, kBackupErrOverwrite}));
}

TEST_F(BackupFileTest, DamagedFieldsFailWithTheirCodeAndReleaseTheArchive) {
    auto head = [] { return Builder().header("t", 5, 1); };
    std::string over(kChunkSize + 1, 'a');
    uLongf zn = compressBound(over.size());
    std::string overZ(zn, '\0');
    compress2(reinterpret_cast<Bytef*>(overZ.data()), &zn, reinterpret_cast<const Bytef*>(over.data()),
              over.size(), 9);
    overZ.resize(zn);
    struct Case {
        const char* what;
        std::string bytes;
        int code;
    };
    const Case cases[] = {
        {"huge title", Builder().u32(0x7FFFFFFF).raw("t").bytes(), kBackupErrReadArchive},
        {"negative title", Builder().u32(0xFFFFFFFF).raw("t").bytes(), kBackupErrReadArchive},
        {"negative name", head().u32(0x80000000).raw("x").bytes(), kBackupErrReadArchive},
        {"huge name", head().u32(40000).raw("x").bytes(), kBackupErrReadArchive},
        {"INT32_MIN chunk", head().entry("x", 0).magic().u32(0x80000000).bytes(), kBackupErrReadArchive},
        {"chunk too long",
         head().entry("x", 0).magic().u32(16385).raw(std::string(16385, 'a')).u32(0).u32(0).bytes(),
         kBackupErrReadArchive},
        {"raw chunk too long",
         head()
             .entry("x", 0)
             .magic()
             .u32(static_cast<uint32_t>(-16385))
             .raw(std::string(16385, 'a'))
             .u32(0)
             .u32(0)
             .bytes(),
         kBackupErrReadArchive},
        {"bad magic", head().entry("x", 0).raw(std::string("EC3\0", 4)).u32(0).u32(0).bytes(),
         kBackupErrArchiveType},
        {"inflates too far",
         head()
             .entry("x", 0)
             .magic()
             .u32(static_cast<uint32_t>(overZ.size()))
             .raw(overZ)
             .u32(0)
             .u32(0)
             .bytes(),
         kBackupErrCompression},
        {"not zlib", head().entry("x", 0).magic().u32(5).raw("hello").u32(0).u32(0).bytes(),
         kBackupErrCompression},
        {"disk before any file", head().entry("NEXT:DISK001", 0).bytes(), kBackupErrReadArchive},
        {"disk out of order", head().entry("x", 0).part("hello").u32(12).raw("NEXT:DISK005").bytes(),
         kBackupErrReadArchive},
        {"disk not a number", head().entry("x", 0).part("hello").u32(12).raw("NEXT:DISKa01").bytes(),
         kBackupErrReadArchive},
        {"no closing zero", head().entry("x", 0).part("hello").bytes(), kBackupErrReadArchive},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        errors.clear();
        EXPECT_FALSE(bf.Restore(archiveBytes(c.bytes), out));
        EXPECT_EQ(errors, std::vector<int>{c.code});
        EXPECT_FALSE(bf.Busy());
        EXPECT_EQ(platform::DeleteFileChecked(arch), 0);  // no handle left open on it
    }
    // Without an OnError handler the text goes to an error message box, in the session's language.
    bf.OnError = nullptr;
    ScriptedUi ui;
    platform::Ui* previous = platform::SetUi(&ui);
    app::LanguageIndex = 6;
    EXPECT_FALSE(bf.Restore(archiveBytes(cases[7].bytes), out));
    platform::SetUi(previous);
    EXPECT_EQ(ui.texts, std::vector<std::string>{"Neispravna vrsta arhive"});
    // Every code has a text of its own in every language; 0 and unknown codes have none.
    for (int language = 1; language <= app::kLanguageCount; ++language) {
        app::LanguageIndex = language;
        std::set<std::string> texts;
        for (int code = kBackupErrReadFile; code <= kBackupErrUnsafeName; ++code)
            EXPECT_TRUE(texts.insert(BackupErrorText(code)).second && !BackupErrorText(code).empty())
                << language << " " << code;
        EXPECT_EQ(BackupErrorText(0) + BackupErrorText(kBackupErrUnsafeName + 1), "");
    }
    app::LanguageIndex = 1;
}

TEST_F(BackupFileTest, UnreadableSourceIsReportedAndLeavesNoHalfEntry) {
    put("a.dbf", "alpha");
    const std::string locked = put("b.dbf", "beta");
    put("c.dbf", "gamma");
    platform::File holder;
    ASSERT_EQ(holder.open(locked, platform::kModeExclusive), 0);
    EXPECT_FALSE(bf.Backup({src + "/*.dbf"}, arch));
    EXPECT_EQ(errors, std::vector<int>{kBackupErrReadFile});
    holder.close();
    const Parsed p = Parse(ReadFileBytes(arch));
    ASSERT_EQ(p.entries.size(), 2u);
    EXPECT_TRUE(bf.Restore(arch, out));
    EXPECT_EQ(ReadFileBytes(out + "/a.dbf"), "alpha");
    EXPECT_EQ(ReadFileBytes(out + "/c.dbf"), "gamma");
    EXPECT_FALSE(fs::exists(out + "/b.dbf"));
}

TEST_F(BackupFileTest, InjectedFileFaultsAreReportedAndNeverLookWhole) {
    const std::string data = TextBytes(40000);
    put("a.dbf", data);
    struct Case {
        const char* what;
        platform::FaultOp op;
        int nth;
        bool duringBackup;
        int code;
    };
    const Case cases[] = {
        {"source read fails mid-file", platform::FaultOp::Read, 2, true, kBackupErrReadFile},
        {"archive write fails", platform::FaultOp::Write, 3, true, kBackupErrWriteArchive},
        {"target write fails", platform::FaultOp::Write, 2, false, kBackupErrOverwrite},
        {"archive read fails", platform::FaultOp::Read, 5, false, kBackupErrReadArchive},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        errors.clear();
        if (!c.duringBackup) {
            ASSERT_TRUE(bf.Backup({src + "/a.dbf"}, arch));
        }
        platform::InjectFault(c.op, c.nth, platform::kErrDiskFull);
        const bool ok = c.duringBackup ? bf.Backup({src + "/a.dbf"}, arch) : bf.Restore(arch, out);
        platform::ClearFaults();
        EXPECT_FALSE(ok);
        EXPECT_EQ(errors, std::vector<int>{c.code});
        if (c.duringBackup) {
            errors.clear();
            EXPECT_FALSE(bf.Restore(arch, out));  // the broken archive is never taken as whole
            EXPECT_EQ(errors, std::vector<int>{kBackupErrReadArchive});
        }
    }
}

TEST_F(BackupFileTest, NameWithoutWindows1252FormIsReportedNotMangled) {
    put("a.dbf", "alpha");
    put("\xE4\xB8\xAD.dbf", "han");
    EXPECT_FALSE(bf.Backup({src + "/*.dbf"}, arch));
    EXPECT_EQ(errors, std::vector<int>{kBackupErrReadFile});
    const Parsed p = Parse(ReadFileBytes(arch));
    ASSERT_EQ(p.entries.size(), 1u);
    EXPECT_EQ(p.entries[0].name, Lower(src) + "/a.dbf");
}

TEST_F(BackupFileTest, TargetThatCannotBeCreatedIsReported) {
    put("a.dbf", "alpha");
    put("b.dbf", "beta");
    ASSERT_TRUE(bf.Backup({src + "/*.dbf"}, arch));
    fs::create_directories(out + "/a.dbf");  // a directory stands where the file should go
    EXPECT_FALSE(bf.Restore(arch, out));
    EXPECT_EQ(errors, std::vector<int>{kBackupErrOverwrite});
    EXPECT_EQ(ReadFileBytes(out + "/b.dbf"), "beta");
}

TEST_F(BackupFileTest, FileSpecsMatchAnyCaseRecurseWithoutLinksAndSkipTheArchive) {
    put("A.DBF", "1");
    put("b.dbf", "2");
    put("c.txt", "3");
    put("Sub/D.Dbf", "4");
    put("Sub/Deeper/e.dbf", "5");
    fs::create_directories(tmp.file("elsewhere"));
    WriteFileBytes(tmp.file("elsewhere/f.dbf"), "6");
    fs::create_directory_symlink(tmp.file("elsewhere"), src + "/link");
    const std::string inside = src + "/self.dbf";  // the archive itself matches the mask

    ASSERT_TRUE(bf.Backup({src + "/*.DBF /s", "  " + src + "/A.dbf  "}, inside));
    std::vector<std::string> names;
    for (const auto& e : Parse(ReadFileBytes(inside)).entries) names.push_back(e.name);
    const std::string d = Lower(src);
    EXPECT_EQ(names, (std::vector<std::string>{d + "/a.dbf", d + "/b.dbf", d + "/sub/d.dbf",
                                               d + "/sub/deeper/e.dbf"}));

    // A directory named like the switch is not the switch.
    put("s/g.dbf", "7");
    ASSERT_TRUE(bf.Backup({src + "/s/*.dbf"}, arch));
    EXPECT_EQ(Parse(ReadFileBytes(arch)).entries.size(), 1u);
}

TEST_F(BackupFileTest, FileIdListComesFirstAndIsNotRestored) {
    const std::string tmpdir = tmp.file("t");
    fs::create_directories(tmpdir);
    const char* old = std::getenv("TMPDIR");
    const std::string saved = old ? old : "";
    setenv("TMPDIR", tmpdir.c_str(), 1);
    const int64_t t = LocalTime(2024, 1, 2, 3, 4, 6);
    put("a.dbf", "alpha", t);
    bf.SaveFileID = true;
    const bool ok = bf.Backup({src + "/*.dbf"}, arch);
    if (old)
        setenv("TMPDIR", saved.c_str(), 1);
    else
        unsetenv("TMPDIR");
    ASSERT_TRUE(ok);
    EXPECT_TRUE(fs::is_empty(tmpdir));  // the temporary list is gone

    const Parsed p = Parse(ReadFileBytes(arch));
    const std::string line =
        Lower(src) + "/a.dbf\t" + std::to_string(static_cast<int32_t>(TimeToDosDateTime(t))) + "=5\r\n";
    ASSERT_EQ(p.entries.size(), 2u);
    EXPECT_EQ(p.entries[0].name, "FILE:LIST");
    EXPECT_EQ(p.entries[0].chunks.at(0).source, line);
    EXPECT_EQ(p.count, 1u);
    EXPECT_EQ(p.total, 5 + line.size());
    ASSERT_TRUE(bf.Restore(arch, out));
    EXPECT_EQ(bf.RestoredCount(), 1);
}

TEST_F(BackupFileTest, StreamArchiveRoundTrips) {
    put("a.dbf", TextBytes(30000));
    MemoryStream stream;
    bf.Stream = &stream;
    ASSERT_TRUE(bf.Backup({src + "/*.dbf"}, ":STREAM"));
    EXPECT_EQ(Parse(stream.data()).end, stream.data().size());
    stream.rewind();
    ASSERT_TRUE(bf.Restore(":STREAM", out));
    EXPECT_EQ(ReadFileBytes(out + "/a.dbf"), TextBytes(30000));
    bf.Stream = nullptr;
    EXPECT_FALSE(bf.Restore(":STREAM", out));
}

TEST_F(BackupFileTest, EventsSeeClampedProgressAndCanRenameSkipOrCancel) {
    const std::string data = TextBytes(40000);
    Builder b;  // a header whose total is far too small
    b.header("", 1, 2).entry("a.dbf", 0).part(data.substr(0, 16384)).entry("b.dbf", 0).part("bee").u32(0);
    std::vector<int> percents;
    bf.OnProgress = [&](TBackupFile&, const std::string&, TPercentage pct, bool&) {
        percents.push_back(pct);
    };
    std::vector<std::string> restored;
    bf.OnRestoreFile = [&](TBackupFile&, std::string& name, uint32_t, bool& doRestore) {
        if (name == out + "/a.dbf") name = out + "/renamed.dbf";
        if (name == out + "/b.dbf") doRestore = false;
    };
    bf.OnFileRestored = [&](TBackupFile&, std::string& name, platform::File& f) {
        uint64_t size = 0;
        f.size(size);
        restored.push_back(name + "=" + std::to_string(size));
    };
    ASSERT_TRUE(bf.Restore(archiveBytes(b.bytes()), out));
    EXPECT_EQ(restored, std::vector<std::string>{out + "/renamed.dbf=16384"});
    EXPECT_FALSE(fs::exists(out + "/b.dbf"));
    ASSERT_FALSE(percents.empty());
    for (int p : percents) EXPECT_TRUE(p >= 0 && p <= 100) << p;
    EXPECT_EQ(percents.back(), 100);

    // A cancel during a backup leaves an archive that no restore takes as whole.
    put("big.dbf", data);
    bf.OnProgress = [](TBackupFile&, const std::string& name, TPercentage, bool& cont) {
        if (!name.empty()) cont = false;
    };
    EXPECT_FALSE(bf.Backup({src + "/*.dbf"}, arch));
    bf.OnProgress = nullptr;
    EXPECT_FALSE(bf.Restore(arch, out + "2"));
    EXPECT_FALSE(bf.Verify(arch));
}

TEST_F(BackupFileTest, VerifyInflatesEverythingAndWritesNothing) {
    put("a.dbf", TextBytes(40000));
    ASSERT_TRUE(bf.Backup({src + "/*.dbf"}, arch));
    EXPECT_TRUE(bf.Verify(arch));
    EXPECT_FALSE(fs::exists(out));
    std::string bytes = ReadFileBytes(arch);
    const Parsed p = Parse(bytes);
    // Header, then the entry's name length, name, date and magic, then the first chunk's length.
    const size_t firstChunk = 12 + 4 + p.entries[0].name.size() + 4 + 4 + 4;
    const size_t flip = firstChunk + static_cast<size_t>(p.entries[0].chunks[0].length) / 2;
    bytes[flip] = static_cast<char>(bytes[flip] ^ 0x55);
    archiveBytes(bytes);
    errors.clear();
    EXPECT_FALSE(bf.Verify(arch));
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_FALSE(fs::exists(out));
    bf.RestoreMode = rmExisting;  // a restore that skips the file does not inflate it; verify did
    EXPECT_TRUE(bf.Restore(arch, out));
}

TEST_F(BackupFileTest, MissingArchiveFailsWithoutAMessage) {
    ScriptedUi ui;
    platform::Ui* previous = platform::SetUi(&ui);
    bf.OnError = nullptr;
    EXPECT_FALSE(bf.Restore(tmp.file("none.pmz"), out));
    platform::SetUi(previous);
    EXPECT_TRUE(ui.texts.empty());
    EXPECT_FALSE(fs::exists(out));
}

TEST(BackupFileProperties, VersionIsFixedAndIncrementalSetsTheArchiveFlag) {
    TBackupFile bf;
    bf.setVersion("9.99");
    EXPECT_EQ(bf.Version(), "5.00");
    EXPECT_FALSE(bf.SetArchiveFlag);
    bf.setBackupMode(bmIncremental);
    EXPECT_TRUE(bf.SetArchiveFlag);
    EXPECT_EQ(VolumeName("/d/backup.pmz", 7), "/d/backup.007");
    EXPECT_EQ(VolumeName("/d.x/backup", 12), "/d.x/backup.012");
}

}  // namespace
}  // namespace app
