#pragma once

#include <QFont>
#include <QString>

#include <optional>

class QWidget;

namespace kvillo {

// Everything the program asks of the desktop. The program's windows talk to the desktop only
// through this interface, so tests can answer for the user.
class Platform
{
public:
    enum class Buttons { Ok, OkCancel };

    virtual ~Platform() = default;

    // The default error box: stop icon, one OK button, captioned with the application title.
    virtual void showError(const QString &text) = 0;
    // A simple notice: no icon, one OK button (Enter and Esc), captioned with the application title.
    virtual void showNotice(const QString &text) = 0;
    // A message box without an icon; true when the user answers OK.
    virtual bool showMessage(const QString &caption, const QString &text, Buttons buttons) = 0;
    virtual void beep() = 0;

    // File dialogs with a filter such as "Резервная копия (*.bak)|*.bak|Все файлы (*.*)|*.*";
    // an empty result means the user cancelled.
    virtual std::optional<QString> saveFileName(QWidget *parent, const QString &filter, const QString &initial) = 0;
    virtual std::optional<QString> openFileName(QWidget *parent, const QString &filter, const QString &initial) = 0;
    virtual std::optional<QFont> chooseFont(QWidget *parent, const QFont &initial) = 0;

    // Asks the desktop to open a web address or a mailto: link; the result is not examined.
    virtual void openUrl(const QString &url) = 0;
    virtual void setClipboardText(const QString &text) = 0;
};

} // namespace kvillo
