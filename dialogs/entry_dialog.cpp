#include "dialogs/entry_dialog.h"

#include "desktop/application.h"
#include "desktop/guard.h"
#include "desktop/platform.h"
#include "desktop/text.h"

#include <QAction>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QStyle>

#include <algorithm>
#include <limits>

namespace kvillo {

namespace {

// What in `text` would break a line of a data file, named for the user: an empty list when nothing.
QStringList lineBreakingCharacters(const QString &text)
{
    QStringList named;
    if (text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r')))
        named << QStringLiteral("перевод строки");
    if (text.contains(QChar(u'\0')))
        named << QStringLiteral("символ NUL");
    return named;
}

} // namespace

DialogEdit::DialogEdit(ShortcutTest isProgramShortcut, QWidget *parent)
    : QLineEdit(parent)
    , m_isProgramShortcut(std::move(isProgramShortcut))
{ }

bool DialogEdit::event(QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        const QKeySequence key(static_cast<QKeyEvent *>(event)->keyCombination());
        static const QKeySequence editing[] = {QKeySequence(Qt::Key_Delete), QKeySequence(Qt::CTRL | Qt::Key_C),
            QKeySequence(Qt::CTRL | Qt::Key_V), QKeySequence(Qt::CTRL | Qt::Key_X), QKeySequence(Qt::CTRL | Qt::Key_A)};
        if (std::find(std::begin(editing), std::end(editing), key) != std::end(editing)) {
            event->accept();
            return true;
        }
        if (m_isProgramShortcut && m_isProgramShortcut(key)) {
            event->ignore();
            return true;
        }
    }
    return QLineEdit::event(event);
}

EntryDialog::EntryDialog(EntryDialogContext context, const QString &caption, QSize clientSize, QRect cancelGeometry)
    : QDialog(context.owner,
        Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
            | Qt::WindowCloseButtonHint)
    , m_context(std::move(context))
{
    setWindowTitle(caption);
    setFixedSize(clientSize);
    setModal(false);
    setFont(windowsFont(10));

    const auto isShortcut = [commands = m_context.commands](const QKeySequence &key) {
        return std::any_of(commands.begin(), commands.end(),
            [&key](const QAction *command) { return !command->shortcut().isEmpty() && command->shortcut() == key; });
    };
    GroupBox1 = new QGroupBox(QStringLiteral("E-mail"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 8, 201, 57);
    Edit1 = new DialogEdit(isShortcut, GroupBox1);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(8, 24, 185, 24);
    Edit1->setAccessibleName(QStringLiteral("E-mail"));

    GroupBox2 = new QGroupBox(QStringLiteral("Описание"), this);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    GroupBox2->setGeometry(8, 72, 201, 57);
    Edit2 = new DialogEdit(isShortcut, GroupBox2);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit2->setGeometry(8, 24, 185, 24);
    Edit2->setAccessibleName(QStringLiteral("Описание"));

    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(24, 144, 81, 25);
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Отмена"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setGeometry(cancelGeometry);

    // An entry may be of any length: a limit would cut a long text that is only shown and stored back.
    for (DialogEdit *edit : {Edit1, Edit2})
        edit->setMaxLength(std::numeric_limits<int>::max());

    setTabOrder(Edit1, Edit2);
    setTabOrder(Edit2, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);
    Edit1->setFocus();

    connectGuarded(m_context.platform, BitBtn1, &QPushButton::clicked, this, &EntryDialog::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &EntryDialog::BitBtn2Click);

    // The main window's commands answer their keys here too, also while it is hidden in the tray.
    addActions(m_context.commands);
}

void EntryDialog::BitBtn1Click()
{
    const std::optional<EntryTexts> texts = storableTexts();
    if (texts && m_context.apply(*texts))
        close();
}

void EntryDialog::BitBtn2Click()
{
    reject();
}

std::optional<EntryTexts> EntryDialog::storableTexts()
{
    // Each entry is one line of each data file: a line break or a NUL inside it, however it got
    // into the edit box (pasted, dropped), would put every later entry out of step.
    const QStringList breaking = lineBreakingCharacters(Edit1->text() + Edit2->text());
    if (!breaking.isEmpty()) {
        m_context.platform.showNotice(
            QStringLiteral("Запись адресной книги не может содержать %1. Уберите %2 и нажмите OK ещё раз.")
                .arg(breaking.join(QStringLiteral(" и ")),
                    breaking.size() == 1 ? QStringLiteral("его") : QStringLiteral("их")));
        return std::nullopt;
    }
    const std::optional<std::string> mail = toStored(Edit1->text());
    const std::optional<std::string> description = toStored(Edit2->text());
    if (mail && description)
        return EntryTexts{*mail, *description};
    const QString characters = unstorableCharacters(Edit1->text() + Edit2->text());
    m_context.platform.showNotice(QStringLiteral("Адресная книга не может сохранить символы «%1». Уберите их и "
                                                 "нажмите OK ещё раз.")
                                      .arg(characters));
    return std::nullopt;
}

void EntryDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (m_centred)
        return;
    m_centred = true;
    centreOnScreen(this);
    // A new dialog takes the keyboard, with the focus in the e-mail edit.
    activateWindow();
}

} // namespace kvillo
