#pragma once

#include "book/address_book.h"
#include "book/book_keeper.h"
#include "desktop/window_settings.h"
#include "ui/commands.h"

#include <QMainWindow>
#include <QSystemTrayIcon>

#include <array>
#include <exception>
#include <functional>
#include <memory>
#include <string>

class QAbstractNativeEventFilter;
class QAction;
class QBoxLayout;
class QHeaderView;
class QLabel;
class QMenu;
class QMenuBar;
class QStatusBar;
class QToolButton;

namespace kvillo {

class FindBar;
class LineListModel;
class ListBox;
class ListModels;
class ListPanel;
class Platform;
struct EntryDialogContext;
struct EntryTexts;

// The main window: shows the address book in two aligned lists under a two-section header, with
// the menu bar, the toolbar band, the status bar and the tray icon. The commands are its actions
// (object names Action1 .. Action16); what they do to the book, the document does.
class TForm1 : public QMainWindow
{
    Q_OBJECT
public:
    // `applicationDirectory` holds database/ and config/ and ends with a path separator.
    TForm1(Platform &platform, std::string applicationDirectory, QWidget *parent = nullptr);
    ~TForm1() override;

    // Shows the window (from the tray too), restores it when minimised and brings it forward.
    void bringToFront();
    // The system asks the program to end (SIGTERM, SIGHUP): saves without asking anyone and
    // closes; data that cannot be saved is written to a recovery copy first. The window stays
    // only when not even that copy can be written.
    void closeOnTermination();
    // Where a termination tells what it cannot show in a box (failures, notices, where a
    // recovery copy went), a line at a time; by default nowhere.
    void setTerminationReport(BookKeeper::Report report);
    // Adds entries handed over by the command line (an import) and saves the book as the Add
    // dialog does; throws, with the reason, when they are not stored (the book is then as it
    // was). An import whose identifier is already recorded is not added again.
    AddressBook::ImportCounts addHandedOver(const BookLists &entries, const std::string &importId);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool event(QEvent *event) override;

private:
    // The tray icon was clicked (the desktop's notification area reports it).
    void trayIconActivated(QSystemTrayIcon::ActivationReason reason);
    // The process ends through exit() while the window runs (the display went away): saves as a
    // termination does, unless a close has saved already.
    static void saveBeforeExit();

    // The commands.
    void Action1Execute(); // "Свернуть в трей"
    void Action2Execute(); // "Посетить сайт"
    void Action3Execute(); // "Написать письмо"
    void Action4Execute(); // "Обновление"
    void Action5Execute(); // "О программе"
    void Action6Execute(); // "Добавить", Ctrl+V
    void Action7Execute(); // "Копировать", Ctrl+C
    void Action8Execute(); // "Удалить", Del
    void Action9Execute(); // "Изменить", Ctrl+P
    void Action10Execute(); // "Вызов справки", F1
    void Action11Execute(); // "Написать этому", Ctrl+W
    void Action12Execute(); // "Выход", Ctrl+X
    void Action13Execute(); // "Создать" (backup), Ctrl+S
    void Action14Execute(); // "Восстановить" (restore)
    void Action15Execute(); // "Печать", Ctrl+A
    void Action16Execute(); // "Шрифт"
    // The toolbar.
    void SpeedButton1Click(); // "Свернуть"
    void SpeedButton2Click(); // "Копировать"
    void SpeedButton3Click(); // "Добавить"
    void SpeedButton4Click(); // "Изменить"
    void SpeedButton5Click(); // "Веб сайт"
    void SpeedButton6Click(); // backup (icon only)
    void SpeedButton7Click(); // restore (icon only)
    // The tray menu.
    void N5521Click(); // "Отразить/Свернуть"
    void N2Click(); // "О программе"
    void N3Click(); // "Создать резервную копию"
    void N4Click(); // "Восстановить"
    void N7Click(); // "Выход"
    // The window's own events.
    void FormCreate();
    void FormShow();
    // Saves settings and data; false when the data could not be saved and the window must stay.
    bool FormCloseQuery();
    void FormDestroy();
    void ListBox1Click();
    void ListBox2Click();
    void HeaderControl1SectionResize();
    void Splitter1Moved();

    void buildLayout();
    void createActions();
    void createMenus();
    void createToolbar();
    void createTrayMenu();
    // The find bar under the lists, hidden until Ctrl+F opens it.
    void createFindBar(QBoxLayout *column);
    void addTrayIcon();
    void removeTrayIcon();
    void showFromTray();
    void hideToTray();
    // Reads the settings and applies what was read, also when a bad value stops the reading.
    void readSettingsFile();
    void applySettings();
    void applyStoredSize();
    void writeSettingsFile();
    // Saves settings and data as a close does; false when the data could not be saved.
    bool saveAll();
    // How a save tells of a failure or of a notice: in a box, or to the termination report while
    // a termination request saves (no one is there to answer a box).
    void reportFailure(std::exception_ptr error);
    void tell(const QString &notice);
    bool askToQuitUnsaved();
    // Saves for the end of the program, asking no one (see BookKeeper::saveForTermination).
    bool saveForTermination();
    void setHeaderSections(int first, int second);
    int list1Width() const;
    void setList1Width(int width);
    void setStatusText(int panel, const QString &text);

    QAction *action(Command command) const { return m_actions[commandNumber(command) - 1]; }
    QList<QAction *> commandActions() const;
    // What the Add and the Edit dialog get: the owner, the desktop, the commands and what OK does.
    EntryDialogContext entryDialogContext(std::function<bool(const EntryTexts &)> apply);

    // The book and its views: selection is the window's, the entries the document's.
    LineListModel *model(ListId id) const;
    ListBox *listBox(ListId id) const;
    int currentIndex(ListId id) const;
    void select(ListId id, int index);
    // Every save of the book runs through here: afterwards the user is told of each data file
    // the save kept aside (one that had not been read whole), once.
    void saving(const std::function<void()> &save);
    // Tells the user, once, of what the store set aside (a damaged commit record, a file kept aside).
    void tellStoreNotices();

    Platform &m_platform;
    BookKeeper m_keeper;
    // The document the keeper keeps.
    AddressBook &m_book;
    BookKeeper::Report m_terminationReport = [](const std::string &) {};
    WindowSettings m_settings;

    QMenuBar *ActionMainMenuBar1 = nullptr;
    QWidget *CoolBar1 = nullptr;
    QHeaderView *HeaderControl1 = nullptr;
    ListPanel *Panel4 = nullptr;
    LineListModel *m_descriptions = nullptr;
    LineListModel *m_mails = nullptr;
    // The two models, registered with the document as its views.
    std::unique_ptr<ListModels> m_views;
    ListBox *ListBox1 = nullptr;
    ListBox *ListBox2 = nullptr;
    QStatusBar *StatusBar1 = nullptr;
    FindBar *m_findBar = nullptr;
    QLabel *m_statusPanels[2] = {nullptr, nullptr};
    std::array<QAction *, kCommandCount> m_actions = {};
    QMenu *PopupMenu2 = nullptr;
    QMenu *PopupMenu1 = nullptr;
    QSystemTrayIcon *m_trayIcon = nullptr;
    QAbstractNativeEventFilter *m_blockedTrayClicks = nullptr;
    std::array<QToolButton *, 7> m_speedButtons = {};

    // The names last chosen in the backup and the restore file dialogs.
    QString m_lastSaveName;
    QString m_lastOpenName;
    // Saves for a close or a log-off so far: a backup or a restore waiting on a dialog meanwhile stops.
    int m_closeRequests = 0;
    bool m_settingHeader = false;
    bool m_frameCorrectionPending = false;
    bool m_destroyed = false;
    // Set while a termination request saves and closes the window: no one answers a box, and
    // the close has saved already.
    bool m_terminating = false;
};

} // namespace kvillo
