// Start-up of the main window with a full journal (32,767 places) against
// the same start-up with an empty one, in the same run: from starting the
// program until its window is shown (exposed, offscreen) with the list
// filled and painted, and the same within one process from building the
// window. The journal is read on another thread while the window is built
// and shown, so the full start-up should stay within 1.6 times the empty
// one. Rounds alternate between the two folders; medians are reported, and
// for comparison the full start-up that waits for the journal at once.

#include "benchdata.h"
#include "journal/journal.h"
#include "journal/journalfile.h"
#include "journal/row.h"
#include "platform/messagebox.h"
#include "platform/textfile.h"
#include "ui/form1.h"
#include "ui/journallist.h"
#include "ui/startup.h"
#include "widgets/look.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

using benchdata::cpuMs;
using benchdata::fullJournal;
using benchdata::median;

// A start folder with its settings file and a journal of `rows`.
struct StartFolder {
    QTemporaryDir dir;
    explicit StartFolder(const QStringList& rows)
    {
        textfile::writeAtomically(dir.filePath(QStringLiteral("velmora.ini")),
                                  ".\\\r\n.\\\r\narial\r\n 10 \r\n 16777215 \r\nFalse\r\nFalse\r\n");
        textfile::writeAtomically(dir.filePath(QString::fromLatin1(journal::kFileName)), journal::journalBytes(rows));
    }
};

constexpr const char* kChildArgument = "--start-up-round";

struct Round {
    double ms = 0;
    double cpu = 0;
    int rows = 0;
};

// Waits, from the event loop, until the window is exposed and its list
// filled, then paints it whole once.
class ShownAndFilled : public QObject {
public:
    explicit ShownAndFilled(Form1& form) : form_(form)
    {
        form.windowHandle()->installEventFilter(this);
        connect(form.journal(), &journal::Journal::openedInBackground, this, [this] { check(); });
        check();
        if (!done_)
            loop_.exec();
        form.repaint();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Expose)
            QMetaObject::invokeMethod(
                this, [this] { check(); }, Qt::QueuedConnection);
        return QObject::eventFilter(watched, event);
    }

private:
    void check()
    {
        if (done_ || !form_.windowHandle()->isExposed() || form_.journal()->isOpening())
            return;
        done_ = true;
        loop_.quit();
    }
    Form1& form_;
    QEventLoop loop_;
    bool done_ = false;
};

// One start-up in `folder` in this process, as main() runs it once the
// application stands, until the window is shown with its list filled.
// `waitAtOnce` takes the journal right after Form_Load instead of beside
// the showing.
Round startUp(const QTemporaryDir& folder, bool waitAtOnce)
{
    QDir::setCurrent(folder.path());
    QElapsedTimer clock;
    clock.start();
    const double cpuStart = cpuMs();
    auto* form = new Form1;
    form->Form_Load();
    if (waitAtOnce)
        form->journal()->finishOpening();
    form->show();
    ShownAndFilled{*form};
    Round r{double(clock.nsecsElapsed()) / 1e6, cpuMs() - cpuStart, form->List1->count()};
    delete form;
    QApplication::processEvents();
    return r;
}

// One whole start-up of a process in `folder`: from starting it until its
// window is shown with the list filled (the child says how many rows).
Round processStartUp(const QTemporaryDir& folder)
{
    QProcess child;
    child.setWorkingDirectory(folder.path());
    QElapsedTimer clock;
    clock.start();
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(kChildArgument)});
    if (!child.waitForFinished(30000) || child.exitCode() != 0)
        return {0, 0, -1};
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    return {ms, 0, child.readAllStandardOutput().trimmed().toInt()};
}

// In the child: main()'s start-up, then the row count, and out without
// tearing anything down.
int childStartUp(int argc, char** argv)
{
    startup::readJournalAhead();
    QApplication app(argc, argv);
    MessageBox::setNonInteractive(true);
    const std::unique_ptr<Form1> form = startup::showWindow(app);
    ShownAndFilled{*form};
    std::printf("%d\n", form->List1->count());
    std::fflush(stdout);
    std::_Exit(0);
}

// The full journal's start-up against the empty one's, round by round,
// to see the spread.
void roundRatios(benchmark::State& state, const std::vector<double>& emptyMs, const std::vector<double>& fullMs)
{
    std::vector<double> ratios;
    for (size_t i = 0; i < emptyMs.size(); ++i)
        ratios.push_back(fullMs[i] / emptyMs[i]);
    std::sort(ratios.begin(), ratios.end());
    state.counters["round_ratio_min"] = ratios.front();
    state.counters["round_ratio_median"] = ratios[ratios.size() / 2];
    state.counters["round_ratio_max"] = ratios.back();
}

void BM_ProcessStartUpFullToEmpty(benchmark::State& state)
{
    const StartFolder empty({});
    const StartFolder full(fullJournal());
    processStartUp(empty.dir);  // the system's caches warm
    processStartUp(full.dir);
    std::vector<double> emptyMs, fullMs;
    for (auto _ : state) {
        const Round e = processStartUp(empty.dir);
        const Round f = processStartUp(full.dir);
        if (e.rows != 0 || f.rows != kMaxRows) {
            state.SkipWithError("the list was not filled as the journal says");
            return;
        }
        emptyMs.push_back(e.ms);
        fullMs.push_back(f.ms);
    }
    const double e = median(emptyMs), f = median(fullMs);
    state.counters["empty_ms"] = e;
    state.counters["full_ms"] = f;
    state.counters["ratio_full_to_empty"] = e > 0 ? f / e : 0;
    roundRatios(state, emptyMs, fullMs);
}
BENCHMARK(BM_ProcessStartUpFullToEmpty)->Unit(benchmark::kMillisecond)->Iterations(15);

void BM_StartUpFullToEmpty(benchmark::State& state)
{
    const StartFolder empty({});
    const StartFolder full(fullJournal());
    // The first window of the process loads fonts and styles once.
    startUp(empty.dir, false);
    startUp(full.dir, false);
    std::vector<double> emptyMs, fullMs, atOnceMs, emptyCpu, fullCpu;
    for (auto _ : state) {
        const Round e = startUp(empty.dir, false);
        const Round f = startUp(full.dir, false);
        const Round a = startUp(full.dir, true);
        if (e.rows != 0 || f.rows != kMaxRows || a.rows != kMaxRows) {
            state.SkipWithError("the list was not filled as the journal says");
            return;
        }
        emptyMs.push_back(e.ms);
        fullMs.push_back(f.ms);
        atOnceMs.push_back(a.ms);
        emptyCpu.push_back(e.cpu);
        fullCpu.push_back(f.cpu);
    }
    const double e = median(emptyMs), f = median(fullMs), a = median(atOnceMs);
    state.counters["empty_ms"] = e;
    state.counters["full_ms"] = f;
    state.counters["waiting_at_once_ms"] = a;
    state.counters["ratio_full_to_empty"] = e > 0 ? f / e : 0;
    state.counters["ratio_waiting_at_once"] = e > 0 ? a / e : 0;
    state.counters["cpu_ratio_full_to_empty"] = median(emptyCpu) > 0 ? median(fullCpu) / median(emptyCpu) : 0;
    roundRatios(state, emptyMs, fullMs);
}
BENCHMARK(BM_StartUpFullToEmpty)->Unit(benchmark::kMillisecond)->Iterations(15);

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 2 && std::strcmp(argv[1], kChildArgument) == 0)
        return childStartUp(argc, argv);
    QApplication app(argc, argv);
    applyLook(app);
    MessageBox::setNonInteractive(true);
    return benchdata::runBenchmarks(argc, argv);
}
