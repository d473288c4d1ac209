#include "ui/Unit1.h"

#include "book/book_folder.h"
#include "desktop/application.h"
#include "desktop/guard.h"
#include "desktop/icons.h"
#include "desktop/platform.h"
#include "sys/errors.h"
#include "sys/system.h"
#include "ui/column_header.h"
#include "ui/find_bar.h"
#include "ui/line_list_model.h"
#include "ui/list_box.h"
#include "ui/list_panel.h"
#include "ui/main_window_texts.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QScopedValueRollback>
#include <QScreen>
#include <QSessionManager>
#include <QShortcut>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QStatusBar>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace kvillo {

namespace {

// The window whose book is saved when the process ends through exit() (see saveBeforeExit).
TForm1 *g_savedBeforeExit = nullptr;

} // namespace

TForm1::TForm1(Platform &platform, std::string applicationDirectory, QWidget *parent)
    : QMainWindow(parent)
    , m_platform(platform)
    , m_keeper(std::move(applicationDirectory), applicationTitle().toStdString())
    , m_book(m_keeper.book())
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(applicationTitle());
    setWindowIcon(programIcon());
    buildLayout();
    resize(WindowSettings::kDefaultSize);

    // At log-off the session asks whether the program may end: save as a close would.
    connectGuarded(m_platform, qApp, &QGuiApplication::commitDataRequest, this, &TForm1::FormCloseQuery);

    guarded(m_platform, [this] { FormCreate(); });
}

TForm1::~TForm1()
{
    if (g_savedBeforeExit == this)
        g_savedBeforeExit = nullptr;
    guarded(m_platform, [this] { FormDestroy(); });
    m_book.removeViews(*m_views);
}

void TForm1::buildLayout()
{
    setFont(windowsFont(8));

    ActionMainMenuBar1 = new QMenuBar(this);
    ActionMainMenuBar1->setObjectName(QStringLiteral("ActionMainMenuBar1"));
    ActionMainMenuBar1->setFixedHeight(24);
    ActionMainMenuBar1->setFont(windowsFont(8));
    setMenuBar(ActionMainMenuBar1);

    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    auto *column = new QVBoxLayout(client);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto *band = new QFrame(client);
    band->setObjectName(QStringLiteral("CoolBar1"));
    band->setFrameShape(QFrame::StyledPanel);
    band->setFrameShadow(QFrame::Raised);
    band->setFixedHeight(57);
    band->setFont(windowsFont(10));
    CoolBar1 = band;
    column->addWidget(CoolBar1);

    HeaderControl1 = new ColumnHeader(client);
    HeaderControl1->setObjectName(QStringLiteral("HeaderControl1"));
    auto *headerModel = new QStandardItemModel(0, 2, HeaderControl1);
    headerModel->setHorizontalHeaderLabels(
        {LineListModel::title(ListId::Descriptions), LineListModel::title(ListId::Mails)});
    HeaderControl1->setModel(headerModel);
    HeaderControl1->setFixedHeight(32);
    HeaderControl1->setFont(windowsFont(10));
    HeaderControl1->setMinimumSectionSize(0);
    HeaderControl1->setStretchLastSection(false);
    HeaderControl1->setSectionsClickable(false);
    HeaderControl1->setHighlightSections(false);
    HeaderControl1->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    HeaderControl1->setSectionResizeMode(QHeaderView::Interactive);
    setHeaderSections(50, 300);
    connectGuarded(m_platform, HeaderControl1, &QHeaderView::sectionResized, this, [this] {
        if (!m_settingHeader)
            HeaderControl1SectionResize();
    });
    column->addWidget(HeaderControl1);

    m_descriptions = new LineListModel(m_book, ListId::Descriptions, this);
    m_mails = new LineListModel(m_book, ListId::Mails, this);
    m_views = std::make_unique<ListModels>(*m_descriptions, *m_mails);
    m_book.addViews(*m_views);
    ListBox1 = new ListBox(m_descriptions);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setFont(windowsFont(10));
    ListBox2 = new ListBox(m_mails);
    ListBox2->setObjectName(QStringLiteral("ListBox2"));
    ListBox2->setFont(windowsFont(10));
    ListBox1->setAccessibleName(QStringLiteral("Описания"));
    ListBox2->setAccessibleName(QStringLiteral("Адреса e-mail"));
    HeaderControl1->setAccessibleName(QStringLiteral("Заголовки столбцов"));
    HeaderControl1->setFocusPolicy(Qt::NoFocus);
    connectGuarded(m_platform, ListBox1, &ListBox::userSelected, this, &TForm1::ListBox1Click);
    connectGuarded(m_platform, ListBox2, &ListBox::userSelected, this, &TForm1::ListBox2Click);

    Panel4 = new ListPanel(ListBox1, ListBox2, client);
    Panel4->setObjectName(QStringLiteral("Panel4"));
    setTabOrder(ListBox1, ListBox2);
    connectGuarded(m_platform, Panel4->splitter(), &Splitter::moved, this, &TForm1::Splitter1Moved);
    column->addWidget(Panel4, 1);
    createFindBar(column);
    setCentralWidget(client);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setFixedHeight(19);
    StatusBar1->setSizeGripEnabled(true);
    const int panelWidths[2] = {200, 50};
    for (int i = 0; i < 2; ++i) {
        m_statusPanels[i] = new QLabel(StatusBar1);
        m_statusPanels[i]->setObjectName(QStringLiteral("StatusBar1Panel%1").arg(i));
        m_statusPanels[i]->setFixedWidth(panelWidths[i]);
        m_statusPanels[i]->setFrameShape(QFrame::Panel);
        m_statusPanels[i]->setFrameShadow(QFrame::Sunken);
        StatusBar1->addWidget(m_statusPanels[i]);
    }
    setStatusBar(StatusBar1);

    createActions();
    createMenus();
    createToolbar();
    createTrayMenu();
}

void TForm1::createFindBar(QBoxLayout *column)
{
    m_findBar = new FindBar(m_platform, m_book, ListBox1, ListBox2, column->parentWidget());
    column->addWidget(m_findBar);
    // A key of this window only: in the entry dialogs Ctrl+F stays the edit boxes' own.
    auto *open = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), this);
    open->setContext(Qt::WindowShortcut);
    connectGuarded(m_platform, open, &QShortcut::activated, m_findBar, &FindBar::open);
}

// ---- The book and its views ----

LineListModel *TForm1::model(ListId id) const
{
    return id == ListId::Mails ? m_mails : m_descriptions;
}

ListBox *TForm1::listBox(ListId id) const
{
    return id == ListId::Mails ? ListBox2 : ListBox1;
}

int TForm1::currentIndex(ListId id) const
{
    return listBox(id)->itemIndex();
}

void TForm1::select(ListId id, int index)
{
    listBox(id)->setItemIndex(index);
}

void TForm1::saving(const std::function<void()> &save)
{
    save();
    tellStoreNotices();
}

void TForm1::tellStoreNotices()
{
    for (const std::string &notice : m_keeper.takeNotices())
        tell(QString::fromStdString(notice));
}

int TForm1::list1Width() const
{
    return Panel4->leftWidth();
}

void TForm1::setList1Width(int width)
{
    Panel4->setLeftWidth(width);
}

void TForm1::setStatusText(int panel, const QString &text)
{
    m_statusPanels[panel]->setText(text);
}

void TForm1::setHeaderSections(int first, int second)
{
    m_settingHeader = true;
    HeaderControl1->resizeSection(0, first);
    HeaderControl1->resizeSection(1, second);
    m_settingHeader = false;
}

// ---- Settings ----

void TForm1::readSettingsFile()
{
    try {
        m_settings.read(m_book);
    } catch (...) {
        // What was read before the bad value stays applied.
        applySettings();
        throw;
    }
    applySettings();
}

void TForm1::applySettings()
{
    const QFont font = m_settings.listFont(ListBox1->font());
    ListBox1->setFont(font);
    ListBox2->setFont(m_settings.listFont(ListBox2->font()));
    m_settings.fontApplied(font);
    if (const std::optional<int> width = m_settings.list1Width()) {
        setList1Width(*width);
        m_settings.list1WidthApplied(list1Width());
    }
}

void TForm1::writeSettingsFile()
{
    m_settings.write(m_book, ListBox1->font(), list1Width(), frameGeometry().size());
}

// ---- Event handlers ----

void TForm1::FormCreate()
{
    addTrayIcon();
    try {
        m_book.load();
        readSettingsFile();
        setHeaderSections(list1Width(), std::max(width() - list1Width() - Splitter::kWidth, 0));
        QCoreApplication::processEvents();
    } catch (...) {
        m_platform.showMessage(mainWindowText::damageCaption(), mainWindowText::damageMessage(), Platform::Buttons::Ok);
    }
    // A commit record that the load found and set aside.
    tellStoreNotices();
}

void TForm1::FormShow()
{
    QCoreApplication::processEvents();
    applyStoredSize();
    // From now on an exit() that ends the program saves this window's book.
    static const bool registered = std::atexit(&TForm1::saveBeforeExit) == 0;
    if (registered)
        g_savedBeforeExit = this;
    // The stored size is the outer size, frame included. Before the window manager has framed
    // a new window its frame is not known yet: correct the size once it is.
    m_frameCorrectionPending = frameGeometry().size() == geometry().size();
}

// The stored sizes, and the default ones the settings do not set, are outer sizes. A stored size
// is limited to the screen's available area, as any window of the desktop is.
void TForm1::applyStoredSize()
{
    const QSize frame = frameGeometry().size() - geometry().size();
    const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const QSize available = screen ? screen->availableGeometry().size() : WindowSettings::kDefaultSize;
    const QSize minimum = minimumSizeHint().expandedTo(minimumSize()) + frame;
    resize(m_settings.outerSize(minimum, available) - frame);
    m_settings.sizeApplied(size() + frame);
    // A list width this window cannot show beside the addresses' least width is shown narrower:
    // the header follows what the lists show.
    const int shownWidth = ListPanel::shownLeftWidth(list1Width(), width());
    if (shownWidth != list1Width())
        setHeaderSections(shownWidth, std::max(width() - shownWidth - Splitter::kWidth, 0));
}

bool TForm1::event(QEvent *event)
{
    const bool handled = QMainWindow::event(event);
    if (m_frameCorrectionPending && (event->type() == QEvent::Move || event->type() == QEvent::Resize)
        && frameGeometry().size() != geometry().size()) {
        m_frameCorrectionPending = false;
        applyStoredSize();
    }
    return handled;
}

bool TForm1::FormCloseQuery()
{
    return saveAll();
}

bool TForm1::saveAll()
{
    ++m_closeRequests;
    const auto attempt = [&](auto &&step) {
        try {
            step();
            return true;
        } catch (...) {
            reportFailure(std::current_exception());
            return false;
        }
    };
    // Settings that cannot be written must not keep the entries from being saved.
    attempt([this] { writeSettingsFile(); });
    return attempt([this] { saving([this] { m_keeper.saveAtClose(); }); });
}

// The data could not be saved and the error box has said why. The user may still quit: what
// could not be saved is first written to a recovery copy. False keeps the window.
bool TForm1::askToQuitUnsaved()
{
    const std::string folder = m_keeper.newRecoveryFolder();
    if (!m_platform.askYesNo(mainWindowText::recoveryQuestion(QString::fromStdString(folder))))
        return false;
    return guarded(m_platform, [&] { m_keeper.writeRecoveryCopy(folder); });
}

void TForm1::reportFailure(std::exception_ptr error)
{
    if (!m_terminating) {
        showException(m_platform, error);
        return;
    }
    m_terminationReport(BookKeeper::describe(error));
}

void TForm1::tell(const QString &notice)
{
    if (m_terminating)
        m_terminationReport(notice.toStdString());
    else
        m_platform.showNotice(notice);
}

void TForm1::setTerminationReport(BookKeeper::Report report)
{
    m_terminationReport = std::move(report);
}

void TForm1::closeOnTermination()
{
    // Nothing could be kept: the window stays, with the entries.
    if (!saveForTermination())
        return;
    const QScopedValueRollback<bool> terminating(m_terminating, true);
    close();
}

bool TForm1::saveForTermination()
{
    // The session waits for the program to end: what cannot be saved goes to a recovery copy.
    const QScopedValueRollback<bool> terminating(m_terminating, true);
    ++m_closeRequests;
    // Settings that cannot be written must not keep the entries from being saved.
    try {
        writeSettingsFile();
    } catch (...) {
        reportFailure(std::current_exception());
    }
    return m_keeper.saveForTermination(m_terminationReport);
}

// The toolkit ends the program with exit() when its display connection breaks (the X server died,
// a log-off without a session manager): no close and no signal come, only the exit handlers run,
// on the thread that called exit(), with the window still there. Its book is then saved as for a
// termination, once. Registered at the first show, when the toolkit has made what it uses: exit
// handlers run in the reverse order of their registration, so that is still there.
void TForm1::saveBeforeExit()
{
    TForm1 *const form = std::exchange(g_savedBeforeExit, nullptr);
    if (form != nullptr && QThread::currentThread() == form->thread())
        form->saveForTermination();
}

void TForm1::FormDestroy()
{
    if (m_destroyed)
        return;
    m_destroyed = true;
    removeTrayIcon();
    QCoreApplication::quit();
}

void TForm1::ListBox1Click()
{
    ListBox2->setItemIndex(ListBox1->itemIndex());
}

void TForm1::ListBox2Click()
{
    ListBox1->setItemIndex(ListBox2->itemIndex());
}

void TForm1::HeaderControl1SectionResize()
{
    setList1Width(HeaderControl1->sectionSize(0));
}

void TForm1::Splitter1Moved()
{
    setHeaderSections(list1Width(), Panel4->rightWidth());
}

void TForm1::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        guarded(m_platform, [this] { FormShow(); });
}

void TForm1::closeEvent(QCloseEvent *event)
{
    bool saved = m_terminating;
    if (!saved)
        guarded(m_platform, [&] { saved = FormCloseQuery() || askToQuitUnsaved(); });
    if (!saved) {
        // The entries are only in memory: the window stays so that nothing is lost.
        event->ignore();
        return;
    }
    event->accept();
    // Saved: an exit() from here on has nothing more to save.
    if (g_savedBeforeExit == this)
        g_savedBeforeExit = nullptr;
    QCoreApplication::quit();
}

} // namespace kvillo
