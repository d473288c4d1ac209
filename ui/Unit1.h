#pragma once

#include "data/address_store.h"
#include "data/scratch_buffer.h"
#include "data/settings.h"

#include <QFont>
#include <QMainWindow>
#include <QSystemTrayIcon>

#include <optional>
#include <string>

class QAction;
class QHeaderView;
class QLabel;
class QMenu;
class QMenuBar;
class QStatusBar;
class QToolButton;

namespace kvillo {

class LineListModel;
class ListBox;
class ListPanel;
class Platform;

// The main window: the two aligned lists of the address book under a two-section header, with
// the menu bar, the toolbar band and the status bar.
class TForm1 : public QMainWindow
{
    Q_OBJECT
public:
    // `applicationDirectory` holds database/ and config/ and ends with a path separator.
    TForm1(Platform &platform, std::string applicationDirectory, QWidget *parent = nullptr);
    ~TForm1() override;

    static QString damageMessage();
    static QString damageCaption();

    Platform &platform() const { return m_platform; }
    AddressStore &store() { return m_store; }
    ScratchBuffer &memo() { return Memo1; }

    // The address book operations; indexes are rows, -1 for none.
    ListBox *listBox(ListId id) const;
    int count(ListId id) const;
    std::string itemAt(ListId id, int index) const; // throws ListIndexError
    int currentIndex(ListId id) const;
    void select(ListId id, int index);
    void appendEntry(std::string_view description, std::string_view mail);
    // Replaces the selected item and selects it again; with no selection the string is appended.
    void replaceAtCurrent(ListId id, std::string_view text);
    // Removes the selected item; afterwards the list has no selection.
    void deleteAtCurrent(ListId id);
    void loadList(ListId id);
    void saveList(ListId id);

    // Settings as read at start-up.
    std::optional<int> storedWidth() const { return m_storedWidth; }
    std::optional<int> storedHeight() const { return m_storedHeight; }
    QFont fontDialogFont() const { return m_fontDialogFont; }
    void setFontDialogFont(const QFont &font) { m_fontDialogFont = font; }
    int list1Width() const;
    void setList1Width(int width);
    QString statusText(int panel) const;
    void setStatusText(int panel, const QString &text);

    // The sixteen commands, Action1 to Action16, and where they are offered.
    QAction *action(int number) const { return m_actions[number]; }
    QList<QAction *> commandActions() const;
    bool isProgramShortcut(const QKeySequence &key) const;

    void Action1Execute();
    void Action2Execute();
    void Action3Execute();
    void Action4Execute();
    void Action5Execute();
    void Action6Execute();
    void Action7Execute();
    void Action8Execute();
    void Action9Execute();
    void Action10Execute();
    void Action11Execute();
    void Action12Execute();
    void Action13Execute();
    void Action14Execute();
    void Action15Execute();
    void Action16Execute();
    void SpeedButton1Click();
    void SpeedButton2Click();
    void SpeedButton3Click();
    void SpeedButton4Click();
    void SpeedButton5Click();
    void SpeedButton6Click();
    void SpeedButton7Click();

    // The tray icon and its menu.
    QSystemTrayIcon *trayIcon() const { return m_trayIcon; }
    QMenu *trayMenu() const { return PopupMenu1; }
    void trayIconActivated(QSystemTrayIcon::ActivationReason reason);
    // Shows the window (from the tray too), restores it when minimised and brings it forward.
    void bringToFront();
    void N5521Click();
    void N2Click();
    void N3Click();
    void N4Click();
    void N7Click();

    static QString selectionNotice();
    // "mailto:" and the address, with the characters that would add header fields encoded.
    static QString mailtoAddress(const QString &address);

    // Event handlers.
    void FormCreate();
    void FormShow();
    // Saves settings and data; false when the data could not be saved and the window must stay.
    bool FormCloseQuery();
    void FormDestroy();
    void ListBox1Click();
    void ListBox2Click();
    void HeaderControl1SectionResize();
    void Splitter1Moved();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool event(QEvent *event) override;

private:
    void buildLayout();
    void createActions();
    void createMenus();
    void createToolbar();
    void createTrayMenu();
    void addTrayIcon();
    void removeTrayIcon();
    void showFromTray();
    void readSettingsFile();
    void applyStoredSize();
    void applySettings(const Settings &settings);
    void writeSettingsFile();
    void setHeaderSections(int first, int second);
    LineListModel *model(ListId id) const;

    Platform &m_platform;
    AddressStore m_store;
    AddressBook m_book;
    ScratchBuffer Memo1;

    QMenuBar *ActionMainMenuBar1 = nullptr;
    QWidget *CoolBar1 = nullptr;
    QHeaderView *HeaderControl1 = nullptr;
    ListPanel *Panel4 = nullptr;
    LineListModel *m_descriptions = nullptr;
    LineListModel *m_mails = nullptr;
    ListBox *ListBox1 = nullptr;
    ListBox *ListBox2 = nullptr;
    QStatusBar *StatusBar1 = nullptr;
    QLabel *m_statusPanels[2] = {nullptr, nullptr};
    QAction *m_actions[17] = {};
    QMenu *PopupMenu2 = nullptr;
    QMenu *PopupMenu1 = nullptr;
    QSystemTrayIcon *m_trayIcon = nullptr;
    QToolButton *m_speedButtons[8] = {};

    QFont m_fontDialogFont;
    // The names last chosen in the backup and the restore file dialogs.
    QString m_lastSaveName;
    QString m_lastOpenName;
    std::optional<int> m_storedWidth;
    std::optional<int> m_storedHeight;
    std::optional<int> m_storedFontSize;
    // The outer size and the lists' font size as applied from the settings: while they stay so,
    // a close writes back the stored values, even those the screen could not show.
    std::optional<QSize> m_sizeAsApplied;
    int m_fontSizeAsApplied = 0;
    // Saves for a close or a log-off so far: a backup or a restore waiting on a dialog meanwhile stops.
    int m_closeRequests = 0;
    bool m_settingHeader = false;
    bool m_frameCorrectionPending = false;
    bool m_destroyed = false;
};

} // namespace kvillo
