// The editing commands on a full journal (32,767 places): Update, Up, Down
// and Remove each run while the user waits, so each must stay under 5 ms,
// window updates included. Loading the same journal from its file is the
// yardstick measured in the same run.

#include "benchdata.h"
#include "journal/journalfile.h"
#include "journal/row.h"
#include "platform/messagebox.h"
#include "platform/textfile.h"
#include "ui/form1.h"
#include "ui/journallist.h"

#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using benchdata::fullJournal;

// The main window shown with the full journal, the middle row selected.
Form1& window()
{
    static Form1* form = [] {
        auto* f = new Form1;
        f->List1->setRows(fullJournal());
        f->show();
        f->List1->selectRow(kMaxRows / 2);
        QApplication::processEvents();
        return f;
    }();
    return *form;
}

void settle()
{
    QApplication::processEvents();  // the repaint the user waits for
}

void BM_Update(benchmark::State& state)
{
    Form1& f = window();
    f.List1->selectRow(kMaxRows / 2);
    settle();
    int n = 0;
    for (auto _ : state) {
        f.Text3->setText(QString::number(++n));
        f.Command1_Click();
        settle();
    }
}
BENCHMARK(BM_Update)->Unit(benchmark::kMillisecond);

// Up and Down move the selected entry one row per press; the entry is put
// back at the far end (outside the timing) when it reaches the end.
void moveBenchmark(benchmark::State& state, bool up)
{
    Form1& f = window();
    const int far = up ? kMaxRows - 1 : 0;
    const int near = up ? 0 : kMaxRows - 1;
    f.List1->selectRow(far);
    settle();
    for (auto _ : state) {
        if (f.List1->selectedRow() == near) {
            state.PauseTiming();
            f.List1->selectRow(far);
            settle();
            state.ResumeTiming();
        }
        up ? f.Command9_Click() : f.Command10_Click();
        settle();
    }
}

void BM_Up(benchmark::State& state)
{
    moveBenchmark(state, true);
}
BENCHMARK(BM_Up)->Unit(benchmark::kMillisecond);

void BM_Down(benchmark::State& state)
{
    moveBenchmark(state, false);
}
BENCHMARK(BM_Down)->Unit(benchmark::kMillisecond);

// Remove the middle row; it is put back (outside the timing) so that every
// press meets a full journal.
void BM_Remove(benchmark::State& state)
{
    Form1& f = window();
    const int middle = kMaxRows / 2;
    for (auto _ : state) {
        state.PauseTiming();
        if (f.List1->count() < kMaxRows)
            f.journal()->insert(middle, QStringList() << fullJournal()[middle]);
        f.List1->selectRow(middle);
        settle();
        state.ResumeTiming();
        f.Command8_Click();
        settle();
    }
}
BENCHMARK(BM_Remove)->Unit(benchmark::kMillisecond);

// The yardstick: loading the same journal from its file.
void BM_LoadJournalBaseline(benchmark::State& state)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("velmora.js"));
    if (!textfile::writeAtomically(path, journal::journalBytes(fullJournal()))) {
        state.SkipWithError("cannot write the journal");
        return;
    }
    for (auto _ : state) {
        journal::ReadResult r = journal::readJournalFile(path);
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_LoadJournalBaseline)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    MessageBox::setNonInteractive(true);
    window();  // built once, outside every timing

    return benchdata::runBenchmarks(argc, argv);
}
