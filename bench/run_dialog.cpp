// The dialog's own "Extract All" against the bare library loop on the same
// archive, alternated run by run, each run into a fresh folder.
//   pak_bench_dialog ARCHIVE RUNS
// Prints a table; its last line ends with "= <median of dialog/library>".
#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <vector>

#include "bench_common.h"
#include "pak_archive.h"
#include "qt_pak_unpacker_dlg.h"

namespace fs = std::filesystem;

namespace {

// The real dialog, with the file chooser answered and boxes counted.
class BenchDialog : public CQtPakUnpackerDlg {
public:
    explicit BenchDialog(const std::string& path) : m_path(path) {}
    int boxes = 0;

protected:
    SystemPath ChooseArchivePath() override { return m_path; }
    void ShowMessage(const std::string&, const std::string&) override { ++boxes; }
    void ShowOutOfMemory(const std::string&, const std::string&) override { ++boxes; }

private:
    std::string m_path;
};

// Runs `work` inside a fresh folder below `base` and returns its wall time.
double TimeInFreshFolder(const fs::path& base, const std::function<void()>& work)
{
    const fs::path folder = base / "run";
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::current_path(folder);
    const auto start = std::chrono::steady_clock::now();
    work();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    fs::current_path(base);
    fs::remove_all(folder);
    return seconds;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: pak_bench_dialog ARCHIVE RUNS\n");
        return 64;
    }
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const fs::path base = fs::current_path();
    const std::string archivePath = fs::absolute(argv[1]).string();
    const int runs = std::max(1, std::atoi(argv[2]));

    QApplication app(argc, argv);
    BenchDialog dialog(archivePath);
    dialog.show();
    QApplication::processEvents();
    dialog.OnOpenPak();   // opens, loads and reports next to the archive

    PakArchive library;
    library.m_path = archivePath;
    NoProgress progress;
    if (library.OpenArchive() == 0 || dialog.boxes != 0) {
        std::fprintf(stderr, "pak_bench_dialog: can't open %s\n", archivePath.c_str());
        return 2;
    }
    library.AllocateTable();
    library.LoadTable(progress);

    std::vector<double> dialogSeconds, librarySeconds, ratios;
    int failed = 0;
    for (int round = 0; round <= runs; ++round) {
        const auto runDialog = [&] { return TimeInFreshFolder(base, [&] { dialog.OnExtractAll(); }); };
        const auto runLibrary = [&] {
            return TimeInFreshFolder(base, [&] {
                for (std::uint32_t i = 0; i < library.m_numFiles; ++i)
                    failed += library.ExtractEntry(i) != 0;
            });
        };
        // A B B A ...: whichever runs first in a round starts right after the
        // other's clean-up, so the order flips every round.
        double d = 0, l = 0;
        if (round % 2 == 0) {
            d = runDialog();
            l = runLibrary();
        } else {
            l = runLibrary();
            d = runDialog();
        }
        if (round == 0)
            continue;   // warm-up
        dialogSeconds.push_back(d);
        librarySeconds.push_back(l);
        ratios.push_back(d / l);
    }
    std::printf("\n\"Extract All\" of the dialog (offscreen) against the bare library loop, %u entries\n\n"
                "| command | median wall (s) |\n|---|---:|\n"
                "| dialog: Extract All | %.3f |\n| library: ExtractEntry loop | %.3f |\n\n",
                static_cast<unsigned>(library.m_numFiles), Median(dialogSeconds), Median(librarySeconds));
    std::printf("dialog / library (median of pairs) = %.4f\n", Median(ratios));
    return failed == 0 && dialog.boxes == 0 ? 0 : 1;
}
