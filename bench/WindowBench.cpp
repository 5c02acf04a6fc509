// Measures the window where a user waits for it: the start of the program up
// to its first shown window, a click on a file up to the filled bands (also
// with a 4 MB picture in its tag, and how long until the picture shows), and
// the listing of folders of 20,000 and 100,000 files (how long the event loop
// is blocked at most while it lists and masks, with the columns read from
// inside the files and without, and the memory afterwards).
//
// usage: quillon-window-bench FOLDER     prints a Markdown report; FOLDER is
//                                        where it makes its files
//        quillon-window-bench --listing FOLDER   the listings alone
//        quillon-window-bench --first-window NANOSECONDS FOLDER   (used by the above)
// Its settings file lives in FOLDER, so no run starts from what an earlier one left.
// Runs on any Qt platform; the report is made with QT_QPA_PLATFORM=offscreen.
#include "app/AppDef.h"
#include "app/ErrorGuard.h"
#include "app/Main.h"
#include "tests/support/MainWindowDriver.h"
#include "ui/InspectorGrid.h"
#include "ui/PictureView.h"
#include "ui/ShellListView.h"
#include "ui/ShellTreeView.h"

#include <QAbstractItemView>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLocale>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace quillon;

extern char** environ;

namespace {

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// CPU time of the calling thread: unlike the wall clock, it does not count the time other
// programs of a busy machine held the processor.
std::int64_t threadCpuNanoseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

std::int64_t wallNanoseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return std::int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "quillon-window-bench: %s\n", what.c_str());
    std::exit(1);
}

// A value of /proc/self/status in MiB ("VmRSS", "VmHWM").
double memoryMiB(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(key) + ":";
    while (std::getline(status, line)) {
        if (line.rfind(prefix, 0) == 0)
            return std::atof(line.c_str() + prefix.size()) / 1024.0;
    }
    return 0;
}

// The program's start as `quillon` does it, until its window is shown; prints
// the time since `startedAt` (wall clock, taken by the parent before it
// started this process).
int firstWindow(int argc, char** argv, std::int64_t startedAt, const QString& folder) {
    QuillonApplication app(argc, argv);
    QGuiApplication::setApplicationDisplayName(QString());
    QApplication::setApplicationName("Quillon");
    AppDef::initPaths(folder + "/quillon");
    auto* fmMain = new TfmMain;
    fmMain->show();
    if (!QTest::qWaitForWindowExposed(fmMain))
        return 1;
    std::printf("%lld\n", static_cast<long long>(wallNanoseconds() - startedAt));
    std::fflush(stdout);
    // Closing would save the settings; only the start is measured.
    std::_Exit(0);
}

double millisecondsToFirstWindow(const std::string& self, const std::string& folder) {
    int out[2];
    if (::pipe(out) != 0)
        fail("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    // The offscreen platform's notes would drown the report.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const std::string started = std::to_string(wallNanoseconds());
    std::vector<std::string> args = {self, "--first-window", started, folder};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawn(&pid, self.c_str(), &actions, nullptr, argv.data(), environ) != 0)
        fail("cannot start " + self);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string text;
    char buffer[64];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || text.empty())
        fail("the window did not show");
    return std::atof(text.c_str()) / 1e6;
}

void put(std::vector<char>& bytes, const std::string& text) {
    bytes.insert(bytes.end(), text.begin(), text.end());
}

// An ID3v2.3 frame with a Latin-1 text.
void textFrame(std::vector<char>& tag, const char* id, const std::string& text) {
    put(tag, id);
    const auto size = static_cast<std::uint32_t>(text.size() + 1);
    for (int shift : {24, 16, 8, 0})
        tag.push_back(static_cast<char>(size >> shift));
    tag.insert(tag.end(), {0, 0, 0});
    put(tag, text);
}

// A photo as a camera leaves it: 4000 x 3000 pixels, JPEG, about 4 MB (under the
// tag size the window reads off the GUI thread, so that the click reads it itself).
std::string cameraPicture() {
    QImage image(4000, 3000, QImage::Format_RGB32);
    QRandomGenerator noise(7);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const quint32 n = noise.generate();
            line[x] =
                qRgb(x * 255 / image.width() + int(n % 24),
                     y * 255 / image.height() + int((n >> 8) % 24), 128 + int((n >> 16) % 24));
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "JPEG", 90))
        fail("cannot make the picture");
    return bytes.toStdString();
}

// A tagged file like those users keep: an ID3v2.3 tag with the usual frames
// and a picture (200 KB of bytes that are no image, unless one is given), 4 MB of
// MPEG 1 Layer III frames at 128 kbps, and an ID3v1 tag.
void makeSong(const QString& path, const std::string& title, const std::string& picture = {}) {
    std::vector<char> body;
    textFrame(body, "TIT2", title);
    textFrame(body, "TPE1", "The Artist");
    textFrame(body, "TALB", "The Album");
    textFrame(body, "TRCK", "7");
    textFrame(body, "TYER", "2026");
    textFrame(body, "TCON", "(17)");
    textFrame(body, "COMM", std::string("eng\0A comment", 13));
    textFrame(body, "TCOM", "The Composer");
    textFrame(body, "TENC", "The Encoder");
    textFrame(body, "TCOP", "(c) Someone");
    textFrame(body, "TLAN", "eng");
    textFrame(body, "APIC",
              picture.empty() ? std::string("image/png\0\x03\0", 12) + std::string(200000, 'p')
                              : std::string("image/jpeg\0\x03\0", 13) + picture);
    std::vector<char> file = {'I', 'D', '3', 3, 0, 0};
    const auto size = static_cast<std::uint32_t>(body.size());
    for (int shift : {21, 14, 7, 0})
        file.push_back(static_cast<char>((size >> shift) & 0x7F));
    file.insert(file.end(), body.begin(), body.end());
    for (int frame = 0; frame < 10000; ++frame) {
        // 417 bytes, one padded frame in three, as an encoder makes them.
        const bool padded = frame % 3 == 2;
        const std::size_t at = file.size();
        file.resize(at + 417 + (padded ? 1 : 0), static_cast<char>(frame));
        file[at] = char(0xFF);
        file[at + 1] = char(0xFB);
        file[at + 2] = char(padded ? 0x92 : 0x90);
        file[at + 3] = char(0x64);
    }
    std::vector<char> v1(128, 0);
    std::copy_n("TAG", 3, v1.begin());
    std::copy(title.begin(), title.end(), v1.begin() + 3);
    v1[127] = 17;
    file.insert(file.end(), v1.begin(), v1.end());
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) ||
        out.write(file.data(), qint64(file.size())) != qint64(file.size()))
        fail("cannot write " + path.toStdString());
}

QModelIndex itemNamed(QAbstractItemView* view, const QString& name) {
    const QModelIndex root = view->rootIndex();
    for (int row = 0; row < view->model()->rowCount(root); ++row) {
        const QModelIndex index = view->model()->index(row, 0, root);
        if (index.data().toString() == name)
            return index;
    }
    fail("no item " + name.toStdString());
}

void openFolder(TfmMain& window, const QString& folder) {
    const MainWindowDriver ui(window);
    ui.find<ShellTreeView>("ShellTree")->openFolder(folder);
    const ShellListView* list = ui.find<ShellListView>("ShellList");
    if (!QTest::qWaitFor([&] { return list->folderPath() == folder && list->isFilled(); }, 120000))
        fail("the list did not fill");
}

struct ClickFigures {
    double medianMs = 0;
    double worstMs = 0;
    int clicks = 0;
    double pictureMs = 0; // median time from the click until the thumbnail shows the picture
};

// Clicks two files in turn, each click loading the other; the time of a click
// runs until the bands show the file and the window has repainted. With a
// picture, each click then waits until the thumbnail shows it, as a user would
// look at it before the next click.
ClickFigures clickToFilledBands(TfmMain& window, const QString& folder,
                                const std::string& picture = {}, int clicks = 200) {
    const QString a = folder + "/Artist - First.mp3";
    const QString b = folder + "/Artist - Second.mp3";
    QDir().mkpath(folder);
    makeSong(a, "First", picture);
    makeSong(b, "Second", picture);
    openFolder(window, folder);
    const MainWindowDriver ui(window);
    QAbstractItemView* view = ui.find<ShellListView>("ShellList")->itemView();
    const InspectorRow* title = ui.row("iID3v2_Title");
    const PictureThumbnail* thumbnail = ui.find<PictureThumbnail>("imID3v2Picture");
    std::vector<double> times, pictureTimes;
    for (int i = 0; i < clicks; ++i) {
        const bool first = i % 2 == 0;
        const QModelIndex index =
            itemNamed(view, first ? "Artist - First.mp3" : "Artist - Second.mp3");
        const QPoint where = view->visualRect(index).center();
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, where);
        QCoreApplication::processEvents();
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        if (title->text() != (first ? "First" : "Second"))
            fail("the bands do not show the clicked file");
        if (i >= 2) // the first two fill caches
            times.push_back(ms);
        if (!picture.empty()) {
            if (!QTest::qWaitFor(
                    [&] { return thumbnail->state() == PictureThumbnail::State::Shown; }, 60000))
                fail("the picture did not show");
            pictureTimes.push_back(double(clock.nsecsElapsed()) / 1e6);
        }
    }
    return {median(times), *std::max_element(times.begin(), times.end()), int(times.size()),
            pictureTimes.empty() ? 0 : median(pictureTimes)};
}

struct ListingFigures {
    double elapsedMs = 0;
    double longestBlockMs = 0;
    double longestBlockCpuMs = 0; // the GUI thread's own CPU time in that longest gap
    double rssMiB = 0;
    double peakMiB = 0;
    int items = 0;
};

// Lists a folder of `audio` audio files and `others` other files (masked out), with
// a timer ticking every millisecond: the longest gap between two ticks, less the
// interval, is the longest time the event loop was blocked. `columns` are shown
// from inside the files.
ListingFigures listLargeFolder(TfmMain& window, const QString& folder, int audio, int others,
                               FileColumnSet columns = 0) {
    QDir().mkpath(folder);
    for (int i = 0; i < audio + others; ++i) {
        const QString name =
            i < audio
                ? QStringLiteral("%1/track %2.mp3").arg(folder).arg(i, 6, 10, QLatin1Char('0'))
                : QStringLiteral("%1/notes %2.txt").arg(folder).arg(i);
        QFile file(name);
        if (!file.exists() && !file.open(QIODevice::WriteOnly))
            fail("cannot create " + name.toStdString());
    }
    // From another folder, so that the listing is a new one.
    openFolder(window, QFileInfo(folder).path());
    MainWindowDriver(window).find<ShellListView>("ShellList")->setFileColumns(columns);
    QTest::qWait(200);
    QElapsedTimer sinceTick, clock;
    qint64 longest = 0;
    QTimer ticker;
    constexpr int TickMs = 1;
    ticker.setInterval(TickMs);
    ticker.setTimerType(Qt::PreciseTimer);
    std::int64_t cpuAtTick = threadCpuNanoseconds();
    std::int64_t longestCpu = 0;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const std::int64_t cpu = threadCpuNanoseconds();
        longest = std::max(longest, sinceTick.nsecsElapsed());
        longestCpu = std::max(longestCpu, cpu - cpuAtTick);
        cpuAtTick = cpu;
        sinceTick.restart();
    });
    clock.start();
    sinceTick.start();
    cpuAtTick = threadCpuNanoseconds();
    ticker.start();
    openFolder(window, folder);
    const double elapsed = double(clock.nsecsElapsed()) / 1e6;
    // Work that follows the fill (sorting, icons, repaint) counts too.
    QTest::qWait(1000);
    longest = std::max(longest, sinceTick.nsecsElapsed());
    ticker.stop();
    ListingFigures figures;
    figures.elapsedMs = elapsed;
    figures.longestBlockMs = std::max(0.0, double(longest) / 1e6 - TickMs);
    figures.longestBlockCpuMs = double(longestCpu) / 1e6;
    figures.rssMiB = memoryMiB("VmRSS");
    figures.peakMiB = memoryMiB("VmHWM");
    figures.items = MainWindowDriver(window).find<ShellListView>("ShellList")->itemCount();
    return figures;
}

void printListing(const char* what, const ListingFigures& figures, double targetMs) {
    std::printf("| Listing a folder of %s: time until the list is filled (%d items shown) | "
                "%.0f ms | at most %s ms | %s |\n",
                what, figures.items, figures.elapsedMs,
                QLocale(QLocale::English).toString(targetMs, 'f', 0).toUtf8().constData(),
                figures.elapsedMs <= targetMs ? "met" : "missed");
    std::printf("| ... the longest time the event loop was blocked, meanwhile and in the second "
                "after (the GUI thread's own CPU time in the longest stretch between two "
                "turns: %.1f ms) | %.1f ms | at most 16 ms | %s |\n",
                figures.longestBlockCpuMs, figures.longestBlockMs,
                figures.longestBlockMs <= 16 ? "met" : "missed");
}

int report(int argc, char** argv, const QString& folder, bool listingOnly) {
    const std::string self = argv[0];
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    std::vector<double> starts;
    for (int i = 0; i < (listingOnly ? 0 : 11); ++i)
        starts.push_back(millisecondsToFirstWindow(self, folder.toStdString()));

    QuillonApplication app(argc, argv);
    QApplication::setApplicationName("Quillon");
    AppDef::initPaths(folder + "/quillon");
    TfmMain window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        fail("the window did not show");
    const ClickFigures click =
        listingOnly ? ClickFigures{} : clickToFilledBands(window, folder + "/songs");
    const std::string picture = listingOnly ? std::string() : cameraPicture();
    const ClickFigures pictured =
        listingOnly ? ClickFigures{}
                    : clickToFilledBands(window, folder + "/pictured", picture, 42);
    const FileColumnSet allColumns = columnBit(FileColumnCount) - 1;
    const ListingFigures listing = listLargeFolder(window, folder + "/large", 20000, 2000);
    const ListingFigures huge = listLargeFolder(window, folder + "/huge", 100000, 0);
    const ListingFigures hugeWithColumns =
        listLargeFolder(window, folder + "/huge", 100000, 0, allColumns);

    std::printf(
        "Headless (`QT_QPA_PLATFORM=offscreen`), Release build, the real window `TfmMain`.\n\n");
    std::printf("| What | Figure | Target | |\n|---|---:|---|---|\n");
    if (!listingOnly) {
        std::printf("| Start of the process to the first shown window (median of %zu starts) | "
                    "%.1f ms | | |\n",
                    starts.size(), median(starts));
        std::printf("| Click on a file to the filled bands, repaint included (median of %d clicks; "
                    "slowest %.2f ms) | %.2f ms | under 5 ms | %s |\n",
                    click.clicks, click.worstMs, click.medianMs,
                    click.medianMs < 5 ? "met" : "missed");
        std::printf("| ... on a file with a %.1f MB picture (JPEG, 4000 × 3000), decoded off the "
                    "GUI thread (median of %d clicks; slowest %.2f ms) | %.2f ms | under 5 ms | "
                    "%s |\n",
                    double(picture.size()) / 1e6, pictured.clicks, pictured.worstMs,
                    pictured.medianMs, pictured.medianMs < 5 ? "met" : "missed");
        std::printf("| ... from that click until the picture shows in the ID3v2 band (median) | "
                    "%.0f ms | | |\n",
                    pictured.pictureMs);
    }
    printListing("20,000 audio files and 2,000 others", listing, 300);
    printListing("100,000 audio files", huge, 1500);
    std::printf(
        "| ... memory of the process after listing it (resident; peak %.0f MiB) | %.0f MiB | "
        "under 150 MB | %s |\n",
        huge.peakMiB, huge.rssMiB, huge.rssMiB * 1.048576 < 150 ? "met" : "missed");
    printListing("100,000 audio files, all eight columns from inside the files shown (each file "
                 "opened and read)",
                 hugeWithColumns, 3000);
    // Closing the window would save its settings into FOLDER, which the caller removes.
    std::fflush(stdout);
    std::_Exit(
        listing.items == 20000 && huge.items == 100000 && hugeWithColumns.items == 100000 ? 0 : 1);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--first-window")
        return firstWindow(argc, argv, std::atoll(argv[2]), QString::fromLocal8Bit(argv[3]));
    const bool listingOnly = argc == 3 && std::string(argv[1]) == "--listing";
    if (argc != 2 && !listingOnly) {
        std::fprintf(stderr, "usage: quillon-window-bench [--listing] FOLDER\n");
        return 2;
    }
    const QString folder =
        QDir(QString::fromLocal8Bit(argv[argc - 1])).absolutePath() + "/window-bench";
    return report(argc, argv, folder, listingOnly);
}
