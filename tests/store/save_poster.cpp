// Posts to the alarm table and so saves the data file, as the program does
// after every post; the save tests kill it or limit it while it writes.
//
//   almarik_save_poster loop       prints "ready" once the data module has
//                                  started, waits for a line on its input, then
//                                  posts generation after generation for ever,
//                                  printing "B k" before and "E k" after the
//                                  post of generation k
//   almarik_save_poster once N     limits the size of every file it writes to
//                                  N bytes (a full disk) and posts once: exit 0
//                                  when saved, 2 with "failed <message>" when
//                                  the failure reached the poster
//
// Alarm number 1 carries the generation: its title is k, its comments
// SaveGeneration(k).
#include "base/U_KA_Var.h"
#include "diag/U_ZEL_System.h"
#include "store/D_KA_Alarms.h"
#include "SaveGeneration.h"

#include <QApplication>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>

#include <sys/resource.h>

namespace {

void Say(const QByteArray &line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    ZelSystemInitialize();
    KaVar::Initialize();
    SetShowErrorTextHook([](const QString &text) { Say("error " + text.toUtf8()); });

    TdmKaAlarms dm;
    store::Table &t = dm.cdsAlarms;
    dm.LocateNumber(t, 1, true);
    qint64 k = t.fieldByName(AlarmField::Title).asString().toLongLong();
    const auto post = [&] {
        ++k;
        t.edit();
        t.fieldByName(AlarmField::Title).setAsString(QString::number(k));
        t.fieldByName(AlarmField::Comments).setAsString(SaveGeneration(k));
        t.post();
    };

    if (args.value(1) == QLatin1String("loop")) {
        Say("ready");
        std::string go;
        std::getline(std::cin, go);
        for (;;) {
            Say("B " + QByteArray::number(k + 1));
            post();
            Say("E " + QByteArray::number(k));
        }
    }
    if (args.value(1) == QLatin1String("once")) {
        // Past the limit a write fails with EFBIG instead of ending the
        // process.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlim_t limit = args.value(2).toULongLong();
        const rlimit r{limit, limit};
        if (::setrlimit(RLIMIT_FSIZE, &r) != 0)
            return 1;
        try {
            post();
        } catch (const Exception &e) {
            Say("failed " + e.message().toUtf8());
            return 2;
        }
        return 0;
    }
    return 1;
}
