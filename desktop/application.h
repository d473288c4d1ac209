#pragma once

#include <QFont>
#include <QString>

class QApplication;
class QWidget;

namespace kvillo {

// "Kvillo <version>": the taskbar text and the caption of notices and error boxes.
QString applicationTitle();

// Application-wide set-up shared by the program and its tests: the title, the icon and desktop
// entry name, the Russian locale with Qt's Russian texts, and the font substitutes for the
// program's Windows fonts.
void prepareApplication(QApplication &app);

// The program's font at `points` as named on Windows ("MS Sans Serif", with the substitutes
// prepareApplication sets up): the window's bars and lists and the dialogs.
QFont windowsFont(int points);

// Moves a window to the centre of the screen.
void centreOnScreen(QWidget *window);

} // namespace kvillo
