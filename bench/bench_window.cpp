// Start-up and selection speed of the main window with a large address book.
//
// Usage: bench_window DIR
//   DIR holds database/ (see generate_book) and config/. Prints the time from the start of main()
//   to the main window shown and painted, the process's peak memory then, and the time of a
//   click that moves the other list's selection and of type-ahead searches.
// Run it under a display (xvfb-run -a) or with QT_QPA_PLATFORM=offscreen; measure the whole
// process with /usr/bin/time -v as well. The run never waits for a person: a message box the
// program would show (a damaged or missing file, say) ends it with the box's text and status 1.

#include "desktop/application.h"
#include "desktop/qt_platform.h"
#include "dialogs/Unit3.h"
#include "dialogs/Unit4.h"
#include "ui/Unit1.h"
#include "ui/find_bar.h"
#include "ui/list_box.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QThread>

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

long peakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

class FirstPaint : public QObject
{
public:
    bool painted = false;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

// The desktop of an unattended run: a benchmark never waits for a person. Any box the program
// would show ends the run with the box's text and a failure status.
class UnattendedPlatform : public kvillo::QtPlatform
{
public:
    void showError(const QString &text) override { fail(text); }
    void showNotice(const QString &text) override { fail(text); }
    bool showMessage(const QString &caption, const QString &text, Buttons) override
    {
        fail(caption + QStringLiteral(": ") + text);
    }

private:
    [[noreturn]] static void fail(const QString &text)
    {
        std::fprintf(stderr, "bench_window: the program stopped to ask the user: %s\n", text.toLocal8Bit().constData());
        std::exit(1);
    }
};

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// The processor time of the last timeIt: on a shared machine the time on the clock also holds
// the waits for the processor.
double lastCpuMs = 0;

double timeIt(const std::function<void()> &action)
{
    QElapsedTimer timer;
    const double cpu = threadCpuMs();
    timer.start();
    action();
    lastCpuMs = threadCpuMs() - cpu;
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

void typeKeys(QWidget *widget, const QString &text)
{
    for (const QChar ch : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(widget, &press);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QElapsedTimer sinceStart;
    sinceStart.start();
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    kvillo::prepareApplication(app);
    UnattendedPlatform platform;
    std::string directory = argv[1];
    if (!directory.empty() && directory.back() != '/')
        directory += '/';

    kvillo::TForm1 form(platform, directory);
    auto *list1 = form.findChild<kvillo::ListBox *>(QStringLiteral("ListBox1"));
    auto *list2 = form.findChild<kvillo::ListBox *>(QStringLiteral("ListBox2"));
    FirstPaint paint;
    list2->viewport()->installEventFilter(&paint);
    form.show();
    while (!paint.painted)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double shown = static_cast<double>(sinceStart.nsecsElapsed()) / 1e6;
    std::printf("entries: %d\n", static_cast<int>(list2->model()->rowCount()));
    std::printf("main() to window shown and painted: %.1f ms, peak memory %.1f MB\n", shown,
        static_cast<double>(peakKilobytes()) / 1024.0);

    const QRect row = list1->visualRect(list1->model()->index(3, 0));
    const double click = timeIt([&] {
        QMouseEvent press(QEvent::MouseButtonPress, row.center(), list1->viewport()->mapToGlobal(row.center()),
            Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list1->viewport(), &press);
        QCoreApplication::processEvents();
    });
    std::printf("click in the descriptions, mails follow (row %d): %.2f ms\n", list2->itemIndex(), click);

    list1->setFocus();
    const double end = timeIt([&] {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier);
        QApplication::sendEvent(list1, &key);
        QCoreApplication::processEvents();
    });
    std::printf("End key, mails follow (row %d): %.2f ms\n", list2->itemIndex(), end);

    // The worst case of type-ahead: a prefix no entry has, so every entry is compared.
    const double miss = timeIt([&] {
        typeKeys(list1, QStringLiteral("\u0416\u0416\u0416"));
        QCoreApplication::processEvents();
    });
    std::printf("type-ahead of 3 characters matching nothing (all entries compared): %.2f ms\n", miss);
    QThread::msleep(kvillo::ListBox::kTypeAheadPauseMs + 50);
    const double hit = timeIt([&] {
        typeKeys(list1, QStringLiteral("z"));
        QCoreApplication::processEvents();
    });
    std::printf("type-ahead of 1 character (row %d): %.2f ms\n", list1->itemIndex(), hit);

    // The find bar: each key as typed, the search and the repaint it causes. A text grows one
    // character a key; Backspace and a first character search the whole book.
    auto *bar = form.findChild<kvillo::FindBar *>();
    bar->open();
    QLineEdit *field = bar->field();
    const auto key = [&](Qt::Key code, const QString &text) {
        return timeIt([&] {
            QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier, text);
            QApplication::sendEvent(field, &press);
            QCoreApplication::processEvents();
        });
    };
    // The count follows the keys in time slices: how long until it is whole.
    auto *count = bar->findChild<QLabel *>("FindCount");
    const auto countDone = [&] {
        const double ms = timeIt([&] {
            while (count->text().endsWith(QChar(0x2026)))
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        });
        std::printf("; count whole %.2f ms later (%s)\n", ms, qPrintable(count->text()));
    };
    const auto typeEach = [&](const char *what, const QString &text) {
        double slowest = 0, slowestCpu = 0;
        QString cpu;
        std::printf("find bar, %s:", what);
        for (const QChar ch : text) {
            const double ms = key(Qt::Key_unknown, QString(ch));
            slowest = std::max(slowest, ms);
            slowestCpu = std::max(slowestCpu, lastCpuMs);
            std::printf(" %.2f", ms);
            cpu += QStringLiteral(" %1").arg(lastCpuMs, 0, 'f', 2);
        }
        std::printf(
            " ms; slowest %.2f ms\n    processor time:%s ms; slowest %.2f ms", slowest, qPrintable(cpu), slowestCpu);
        countDone();
    };
    const auto clearField = [&] {
        field->clear();
        QCoreApplication::processEvents();
    };
    typeEach("a surname and a first name typed", QStringLiteral("иванов пётр"));
    for (int i = 0; i < 3; ++i) {
        const double ms = key(Qt::Key_F3, QString());
        std::printf(
            "find bar, F3 to the next: %.2f ms, processor %.2f ms (%s)\n", ms, lastCpuMs, qPrintable(count->text()));
    }
    const double back = timeIt([&] {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_F3, Qt::ShiftModifier);
        QApplication::sendEvent(field, &press);
        QCoreApplication::processEvents();
    });
    std::printf("find bar, Shift+F3 to the previous: %.2f ms, processor %.2f ms (%s)\n", back, lastCpuMs,
        qPrintable(count->text()));
    const double backspace = key(Qt::Key_Backspace, QString());
    std::printf("find bar, Backspace (the book searched again): %.2f ms, processor %.2f ms", backspace, lastCpuMs);
    countDone();
    clearField();
    typeEach("a letter in nearly every entry", QStringLiteral("\u0430"));
    clearField();
    typeEach("a text no entry holds", QStringLiteral("\u0449\u0449\u0449"));
    clearField();
    typeEach("two words, the address first",
        QStringLiteral("example \u0441\u0435\u0440\u0433\u0435\u0435\u0432\u0438\u0447"));
    clearField();
    typeEach("two surnames, few entries hold both", QStringLiteral("смирнов иванов"));
    bar->close();

    // Add and Edit through their dialogs, each with the save of both files; then Delete. These
    // change the book in DIR: the new entry stays in it.
    const int middle = static_cast<int>(list2->model()->rowCount()) / 2;
    const auto confirm = [](kvillo::EntryDialog *dialog) {
        dialog->edit1()->setText(QStringLiteral("bench@example.org"));
        dialog->edit2()->setText(QStringLiteral("Тест"));
        dialog->findChild<QPushButton *>(QStringLiteral("BitBtn1"))->click();
    };
    const double add = timeIt([&] {
        form.findChild<QAction *>(kvillo::actionName(kvillo::Command::Add))->trigger();
        confirm(form.findChildren<kvillo::TForm3 *>().constLast());
    });
    std::printf("Add through its dialog, both files saved (%d entries): %.1f ms\n",
        static_cast<int>(list2->model()->rowCount()), add);
    list1->setItemIndex(middle);
    list2->setItemIndex(middle);
    const double edit = timeIt([&] {
        form.findChild<QAction *>(kvillo::actionName(kvillo::Command::Edit))->trigger();
        confirm(form.findChildren<kvillo::TForm4 *>().constLast());
    });
    std::printf("Edit through its dialog, both files saved: %.1f ms\n", edit);
    const double remove = timeIt([&] {
        form.findChild<QAction *>(kvillo::actionName(kvillo::Command::Delete))->trigger();
        QCoreApplication::processEvents();
    });
    std::printf("Delete of the middle entry: %.2f ms\n", remove);
    return 0;
}
