#pragma once

#include <QDialog>
#include <QLineEdit>

#include <functional>
#include <optional>
#include <string>

class QGroupBox;
class QPushButton;

namespace kvillo {

class TForm1;

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
    EntryDialog(TForm1 &form, const QString &caption, QSize clientSize, QRect cancelGeometry);

    // Runs when OK is pressed (Enter in an edit, or the button).
    virtual void BitBtn1Click() = 0;
    void BitBtn2Click();

    // Both texts as stored bytes, or nothing (after a notice naming the characters) when either
    // holds a character the address book cannot store.
    struct Texts
    {
        std::string mail;
        std::string description;
    };
    std::optional<Texts> storableTexts();

    void showEvent(QShowEvent *event) override;

    TForm1 &m_form;
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
