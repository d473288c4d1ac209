#pragma once

#include <QDialog>
#include <QLineEdit>
#include <QList>

#include <functional>
#include <optional>
#include <string>

class QAction;
class QGroupBox;
class QPushButton;

namespace kvillo {

class Platform;

// The texts of an entry as the address book stores them.
struct EntryTexts
{
    std::string mail;
    std::string description;
};

// What an entry dialog is given by the window that opens it.
struct EntryDialogContext
{
    QWidget *owner;
    Platform &platform;
    // The program's commands: they answer their keys in the dialog too.
    QList<QAction *> commands;
    // Applies the texts when OK is pressed; true closes the dialog. What it throws is shown and
    // the dialog stays open.
    std::function<bool(const EntryTexts &)> apply;
};

// An edit box of the entry dialogs. The text-editing keys (Del, Ctrl+C, Ctrl+V, Ctrl+X, Ctrl+A)
// edit its text; every other key that is one of the program's shortcuts runs that command.
class DialogEdit : public QLineEdit
{
    Q_OBJECT
public:
    using ShortcutTest = std::function<bool(const QKeySequence &)>;
    DialogEdit(ShortcutTest isProgramShortcut, QWidget *parent);

protected:
    bool event(QEvent *event) override;

private:
    ShortcutTest m_isProgramShortcut;
};

// The controls and keys that the Add and the Edit dialog share: an e-mail edit, a description
// edit, OK and Cancel. The dialog is modeless, centred on the desktop, and only hidden when closed.
class EntryDialog : public QDialog
{
    Q_OBJECT
public:
    QLineEdit *edit1() const { return Edit1; }
    QLineEdit *edit2() const { return Edit2; }

protected:
    EntryDialog(EntryDialogContext context, const QString &caption, QSize clientSize, QRect cancelGeometry);

    // Runs when OK is pressed (Enter in an edit, or the button): the texts are applied when the
    // book can store them.
    void BitBtn1Click();
    void BitBtn2Click();

    // Both texts as stored bytes, or nothing (after a notice naming the characters) when either
    // holds a character the address book cannot store.
    std::optional<EntryTexts> storableTexts();

    void showEvent(QShowEvent *event) override;

    EntryDialogContext m_context;
    QGroupBox *GroupBox1;
    DialogEdit *Edit1;
    QGroupBox *GroupBox2;
    DialogEdit *Edit2;
    QPushButton *BitBtn1;
    QPushButton *BitBtn2;

private:
    bool m_centred = false;
};

} // namespace kvillo
