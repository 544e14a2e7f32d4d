#include "tests/support/fake_view.h"
#include "tools/csv_export.h"
#include "tools/table_menu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kalvenor {
namespace {

namespace fs = std::filesystem;
using test::FakeView;
using Box = test::FakeDialogs::Box;

const std::string twoRowsCsv = "Adresse hex.;Adresse dez.;Wert hex.;Wert dez.\r\n"
                               "0x0064;100;$00FF;255\r\n"
                               "0x0065;101;$1234;4660\r\n";

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void writeFile(const fs::path& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

std::vector<Box> oneBox(const char* title, const char* text) { return {Box {title, text}}; }

std::vector<std::string> filesIn(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A fresh directory per test, removed afterwards; the register tables hold two rows (RTU) and
// one row (TCP).
class CsvExport : public ::testing::Test
{
protected:
    fs::path dir;
    FakeView view;

    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "kalvenor-csv-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        view.tables[WidgetId::RtuRegisterList]
            = {{"0x0064", "100", "$00FF", "255"}, {"0x0065", "101", "$1234", "4660"}};
        view.tables[WidgetId::TcpRegisterList] = {{"0x0000", "0", "$FFFF", "65535"}};
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    void exportTo(const fs::path& path, WidgetId list = WidgetId::RtuRegisterList)
    {
        view.fakeDialogs.saveAnswers = {path.string()};
        exportTableCsv(view, list);
    }
    // A large table, for the cases where the disk has to run out first.
    void fillRtuTable(int rows)
    {
        std::vector<RegisterRow>& table = view.tables[WidgetId::RtuRegisterList];
        table.clear();
        for (int i = 0; i < rows; ++i)
            table.push_back({"0x0001", std::to_string(i), "$0001", "1"});
    }
};

TEST_F(CsvExport, WritesHeaderAndRowsWithCrLfAndLogsThePath)
{
    const fs::path path = dir / "register.csv";
    exportTo(path);

    EXPECT_EQ(readFile(path), twoRowsCsv);
    EXPECT_EQ(view.log, std::vector<std::string> {"CSV gespeichert: " + path.string()});
    EXPECT_TRUE(view.fakeDialogs.boxes.empty());
    ASSERT_EQ(view.fakeDialogs.saveRequests.size(), 1u);
    const auto& request = view.fakeDialogs.saveRequests.front();
    EXPECT_EQ(request.title, "CSV speichern");
    EXPECT_EQ(request.defaultName, "register.csv");
    EXPECT_EQ(request.filter, "CSV (*.csv)|*.csv");
    EXPECT_EQ(filesIn(dir), std::vector<std::string> {"register.csv"});
}

TEST_F(CsvExport, ExportsTheTableItIsGiven)
{
    const fs::path path = dir / "tcp.csv";
    exportTo(path, WidgetId::TcpRegisterList);
    EXPECT_EQ(readFile(path),
        "Adresse hex.;Adresse dez.;Wert hex.;Wert dez.\r\n0x0000;0;$FFFF;65535\r\n");
}

TEST_F(CsvExport, UsesThePathAsChosenAndReplacesAnExistingFile)
{
    // No extension is added.
    exportTo(dir / "werte");
    EXPECT_EQ(readFile(dir / "werte"), twoRowsCsv);

    // A longer earlier file leaves no tail behind.
    writeFile(dir / "old.csv", std::string(1000, 'x'));
    exportTo(dir / "old.csv");
    EXPECT_EQ(readFile(dir / "old.csv"), twoRowsCsv);
    EXPECT_EQ(filesIn(dir), (std::vector<std::string> {"old.csv", "werte"}));
    EXPECT_TRUE(view.fakeDialogs.boxes.empty());
}

TEST_F(CsvExport, NewFileGetsThePlainCreateModeAndAReplacedFileKeepsItsMode)
{
    const mode_t previous = ::umask(022);
    exportTo(dir / "new.csv");
    writeFile(dir / "private.csv", "old");
    fs::permissions(dir / "private.csv", fs::perms::owner_read | fs::perms::owner_write);
    exportTo(dir / "private.csv");
    ::umask(previous);

    struct stat info
    {
    };
    ASSERT_EQ(::stat((dir / "new.csv").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    ASSERT_EQ(::stat((dir / "private.csv").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(readFile(dir / "private.csv"), twoRowsCsv);
}

TEST_F(CsvExport, ASymbolicLinkIsWrittenThrough)
{
    fs::create_directory(dir / "real");
    writeFile(dir / "real" / "target.csv", "old");
    fs::create_symlink(dir / "real" / "target.csv", dir / "link.csv");

    exportTo(dir / "link.csv");

    EXPECT_TRUE(fs::is_symlink(dir / "link.csv"));
    EXPECT_EQ(readFile(dir / "real" / "target.csv"), twoRowsCsv);
    EXPECT_EQ(filesIn(dir / "real"), std::vector<std::string> {"target.csv"});
}

TEST_F(CsvExport, EmptyTableShowsABoxAndNoDialog)
{
    view.tables[WidgetId::RtuRegisterList].clear();
    exportTo(dir / "empty.csv");
    EXPECT_EQ(view.fakeDialogs.boxes, oneBox("CSV", "Keine Daten in der Tabelle."));
    EXPECT_TRUE(view.fakeDialogs.saveRequests.empty());
    EXPECT_TRUE(filesIn(dir).empty());
    EXPECT_TRUE(view.log.empty());
}

TEST_F(CsvExport, CancelledDialogDoesNothing)
{
    exportTableCsv(view, WidgetId::RtuRegisterList); // no answer queued: cancelled
    EXPECT_EQ(view.fakeDialogs.saveRequests.size(), 1u);
    EXPECT_TRUE(filesIn(dir).empty());
    EXPECT_TRUE(view.log.empty());
    EXPECT_TRUE(view.fakeDialogs.boxes.empty());
}

TEST_F(CsvExport, AFileThatCannotBeCreatedIsReported)
{
    // The tests run as root, so permission bits stop nothing; these places refuse root too.
    const fs::path places[] = {
        dir / "missing" / "register.csv", // no such directory
        dir, // a directory, not a file
        "/proc/kalvenor-register.csv", // a file system that takes no new files
    };
    for (const fs::path& place : places) {
        FakeView fresh;
        fresh.tables = view.tables;
        fresh.fakeDialogs.saveAnswers = {place.string()};
        exportTableCsv(fresh, WidgetId::RtuRegisterList);
        EXPECT_EQ(fresh.fakeDialogs.boxes, oneBox("Fehler", "Datei konnte nicht erstellt werden."))
            << place;
        EXPECT_TRUE(fresh.log.empty()) << place;
    }
    EXPECT_TRUE(filesIn(dir).empty());
}

// Runs in a child process as an unprivileged user who owns the directory but whose file is
// write-protected; ends with 0 when the save was refused as a plain create would refuse it.
void exportOverWriteProtectedFileAsUser(FakeView& view, const fs::path& dir, const fs::path& path)
{
    constexpr uid_t nobody = 65534;
    if (::chown(dir.c_str(), nobody, nobody) != 0 || ::chown(path.c_str(), nobody, nobody) != 0
        || ::setgid(nobody) != 0 || ::setuid(nobody) != 0)
        std::_Exit(2);
    view.fakeDialogs.saveAnswers = {path.string()};
    exportTableCsv(view, WidgetId::RtuRegisterList);
    if (view.fakeDialogs.boxes != oneBox("Fehler", "Datei konnte nicht erstellt werden.")
        || !view.log.empty())
        std::_Exit(1);
    std::_Exit(0);
}

TEST_F(CsvExport, AWriteProtectedFileIsNotReplaced)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to switch to an unprivileged user";
    const fs::path path = dir / "register.csv";
    writeFile(path, "protected");
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EXIT(
        exportOverWriteProtectedFileAsUser(view, dir, path), ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(readFile(path), "protected");
    EXPECT_EQ(filesIn(dir), std::vector<std::string> {"register.csv"});
}

// Runs in a child process: saves with the file size capped at 4 kB, so the kernel refuses the
// write beyond it with EFBIG (SIGXFSZ ignored), and ends with 0 when the box and the log are
// as they must be after a failed write.
void exportUnderFileSizeLimit(FakeView& view, const fs::path& path)
{
    rlimit limit {4096, 4096};
    std::signal(SIGXFSZ, SIG_IGN);
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
        std::_Exit(2);
    view.fakeDialogs.saveAnswers = {path.string()};
    exportTableCsv(view, WidgetId::RtuRegisterList);
    bool boxOk
        = view.fakeDialogs.boxes == oneBox("Fehler", "Datei konnte nicht geschrieben werden.");
    if (!boxOk || !view.log.empty()) {
        std::fprintf(
            stderr, "boxes: %zu, log lines: %zu\n", view.fakeDialogs.boxes.size(), view.log.size());
        std::_Exit(1);
    }
    std::_Exit(0);
}

TEST_F(CsvExport, AFailedWriteKeepsTheEarlierFileAndIsReported)
{
    const fs::path path = dir / "register.csv";
    const std::string earlier = "earlier content\r\n";
    writeFile(path, earlier);
    fillRtuTable(2000); // about 40 kB, far beyond the limit below

    // The child is forked, so it saves into this test's directory and the checks below see
    // what it left there.
    EXPECT_EXIT(exportUnderFileSizeLimit(view, path), ::testing::ExitedWithCode(0), "");

    EXPECT_EQ(readFile(path), earlier);
    EXPECT_EQ(filesIn(dir), std::vector<std::string> {"register.csv"});
}

// A small tmpfs mounted for the test; skipped where the test may not mount.
class CsvExportOnTmpfs : public CsvExport
{
protected:
    fs::path mountPoint;
    bool mounted = false;

    void mountTmpfs(const char* options, unsigned long flags = 0)
    {
        mountPoint = dir / "mnt";
        fs::create_directory(mountPoint);
        if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", flags, options) != 0)
            GTEST_SKIP() << "cannot mount a tmpfs here";
        mounted = true;
    }
    void TearDown() override
    {
        if (mounted)
            ::umount2(mountPoint.c_str(), MNT_DETACH);
        CsvExport::TearDown();
    }
};

TEST_F(CsvExportOnTmpfs, AFullDiskKeepsTheEarlierFileAndIsReported)
{
    mountTmpfs("size=16k");
    if (!mounted)
        return;
    const fs::path path = mountPoint / "register.csv";
    const std::string earlier = "earlier content\r\n";
    writeFile(path, earlier);
    fillRtuTable(4000); // about 80 kB into 16 kB

    view.fakeDialogs.saveAnswers = {path.string()};
    exportTableCsv(view, WidgetId::RtuRegisterList);

    EXPECT_EQ(view.fakeDialogs.boxes, oneBox("Fehler", "Datei konnte nicht geschrieben werden."));
    EXPECT_TRUE(view.log.empty());
    EXPECT_EQ(readFile(path), earlier);
    EXPECT_EQ(filesIn(mountPoint), std::vector<std::string> {"register.csv"});

    // With the space back, the same save succeeds.
    fillRtuTable(2);
    exportTo(path);
    EXPECT_EQ(view.log.size(), 1u);
    EXPECT_EQ(readFile(path).substr(0, 12), "Adresse hex.");
}

TEST_F(CsvExportOnTmpfs, AReadOnlyDirectoryCannotTakeTheFile)
{
    mountTmpfs("size=16k", MS_RDONLY);
    if (!mounted)
        return;
    exportTo(mountPoint / "register.csv");
    EXPECT_EQ(view.fakeDialogs.boxes, oneBox("Fehler", "Datei konnte nicht erstellt werden."));
    EXPECT_TRUE(view.log.empty());
}

TEST(CsvText, EmptyTableIsTheHeaderAlone)
{
    EXPECT_EQ(registerTableCsv({}), "Adresse hex.;Adresse dez.;Wert hex.;Wert dez.\r\n");
}

} // namespace
} // namespace kalvenor
