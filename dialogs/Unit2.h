#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace kvillo {

class Platform;

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
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    Platform &m_platform;
    QLabel *Label2;
    QLabel *Label4;
    QPushButton *OKButton;
};

} // namespace kvillo
