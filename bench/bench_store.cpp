// Benchmarks of the alarm store at 1k, 10k and 100k alarms with realistic text
// lengths: the load at start, SaveDataFile, the due check's refresh of
// cdsThread and NextNumber, each beside an in-run baseline (the same bytes
// written raw; a plain vector of structs filtered and stably sorted), and the
// resident memory of the master with four open views.
//
// The program runs in a temporary HOME and XDG folders of its own.
#include "base/U_KA_Var.h"
#include "store/D_KA_Alarms.h"
#include "store/DataPacket.h"

#include <QApplication>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>

using namespace store;

namespace {

QString Text(QRandomGenerator &rng, int minLength, int maxLength)
{
    static const QString words[] = {
        QStringLiteral("meeting"), QStringLiteral("call"),     QStringLiteral("doctor"), QStringLiteral("report"),
        QStringLiteral("pay"),     QStringLiteral("birthday"), QStringLiteral("Paris"),  QStringLiteral("r\u00e9union"),
        QStringLiteral("backup"),  QStringLiteral("review")};
    const int length = int(rng.bounded(minLength, maxLength + 1));
    QString s;
    while (s.size() < length)
        s += words[rng.bounded(10)] + QLatin1Char(' ');
    s.truncate(length);
    return s;
}

// Fills the master with n alarms dated around now: 10% in the trash, 90%
// enabled, titles of 8 to 25 characters, one in three with an application of
// 20 to 60 characters, half with comments of 10 to 200 characters. With
// nothingDue, the enabled alarms outside the trash all lie ahead (from one
// minute to a year), the others anywhere in the year around now.
void Fill(TdmKaAlarms &dm, int n, bool nothingDue = false)
{
    QRandomGenerator rng(42);
    const TDateTime now = zel::Now();
    dm.Loading = true;
    dm.cdsAlarms.disableControls();
    for (int i = 0; i < n; ++i) {
        TDateTime date = zel::RoundToMs(now + double(rng.bounded(-365 * 1440, 365 * 1440)) / 1440.0);
        const int enabled = rng.bounded(10) ? 1 : 0;
        const int deleted = rng.bounded(10) ? 0 : 1;
        if (nothingDue && enabled == 1 && deleted == 0)
            date = zel::RoundToMs(now + double(rng.bounded(1, 365 * 1440)) / 1440.0);
        dm.cdsAlarms.appendRecord({i + 1, date, QVariant(), 0, Text(rng, 8, 25), enabled, int(rng.bounded(3)),
                                   rng.bounded(2) ? Text(rng, 10, 200) : QString(), 1, int(rng.bounded(11)),
                                   rng.bounded(3) == 0 ? Text(rng, 20, 60) : QString(), 0, deleted});
    }
    dm.cdsAlarms.enableControls();
    dm.Loading = false;
}

std::unique_ptr<TdmKaAlarms> &ModuleHolder()
{
    static std::unique_ptr<TdmKaAlarms> dm;
    return dm;
}

// One data module of n alarms kept for the benchmarks of that size.
TdmKaAlarms &Module(int n)
{
    std::unique_ptr<TdmKaAlarms> &dm = ModuleHolder();
    static int size = -1;
    if (size != n || !dm) {
        dm.reset();
        QFile::remove(KaVar::UserDataDir() + QStringLiteral("Alarms.ka2"));
        dm = std::make_unique<TdmKaAlarms>();
        Fill(*dm, n);
        size = n;
    }
    return *dm;
}

QString DueFilter()
{
    return QStringLiteral("Deleted = 0 and Enabled = 1 and Date <= '") + zel::DateTimeToStr(zel::Now()) +
           QLatin1Char('\'');
}

void Load(benchmark::State &state)
{
    const int n = int(state.range(0));
    Module(n).SaveDataFile();
    const QString file = Module(n).DataFileName();
    const QString copy = file + QStringLiteral(".bench");
    QFile::remove(copy);
    QFile::copy(file, copy);
    for (auto _ : state) {
        Table t(QStringLiteral("t"));
        t.loadFromFile(copy);
        benchmark::DoNotOptimize(t.recordCount());
    }
    QFile::remove(copy);
}

// The whole start of the data module: read, renumber into the master, open
// the views, and the save at start (backup copy and rewrite).
void LoadAtStart(benchmark::State &state)
{
    const int n = int(state.range(0));
    Module(n).SaveDataFile();
    for (auto _ : state) {
        TdmKaAlarms dm;
        benchmark::DoNotOptimize(dm.cdsAlarms.recordCount());
        state.PauseTiming();
        dm.SaveEnabled = false; // leave the file as it is for the next round
        state.ResumeTiming();
    }
}

void Save(benchmark::State &state)
{
    TdmKaAlarms &dm = Module(int(state.range(0)));
    dm.SaveDataFile();
    for (auto _ : state)
        dm.SaveDataFile();
    state.SetBytesProcessed(state.iterations() * qint64(QFile(dm.DataFileName()).size()));
}

// The encoding alone, without any file.
void Encode(benchmark::State &state)
{
    TdmKaAlarms &dm = Module(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(DataPacket::encode(dm.cdsAlarms, DataPacket::Format::Binary).size());
}

// Baseline: the same bytes written raw to a file, and the previous file
// copied, without encoding, temporary file or rename.
void SaveBaseline(benchmark::State &state)
{
    TdmKaAlarms &dm = Module(int(state.range(0)));
    const QByteArray bytes = DataPacket::encode(dm.cdsAlarms, DataPacket::Format::Binary);
    const QString file = dm.DataFileName() + QStringLiteral(".raw");
    for (auto _ : state) {
        QFile::remove(file + QStringLiteral(".bak"));
        QFile::copy(file, file + QStringLiteral(".bak"));
        QFile out(file);
        out.open(QIODevice::WriteOnly | QIODevice::Truncate);
        out.write(bytes);
        out.close();
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
    QFile::remove(file);
    QFile::remove(file + QStringLiteral(".bak"));
}

// The per-second cost of the due check: a new filter text and a re-read of
// cdsThread from the master.
void RefreshDue(benchmark::State &state)
{
    TdmKaAlarms &dm = Module(int(state.range(0)));
    for (auto _ : state) {
        dm.cdsThread.setFilter(DueFilter());
        dm.cdsThread.refresh();
        benchmark::DoNotOptimize(dm.cdsThread.recordCount());
    }
    state.counters["due"] = dm.cdsThread.recordCount();
}

struct PlainAlarm
{
    int number;
    double date;
    int enabled;
    int deleted;
    QString title;
    QString comments;
    QString application;
};

// Baseline: the same selection over a plain vector of structs, stably sorted
// by date into a vector of pointers.
void RefreshDueBaseline(benchmark::State &state)
{
    const int n = int(state.range(0));
    TdmKaAlarms &dm = Module(n);
    std::vector<PlainAlarm> plain;
    plain.reserve(size_t(n));
    Table &m = dm.cdsAlarms;
    for (int i = 0; i < m.recordCount(); ++i) {
        m.withRow(i, [&] {
            plain.push_back(
                {m.fieldByName(AlarmField::Number).asInteger(), m.fieldByName(AlarmField::Date).asDateTime(),
                 m.fieldByName(AlarmField::Enabled).asInteger(), m.fieldByName(AlarmField::Deleted).asInteger(),
                 m.fieldByName(AlarmField::Title).asString(), m.fieldByName(AlarmField::Comments).asString(),
                 m.fieldByName(AlarmField::Application).asString()});
        });
    }
    for (auto _ : state) {
        const double now = zel::StrToDateTime(zel::DateTimeToStr(zel::Now()));
        std::vector<const PlainAlarm *> due;
        due.reserve(plain.size());
        for (const PlainAlarm &a : plain) {
            if (a.deleted == 0 && a.enabled == 1 && a.date <= now)
                due.push_back(&a);
        }
        std::stable_sort(due.begin(), due.end(),
                         [](const PlainAlarm *a, const PlainAlarm *b) { return a->date < b->date; });
        benchmark::DoNotOptimize(due.data());
    }
}

// The main window as the due check sees it: hidden, so due alarms fire.
class HiddenHost : public TKaAlarmsHost
{
public:
    void RefreshForm() override {}
    int CurrentPageTag() const override { return -1; }
    QString PeriodicityItem(int) const override { return {}; }
    QString PriorityItem(int) const override { return {}; }
    Field *PeriodicityListField() const override { return nullptr; }
    void SetPeriodicityListIndex(int) override {}
    bool MainWindowVisible() const override { return false; }
};

// An alarm box that counts what it is shown and deletes it.
class CountingBox : public TKaAlarmBox
{
public:
    int DisplayAlarm(int &) override
    {
        ++shown;
        return abrDelete;
    }
    int shown = 0;
};

// A data module of n alarms of which none is due, with a hidden host and an
// alarm box, kept for the tick benchmarks of that size.
TdmKaAlarms &IdleModule(int n)
{
    static std::unique_ptr<TdmKaAlarms> dm;
    static HiddenHost host;
    static CountingBox box;
    static int size = -1;
    if (size != n || !dm) {
        dm.reset();
        ModuleHolder().reset();
        QFile::remove(KaVar::UserDataDir() + QStringLiteral("Alarms.ka2"));
        dm = std::make_unique<TdmKaAlarms>();
        Fill(*dm, n, true);
        dm->SetHost(&host);
        dm->SetAlarmBox(&box);
        dm->SaveEnabled = false;
        size = n;
    }
    return *dm;
}

// One tick of the check timer with nothing due, as the main thread runs it
// (CheckAlarms: the due view's new filter, its re-read, the walk over it),
// with the due view read from the master's order (Tick) or by testing every
// row (TickFullScan, the baseline).
void RunTick(benchmark::State &state, bool orderedReads)
{
    TdmKaAlarms &dm = IdleModule(int(state.range(0)));
    dm.cdsThread.setOrderedReads(orderedReads);
    auto *box = static_cast<CountingBox *>(dm.AlarmBox());
    box->shown = 0;
    dm.CheckAlarms(); // the order is made at the first read
    for (auto _ : state)
        dm.CheckAlarms();
    state.counters["shown"] = box->shown;
    state.counters["visited"] = dm.cdsThread.lastRefreshVisited();
    dm.cdsThread.setOrderedReads(true);
}

void Tick(benchmark::State &state)
{
    RunTick(state, true);
}

void TickFullScan(benchmark::State &state)
{
    RunTick(state, false);
}

void NextNumber(benchmark::State &state)
{
    TdmKaAlarms &dm = Module(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(dm.NextNumber());
}

long ResidentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return 0;
}

// Resident memory of the process holding the master and four open views, as
// after a start that loaded n alarms from the data file.
void Memory(benchmark::State &state)
{
    const int n = int(state.range(0));
    Module(n).SaveDataFile();
    ModuleHolder().reset();
    for (auto _ : state) {
        state.PauseTiming();
        malloc_trim(0);
        const long before = ResidentKiB();
        TdmKaAlarms dm;
        state.counters["master_MB"] = double(ResidentKiB() - before) / 1024.0;
        for (Table *view : {&dm.cdsList, &dm.cdsCalendar, &dm.cdsTrash, &dm.cdsThread})
            view->refresh();
        state.counters["rss_MB"] = double(ResidentKiB()) / 1024.0;
        state.counters["growth_MB"] = double(ResidentKiB() - before) / 1024.0;
        dm.SaveEnabled = false;
        state.ResumeTiming();
    }
}

} // namespace

BENCHMARK(Load)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(LoadAtStart)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(Save)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(Encode)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(SaveBaseline)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(RefreshDue)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(RefreshDueBaseline)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(Tick)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(TickFullScan)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(NextNumber)->Arg(1000)->Arg(10000)->Arg(100000);
BENCHMARK(Memory)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);

// "bench_store --write-idle-data <n>": writes the data file of the current
// HOME with n alarms of which none is due (the data of the tick benchmarks),
// for bench/idle-program, which runs it in a private HOME of its own.
int WriteIdleData(int argc, char **argv)
{
    const int n = argc > 2 ? std::atoi(argv[2]) : 0;
    if (n <= 0)
        return 2;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    KaVar::Initialize();
    TdmKaAlarms dm;
    Fill(dm, n, true);
    dm.SaveDataFile();
    return 0;
}

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--write-idle-data") == 0)
        return WriteIdleData(argc, argv);
    // Never the real user's folders: a temporary HOME and XDG folders.
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/.local/share")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (home.path() + QStringLiteral("/.cache")).toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    KaVar::Initialize();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ModuleHolder().reset();
    return 0;
}
