#pragma once

#include <QDialog>
#include <QLabel>

class QPushButton;

namespace kvillo {

class Platform;

// A link of the About dialog: reached with Tab, opened by the left button or Enter, and known to
// a screen reader as a link with an action that opens it.
class LinkLabel : public QLabel
{
    Q_OBJECT
public:
    LinkLabel(const QString &text, QWidget *parent);

    // Opens the link, as a click does.
    void activate() { emit activated(); }

signals:
    void activated();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
};

// The About dialog: the program's name and version, with links to the web site and to support.
class TAboutBox : public QDialog
{
    Q_OBJECT
public:
    TAboutBox(Platform &platform, QWidget *parent = nullptr);

    void Label2Click();
    void Label4Click();
    void OKButtonClick();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    Platform &m_platform;
    LinkLabel *Label2;
    LinkLabel *Label4;
    QPushButton *OKButton;
};

} // namespace kvillo
